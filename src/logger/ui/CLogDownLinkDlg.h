#pragma once

#include <QDialog>

#include <cstddef>
#include <memory>
#include <vector>

class CLogDownload;
class CLogImageWriter;
class CLoggerTransfer;
class QLabel;
class QProgressBar;

// Writes a memory image into the logger, page by page, showing the
// progress and "%-8.2f cps, %d transfered" with the time left; then reads
// the written pages back, since the write frames come back from the cable
// whether the ESC took them or not. Ends with 1 once every page has been
// read back, with 2 on Cancel (in either phase).
class CLogDownLinkDlg : public QDialog {
    Q_OBJECT
public:
    enum class Phase { Writing, Checking, Checked };

    CLogDownLinkDlg(CLogImageWriter& writer, CLoggerTransfer& transfer, int pageTimeoutMs, QWidget* parent = nullptr);
    ~CLogDownLinkDlg() override;

    void reject() override;

    // Where the dialog is (after it: where it ended).
    Phase CurrentPhase() const { return m_phase; }
    // Checked: the pages that read back otherwise than written.
    const std::vector<std::size_t>& DifferingPages() const { return m_differing; }
    // Pages read back so far.
    std::size_t PagesChecked() const;
    QString StatusText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnProgress();
    void OnFinished(bool completed);

    CLogImageWriter& m_writer;
    CLoggerTransfer& m_transfer;
    int m_pageTimeoutMs;
    bool m_started = false;
    Phase m_phase = Phase::Writing;
    std::unique_ptr<CLogDownload> m_check;
    std::vector<std::size_t> m_differing;
    // The page reached and the faults counted when it was reached.
    std::size_t m_lastPage = 0;
    uint32_t m_faultsAtLastPage = 0;
    QLabel* m_what = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
};
