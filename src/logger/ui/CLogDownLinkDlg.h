#pragma once

#include <QDialog>

class CLogImageWriter;
class CLoggerTransfer;
class QLabel;
class QProgressBar;

// Writes a memory image into the logger, page by page, showing the
// progress and "%-8.2f cps, %d transfered" with the time left. Ends with 1
// after the last page, with 2 on Cancel.
class CLogDownLinkDlg : public QDialog {
    Q_OBJECT
public:
    CLogDownLinkDlg(CLogImageWriter& writer, CLoggerTransfer& transfer, QWidget* parent = nullptr);
    ~CLogDownLinkDlg() override;

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnProgress();

    CLogImageWriter& m_writer;
    CLoggerTransfer& m_transfer;
    bool m_started = false;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
};
