#include "logger/ui/CLogDownLinkDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "logger/CLogDownload.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerTransfer.h"

CLogDownLinkDlg::CLogDownLinkDlg(CLogImageWriter& writer, CLoggerTransfer& transfer, int pageTimeoutMs,
                                 QWidget* parent)
    : QDialog(parent), m_writer(writer), m_transfer(transfer), m_pageTimeoutMs(pageTimeoutMs)
{
    setObjectName(QStringLiteral("logDownLinkDlg"));
    setWindowTitle(tr("Logger memory image"));
    m_what = new QLabel(tr("Writing the memory image into the logger"), this);
    m_what->setObjectName(QStringLiteral("what"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, static_cast<int>(m_writer.ProgressRange()));
    m_progress->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLogDownLinkDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_what);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(380, 140);
    connect(&m_transfer, &CLoggerTransfer::Progress, this, &CLogDownLinkDlg::OnProgress);
    connect(&m_transfer, &CLoggerTransfer::Finished, this, &CLogDownLinkDlg::OnFinished);
}

CLogDownLinkDlg::~CLogDownLinkDlg()
{
    m_transfer.Stop();
}

std::size_t CLogDownLinkDlg::PagesChecked() const
{
    return m_check ? m_check->PagesReceived() : 0;
}

QString CLogDownLinkDlg::StatusText() const
{
    return m_status->text();
}

void CLogDownLinkDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // Nothing to send (an empty file): nothing is sent, Cancel closes.
    m_transfer.StartImageWrite(m_writer, CLogImageWriter::kReplyLimitMs);
    OnProgress();
}

void CLogDownLinkDlg::OnFinished(bool completed)
{
    if (!completed)
        return;
    if (m_phase == Phase::Writing) {
        // Every page is sent: read them all back, erased ones too.
        m_phase = Phase::Checking;
        m_check = std::make_unique<CLogDownload>(static_cast<uint32_t>(m_writer.PageTotal()), pugi::xml_node());
        m_check->SetStopAtErased(false);
        m_what->setText(tr("Reading the written pages back"));
        m_progress->setRange(0, static_cast<int>(m_writer.PageTotal()));
        m_progress->setValue(0);
        m_lastPage = 0;
        m_faultsAtLastPage = 0;
        m_transfer.StartDownload(*m_check, m_pageTimeoutMs);
        OnProgress();
        return;
    }
    if (m_phase == Phase::Checking) {
        m_phase = Phase::Checked;
        m_differing = m_writer.DifferingPages(m_check->Pages());
        done(1);
    }
}

void CLogDownLinkDlg::OnProgress()
{
    // A fault since the last page that went through: the line is silent.
    const std::size_t page = m_phase == Phase::Checking ? m_check->PagesReceived() : m_writer.PageIndex();
    const uint32_t faults = m_phase == Phase::Checking ? m_check->Faults() : m_writer.Faults();
    if (page != m_lastPage) {
        m_lastPage = page;
        m_faultsAtLastPage = faults;
    }
    const bool silent = faults > m_faultsAtLastPage;
    if (m_phase == Phase::Checking) {
        m_progress->setValue(static_cast<int>(page));
        m_status->setText(silent ? tr("The ESC does not answer at page %1").arg(m_check->CurrentPage())
                                 : tr("%1 of %2 pages read back").arg(page).arg(m_writer.PageTotal()));
        return;
    }
    m_progress->setValue(static_cast<int>(std::min(page, m_writer.ProgressRange())));
    if (silent) {
        m_status->setText(tr("No echo of page %1: check the cable").arg(page));
        return;
    }
    const qint64 elapsed = m_transfer.ElapsedMs();
    QString text = m_writer.StatusText(elapsed);
    if (const std::optional<double> left = m_writer.SecondsLeft(elapsed); left && !m_writer.Done())
        text += tr(", %1 s left").arg(static_cast<int>(*left + 0.5));
    m_status->setText(text);
}

void CLogDownLinkDlg::reject()
{
    m_transfer.Stop();
    done(2);
}
