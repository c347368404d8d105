#include "logger/ui/CLoggerUi.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>

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
    if (m_beforeChart)
        m_beforeChart();
    CChartDlg::Input input;
    input.pages = log.pages.data();
    input.pageCount = log.pageCount;
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

void CLoggerUi::WriteImage(const QString& folder)
{
    IPrompt::FileRequest request;
    request.filters = {tr("All Files (*.*)")};
    request.initialFolder = folder;
    request.mustExist = true;
    const std::optional<QString> path = m_prompt.OpenFile(request);
    if (!path)
        return;
    QFile file(*path);
    // Page indices are 16 bits: a larger file cannot be an image of the
    // logger memory.
    if (!file.open(QIODevice::ReadOnly) || file.size() > CLogImageWriter::kMaxBytes) {
        m_prompt.Message(tr("Unable to open file"), kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return;
    }
    const QByteArray bytes = file.readAll();
    CLogImageWriter writer(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    m_host.StopRefreshTimer();
    {
        CLoggerTransfer transfer(m_session.Port(), &m_prompt);
        CLogDownLinkDlg dialog(writer, transfer, m_parent);
        Run(dialog);
    }
    m_host.RestartRefreshTimer();
}

void CLoggerUi::Erase(bool blocks)
{
    m_host.StopRefreshTimer();
    {
        CLoggerTransfer transfer(m_session.Port(), &m_prompt);
        CEraseMemDlg dialog(blocks ? m_session.Facts().loggerBlocks : 0, &transfer, m_parent);
        const int result = Run(dialog);
        if (!blocks && result == CEraseMemDlg::ResultErase) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            CLoggerCommands::EraseAll(m_session);
            QApplication::restoreOverrideCursor();
        }
    }
    m_host.RestartRefreshTimer();
}
