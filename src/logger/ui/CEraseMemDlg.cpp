#include "logger/ui/CEraseMemDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "logger/CEraseSequence.h"
#include "logger/CLoggerTransfer.h"

CEraseMemDlg::CEraseMemDlg(uint32_t pageCount, CLoggerTransfer* transfer, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_pageCount(pageCount),
      m_transfer(transfer),
      m_erase(std::make_unique<CEraseSequence>(pageCount))
{
    setObjectName(QStringLiteral("eraseMemDlg"));
    setWindowTitle(tr("Logger memory earsing warning"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("This is last chance to prevent logger memory accidential erasing."), this));
    layout->addWidget(new QLabel(tr("Think twice."), this));
    layout->addWidget(new QLabel(tr("This operation could be a little bit time consuming."), this));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, CEraseSequence::kSteps);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setVisible(m_pageCount > 0);
    layout->addWidget(m_progress);
    m_eraseButton = new QPushButton(tr("Erase"), this);
    m_eraseButton->setObjectName(QStringLiteral("erase"));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_eraseButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    // Enter must not erase: Cancel is the default and has the focus.
    m_eraseButton->setAutoDefault(false);
    cancel->setDefault(true);
    setTabOrder(cancel, m_eraseButton);
    cancel->setFocus();
    connect(m_eraseButton, &QPushButton::clicked, this, &CEraseMemDlg::OnErase);
    connect(cancel, &QPushButton::clicked, this, &CEraseMemDlg::reject);
    if (m_transfer != nullptr) {
        connect(m_transfer, &CLoggerTransfer::Progress, this, &CEraseMemDlg::OnProgress);
        connect(m_transfer, &CLoggerTransfer::Finished, this, [this](bool) { done(ResultCancel); });
    }
}

CEraseMemDlg::~CEraseMemDlg()
{
    if (m_transfer != nullptr)
        m_transfer->Stop();
}

void CEraseMemDlg::OnErase()
{
    if (m_pageCount == 0 || m_transfer == nullptr) {
        done(ResultErase);
        return;
    }
    m_eraseButton->setEnabled(false);
    m_transfer->StartErase(*m_erase);
}

void CEraseMemDlg::OnProgress()
{
    // The sequence counts down from 8; the bar shows what is erased.
    m_progress->setValue(CEraseSequence::kSteps - m_erase->Position());
}

bool CEraseMemDlg::Started() const
{
    return m_erase->Sent() > 0;
}

bool CEraseMemDlg::Erased() const
{
    return m_erase->Done();
}

void CEraseMemDlg::reject()
{
    if (m_transfer != nullptr)
        m_transfer->Stop();
    done(ResultCancel);
}
