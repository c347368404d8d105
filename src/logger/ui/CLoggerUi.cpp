#include "logger/ui/CLoggerUi.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "base/CTorvSettings.h"
#include "base/IPrompt.h"
#include "library/CDeviceSession.h"
#include "link/IProtocolHost.h"
#include "logger/CLinkSpeedBoost.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerCommands.h"
#include "logger/CLoggerTransfer.h"
#include "logger/ui/CChartDlg.h"
#include "logger/ui/CEraseMemDlg.h"
#include "logger/ui/CLogDownLinkDlg.h"
#include "logger/ui/CLogLinkDlg.h"
#include "logger/ui/LogDisplay.h"

namespace {
const char* const kCaption = "TORV";

QString tr(const char* text)
{
    return QCoreApplication::translate("CLogLinkDlg", text);
}

// How a memory image write ended, as the window says it.
QString ImageWriteReport(const QString& name, const CLogDownLinkDlg& dialog, const CLogImageWriter& writer,
                         IPrompt::Icon& icon)
{
    const std::size_t total = writer.PageTotal();
    icon = IPrompt::Icon::Warning;
    switch (dialog.CurrentPhase()) {
    case CLogDownLinkDlg::Phase::Writing:
        return tr("The write was cancelled after %1 of %2 pages: the logger memory now holds part of the image.")
            .arg(writer.Done() ? total : writer.PageIndex())
            .arg(total);
    case CLogDownLinkDlg::Phase::Checking:
        return tr("The image was written, but reading it back was cancelled after %1 of %2 pages: the logger memory "
                  "may hold only part of the image.")
            .arg(dialog.PagesChecked())
            .arg(total);
    case CLogDownLinkDlg::Phase::Checked:
        break;
    }
    const std::vector<std::size_t>& differing = dialog.DifferingPages();
    if (differing.empty()) {
        icon = IPrompt::Icon::Information;
        return tr("The memory image \"%1\" is written: all %2 pages read back as written.").arg(name).arg(total);
    }
    icon = IPrompt::Icon::Error;
    return tr("%1 of the %2 pages read back otherwise than written: pages %3.\r\nThe logger memory now holds only "
              "part of the image.")
        .arg(differing.size())
        .arg(total)
        .arg(CLogImageWriter::PageRanges(differing));
}
}

CLoggerUi::CLoggerUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent)
    : m_session(session), m_host(host), m_prompt(prompt), m_parent(parent)
{
    m_settingsPath = CTorvSettings::Location(QCoreApplication::applicationDirPath());
    m_display = [this](const LogSelection& selection) { ShowLogs(selection, DisplayContext(), m_parent, m_prompt); };
}

LogDisplayContext CLoggerUi::DisplayContext() const
{
    LogDisplayContext context;
    context.settingsPath = m_settingsPath;
    context.saveFolder = m_saveFolder ? m_saveFolder() : QString();
    context.dialogHook = m_dialogHook;
    return context;
}

void CLoggerUi::OpenLogFile()
{
    const QString folder = m_saveFolder ? m_saveFolder() : QString();
    const std::optional<QByteArray> text = CChartDlg::ReadChosenLogFile(m_prompt, folder);
    if (!text)
        return;
    CLogCsvReader::Log log;
    const CLogCsvReader::Result result = CLogCsvReader::Read(*text, m_session.Library(), log);
    if (result != CLogCsvReader::Result::Ok) {
        m_prompt.Message(CLogCsvReader::Message(result), kCaption, IPrompt::Icon::Error,
                         IPrompt::Buttons::Ok);
        return;
    }
    if (log.damage) {
        m_prompt.Message(CLogCsvReader::DamageMessage(*log.damage), kCaption, IPrompt::Icon::Warning,
                         IPrompt::Buttons::Ok);
        if (log.pageCount == 0)
            return;
    }
    if (m_beforeChart)
        m_beforeChart();
    CChartDlg::Input input;
    input.pages = log.pages.data();
    input.pageCount = log.pageCount;
    input.lastPageBytes = log.lastPageBytes;
    input.logger = log.logger;
    input.snapshot = log.snapshot;
    input.settingsPath = m_settingsPath;
    input.saveFolder = folder;
    {
        CChartDlg dialog(std::move(input), m_prompt, m_parent);
        Run(dialog);
    }
    if (m_afterChart)
        m_afterChart();
}

int CLoggerUi::Run(QDialog& dialog)
{
    if (m_dialogHook)
        m_dialogHook(dialog);
    return dialog.exec();
}

