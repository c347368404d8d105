#include "logger/ui/CLogLinkDlg.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "logger/CLoggerTransfer.h"

CLogLinkDlg::CLogLinkDlg(CLogDownload& download, CLoggerTransfer& transfer, int pageTimeoutMs,
                         std::vector<uint8_t> snapshot, QWidget* parent)
    : QDialog(parent),
      m_download(download),
      m_transfer(transfer),
      m_pageTimeoutMs(pageTimeoutMs),
      m_snapshot(std::move(snapshot)),
      m_shift([] { return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0; })
{
    setObjectName(QStringLiteral("logLinkDlg"));
    setWindowTitle(tr("Loger Link"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, static_cast<int>(m_download.PageCount()));
    m_progress->setValue(0);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("logList"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setHeaderLabels({tr("Log"), tr("Duration"), tr("Content")});
    m_list->header()->resizeSection(0, 30);
    m_list->header()->resizeSection(1, 100);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CLogLinkDlg::UpdateButtons);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_rate = new QLabel(this);
    m_rate->setObjectName(QStringLiteral("rate"));

    m_display = new QPushButton(tr("Display"), this);
    m_display->setObjectName(QStringLiteral("display"));
    m_display->setEnabled(false);
    m_stop = new QPushButton(tr("Stop"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setToolTip(tr("Stop the download and keep the logs already complete"));
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_display, &QPushButton::clicked, this, &CLogLinkDlg::OnDisplay);
    connect(m_stop, &QPushButton::clicked, this, &CLogLinkDlg::OnStop);
    connect(m_cancel, &QPushButton::clicked, this, &CLogLinkDlg::reject);

    auto* status = new QHBoxLayout;
    status->addWidget(m_status, 1);
    status->addWidget(m_rate);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_display);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_progress);
    layout->addWidget(m_list, 1);
    layout->addLayout(status);
    layout->addLayout(buttons);
    resize(420, 300);

    connect(&m_transfer, &CLoggerTransfer::Progress, this, &CLogLinkDlg::OnProgress);
    connect(&m_transfer, &CLoggerTransfer::Finished, this, &CLogLinkDlg::OnProgress);
}

CLogLinkDlg::~CLogLinkDlg()
{
    m_transfer.Stop();
}

void CLogLinkDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    if (!m_transfer.StartDownload(m_download, m_pageTimeoutMs))
        OnProgress();
}

void CLogLinkDlg::OnProgress()
{
    m_progress->setValue(static_cast<int>(m_download.PagesReceived()));
    m_status->setText(m_download.StatusText());
    // Rows for the logs closed since the last step.
    const std::vector<LogEntry>& logs = m_download.Logs();
    for (std::size_t row = static_cast<std::size_t>(m_list->topLevelItemCount()); row < logs.size(); ++row) {
        const LogEntry& entry = logs[row];
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, QString::number(entry.number));
        item->setText(1, entry.DurationText());
        item->setText(2, entry.Displayable() ? entry.ContentText() : tr("(no channel of this logger)"));
    }
    const qint64 elapsed = m_transfer.ElapsedMs();
    const double rate = m_download.BytesPerSecond(elapsed);
    const std::optional<double> left = m_download.SecondsLeft(elapsed);
    if (m_download.Running() && m_transfer.Stalled())
        m_rate->setText(tr("The ESC is not answering at page %1 of %2; Stop keeps the complete logs")
                            .arg(m_download.CurrentPage())
                            .arg(m_download.PageCount()));
    else if (m_download.Running() && rate > 0 && left)
        m_rate->setText(tr("%1 kB/s, %2 s left").arg(rate / 1000.0, 0, 'f', 1).arg(static_cast<int>(*left + 0.5)));
    else if (rate > 0)
        m_rate->setText(tr("%1 kB/s").arg(rate / 1000.0, 0, 'f', 1));
    UpdateButtons();
}

void CLogLinkDlg::UpdateButtons()
{
    m_display->setEnabled(!m_list->selectedItems().isEmpty());
    m_stop->setEnabled(m_download.Running());
}

void CLogLinkDlg::OnStop()
{
    m_transfer.Stop();
    OnProgress();
}

void CLogLinkDlg::OnDisplay()
{
    m_transfer.Stop();
    std::vector<int> rows;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        if (m_list->topLevelItem(row)->isSelected())
            rows.push_back(row);
    const bool shift = m_shift && m_shift();
    m_selection = m_download.Select(rows, m_snapshot, shift);
    done(shift ? ResultDisplayShift : ResultDisplay);
}

void CLogLinkDlg::reject()
{
    m_transfer.Stop();
    done(ResultCancel);
}
