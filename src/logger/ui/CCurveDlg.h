#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

class CCurveCtrl;
class QCheckBox;
class QLabel;

// "Curve": the points of one curve as read from the ESC, dragged into shape
// in a curve control. Save ends with 1 and hands the edited points out;
// Cancel (or Escape) ends with 2. Reset puts the points read from the ESC
// back; Line shows or hides the straight reference line. The dialog never
// talks to the device.
class CCurveDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { ResultSave = 1, ResultCancel = 2 };

    // complete false: some points could not be read and show a placeholder;
    // the dialog says so.
    CCurveDlg(const QString& name, const std::vector<uint8_t>& points, bool complete, QWidget* parent = nullptr);

    // The points as saved (the points read until Save).
    const std::vector<uint8_t>& Points() const { return m_points; }
    CCurveCtrl* Control() const { return m_control; }

    void reject() override;

private:
    void OnSave();
    void OnReset();

    std::vector<uint8_t> m_read;     // the reset copy
    std::vector<uint8_t> m_points;
    CCurveCtrl* m_control = nullptr;
    QCheckBox* m_line = nullptr;
};