bool CLoggerUi::DownloadAndShow()
{
    if (!CLoggerCommands::CanDownload(m_session))
        return false;
    CLoggerCommands::DownloadPlan plan = CLoggerCommands::PlanDownload(m_session);
    CLogDownload download(plan.pageCount, plan.logger);
    LogSelection selection;
    int result = CLogLinkDlg::ResultCancel;
    {
        CLinkSpeedBoost boost(m_session);
        m_host.StopRefreshTimer();
        CLoggerTransfer transfer(m_session.Port(), &m_prompt);
        // The relink's cell reads restart the refresh timer: stop it again.
        transfer.SetRelink([this, &boost] {
            boost.Recover();
            m_host.StopRefreshTimer();
        });
        CLogLinkDlg dialog(download, transfer, plan.pageTimeoutMs, plan.snapshot, m_parent);
        result = Run(dialog);
        selection = dialog.Selection();
    }
    selection.esc = m_session.EscElement();
    m_host.RestartRefreshTimer();
    if (!selection.refused.isEmpty())
        m_prompt.Message(selection.refused.join(QStringLiteral("\r\n")), kCaption, IPrompt::Icon::Information,
                         IPrompt::Buttons::Ok);
    if (result == CLogLinkDlg::ResultCancel || selection.pageCount == 0)
        return true;
    m_display(selection);
    return true;
}

QString CLoggerUi::WriteImage(const QString& folder)
{
    IPrompt::FileRequest request;
    request.filters = {tr("All Files (*.*)")};
    request.initialFolder = folder;
    request.mustExist = true;
    const std::optional<QString> path = m_prompt.OpenFile(request);
    if (!path)
        return QString();
    const std::optional<std::vector<uint8_t>> image = ReadImage(*path);
    if (!image)
        return QString();
    const QString name = QFileInfo(*path).fileName();
    CLogImageWriter writer(*image);
    const QString pages = writer.PageTotal() == 1 ? tr("1 page") : tr("%1 pages").arg(writer.PageTotal());
    const QString question = tr("Write the memory image \"%1\" (%2) into the logger of the ESC?\r\n"
                                "The logs in the ESC will be overwritten.")
                                 .arg(name, pages);
    if (m_prompt.Message(question, kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::YesNoDefaultNo) !=
        IPrompt::Answer::Yes)
        return QString();

    m_host.StopRefreshTimer();
    IPrompt::Icon icon = IPrompt::Icon::Information;
    QString report;
    {
        CLinkSpeedBoost boost(m_session);
        CLoggerTransfer transfer(m_session.Port(), &m_prompt);
        // An ESC switched off and on during the write listens at its start
        // speed again when its pages are read back.
        transfer.SetRelink([this, &boost] {
            boost.Recover();
            m_host.StopRefreshTimer();
        });
        CLogDownLinkDlg dialog(writer, transfer, static_cast<int>(m_session.MemoryLoadTimeout()), m_parent);
        Run(dialog);
        report = ImageWriteReport(name, dialog, writer, icon);
    }
    m_host.RestartRefreshTimer();
    m_prompt.Message(report, kCaption, icon, IPrompt::Buttons::Ok);
    // The window shows the outcome in its one-line status bar.
    return report.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
}

std::optional<std::vector<uint8_t>> CLoggerUi::ReadImage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    const QString name = QFileInfo(path).fileName();
    // The size is checked before anything is read: a file larger than the
    // logger memory is no image of it.
    const std::size_t pages = CLogImageWriter::PagesOf(file.size());
    const uint32_t memory = m_session.Facts().loggerBlocks;
    if (pages > memory) {
        m_prompt.Message(tr("\"%1\" holds %2 pages, but the logger memory of this ESC holds only %3 pages.\r\n"
                            "Nothing was written.")
                             .arg(name)
                             .arg(pages)
                             .arg(memory),
                         kCaption, IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    if (bytes.isEmpty()) {
        m_prompt.Message(tr("\"%1\" is empty: nothing was written.").arg(name), kCaption, IPrompt::Icon::Information,
                         IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

QString CLoggerUi::Erase(bool blocks)
{
    m_host.StopRefreshTimer();
    bool asked = false;
    bool erased = false;
    {
        CLoggerTransfer transfer(m_session.Port(), &m_prompt);
        CEraseMemDlg dialog(blocks ? m_session.Facts().loggerBlocks : 0, &transfer, m_parent);
        const int result = Run(dialog);
        if (!blocks && result == CEraseMemDlg::ResultErase) {
            asked = true;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            erased = CLoggerCommands::EraseAll(m_session);
            QApplication::restoreOverrideCursor();
        } else if (blocks) {
            asked = dialog.Started();
            erased = dialog.Erased();
        }
    }
    m_host.RestartRefreshTimer();
    if (!asked)
        return QString();
    QString text;
    IPrompt::Icon icon = IPrompt::Icon::Information;
    if (erased) {
        text = tr("The logger memory is erased.");
    } else if (blocks) {
        text = tr("Erasing was cancelled: the logger memory is partly erased.");
        icon = IPrompt::Icon::Warning;
    } else {
        text = tr("The ESC did not confirm the erase: the logger memory may not be erased.");
        icon = IPrompt::Icon::Error;
    }
    m_prompt.Message(text, kCaption, icon, IPrompt::Buttons::Ok);
    return text;
}
