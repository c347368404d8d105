#pragma once

#include <QDialog>

#include <memory>

class CEraseSequence;
class CLoggerTransfer;
class QProgressBar;
class QPushButton;

// "Logger memory earsing warning": the last chance to keep the logger
// memory. With a page count of 0 "Erase" only confirms (result 1015); with
// a page count it erases block by block, the progress bar filling up from
// empty as the blocks are erased, and ends with 2 when done. Cancel is the
// default button, so Enter keeps the memory; Esc cancels at any time (2).
class CEraseMemDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { ResultCancel = 2, ResultErase = 1015 };

    CEraseMemDlg(uint32_t pageCount, CLoggerTransfer* transfer, QWidget* parent = nullptr);
    ~CEraseMemDlg() override;

    void OnErase();
    void reject() override;

    // Block erase: whether it was started, and whether every block is erased.
    bool Started() const;
    bool Erased() const;

private:
    void OnProgress();

    uint32_t m_pageCount;
    CLoggerTransfer* m_transfer;
    std::unique_ptr<CEraseSequence> m_erase;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_eraseButton = nullptr;
};
