#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "logger/CLogDownload.h"

class CLoggerTransfer;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// "Loger Link": shows the logger download while pages arrive (progress,
// pages transferred, rate and time left), lists the logs as they are
// closed, and hands the chosen ones on with Display (result 1, or 6 with
// Shift held). Stop ends a running download and keeps the complete logs;
// Cancel (result 2) ends the dialog in every state.
class CLogLinkDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { ResultDisplay = 1, ResultCancel = 2, ResultDisplayShift = 6 };

    CLogLinkDlg(CLogDownload& download, CLoggerTransfer& transfer, int pageTimeoutMs, std::vector<uint8_t> snapshot,
                QWidget* parent = nullptr);
    ~CLogLinkDlg() override;

    // The logs handed on by Display.
    const LogSelection& Selection() const { return m_selection; }
    // Where Display reads the Shift key state (tests replace it).
    void SetShiftState(std::function<bool()> shift) { m_shift = std::move(shift); }

    void OnDisplay();
    void OnStop();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnProgress();
    void UpdateButtons();

    CLogDownload& m_download;
    CLoggerTransfer& m_transfer;
    int m_pageTimeoutMs;
    std::vector<uint8_t> m_snapshot;
    LogSelection m_selection;
    std::function<bool()> m_shift;
    bool m_started = false;

    QProgressBar* m_progress = nullptr;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_rate = nullptr;
    QPushButton* m_display = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_cancel = nullptr;
};
