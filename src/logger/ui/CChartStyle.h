#pragma once

#include <QDialog>

#include <memory>
#include <vector>

class CMChartSerie;
class IPrompt;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;

// The "Chart Style" dialog: colour, scale mode and custom range of each
// series. It works on copies; OK writes them back to the series, Cancel
// changes nothing.
class CChartStyle : public QDialog {
    Q_OBJECT
public:
    CChartStyle(std::vector<std::shared_ptr<CMChartSerie>> series, int index, IPrompt& prompt,
                QWidget* parent = nullptr);

    void accept() override;
    int Current() const { return m_current; }

private:
    struct Entry {
        int colour = 0;
        int mode = 0;
        double minimum = 0;
        double maximum = 0;
        double step = 0.1;
    };

    void OnSelectionChanged(int row);
    void ShowEntry();
    // Reads both fields into the current entry; false (the faulty field
    // focused with its text selected) when either holds no number.
    bool StoreFields();
    void SetMode(int mode);
    void ChooseColour();
    void Spin(QLineEdit* field, int delta);
    void ShowColour();

    std::vector<std::shared_ptr<CMChartSerie>> m_series;
    std::vector<Entry> m_entries;
    IPrompt& m_prompt;
    int m_current = -1;
    QListWidget* m_list = nullptr;
    QPushButton* m_colour = nullptr;
    QRadioButton* m_modes[3] = {};
    QLineEdit* m_min = nullptr;
    QLineEdit* m_max = nullptr;
    std::vector<QToolButton*> m_spins;
};
