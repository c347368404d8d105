#include "logger/ui/CLogDownLinkDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "logger/CLogImageWriter.h"
#include "logger/CLoggerTransfer.h"

CLogDownLinkDlg::CLogDownLinkDlg(CLogImageWriter& writer, CLoggerTransfer& transfer, QWidget* parent)
    : QDialog(parent), m_writer(writer), m_transfer(transfer)
{
    setObjectName(QStringLiteral("logDownLinkDlg"));
    setWindowTitle(tr("Logger memory image"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, static_cast<int>(m_writer.ProgressRange()));
    m_progress->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLogDownLinkDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(360, 120);
    connect(&m_transfer, &CLoggerTransfer::Progress, this, &CLogDownLinkDlg::OnProgress);
    connect(&m_transfer, &CLoggerTransfer::Finished, this, [this](bool) { done(1); });
}

CLogDownLinkDlg::~CLogDownLinkDlg()
{
    m_transfer.Stop();
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

void CLogDownLinkDlg::OnProgress()
{
    const qint64 elapsed = m_transfer.ElapsedMs();
    m_progress->setValue(static_cast<int>(std::min(m_writer.PageIndex(), m_writer.ProgressRange())));
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
