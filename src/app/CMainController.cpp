#include "app/CMainController.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>

#include "app/CMainCommands.h"
#include "base/CTorvMessage.h"
#include "app/IMainView.h"
#include "base/IPrompt.h"
#include "library/CBackupFolder.h"
#include "library/CDeviceLibrary.h"
#include "library/CLibraryUpdate.h"
#include "library/CParameterFile.h"
#include "library/CParameterRow.h"
#include "library/CXmlAttributes.h"
#include "link/CPortOpenFailure.h"
#include "link/CSerialPort.h"
#include "logger/CCurve.h"

namespace {
const char* const kCaption = "TORV";
constexpr int kLoggerConditionCell = 128;

// The cells 0..63, which loading a parameter file writes.
std::vector<int> WrittenCells()
{
    std::vector<int> cells(CParameterFile::kWrittenCells);
    for (int i = 0; i < CParameterFile::kWrittenCells; ++i)
        cells[static_cast<size_t>(i)] = i;
    return cells;
}
}

CMainController::CMainController(CSerialPort& port, CSynchroBytesCollector& shortCollector,
                                 CDeviceLibrary& library, IPrompt& prompt, IMainView& view, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_prompt(prompt),
      m_view(view),
      m_session(port, shortCollector, library, prompt, *this)
{
    m_session.SetReconnect([this] { CleanAndReconnect(true); });
    connect(&List(), &CPropertyList::notify, this, &CMainController::OnListNotify);
    connect(&List(), &CPropertyList::refused, this, [this](IProperty*) { m_prompt.Beep(); });
    m_session.File().SetLoadHook([this](CParameterFile::LoadStage stage) { OnLoadStage(stage); });
}

CMainController::~CMainController()
{
    StopConnectTimer();
    StopRefreshTimer();
}

void CMainController::Open()
{
    m_session.ReadLibraryTimeouts();
    CleanAndReconnect(true);
}

void CMainController::CleanAndReconnect(bool restart)
{
    m_session.Forget();
    StopRefreshTimer();
    StopConnectTimer();

    m_view.SetListEnabled(false);
    m_view.SetButtonEnabled(MainCommand::EraseLoggerDialog, false);
    m_view.SetButtonEnabled(MainCommand::MeasurementPanel, false);
    m_view.SetButtonEnabled(MainCommand::Curves, false);
    m_view.SetCurvesDropDown(false);
    m_view.SetMessage(tr("Waiting for ESC response..."));
    m_firmwareMode = false;

    if (!restart)
        return;
    m_view.SetTitle(tr("TORV"));
    m_view.ShowParameterList(false);
    m_connected = false;
    SetLinkState(IMainView::LinkWaiting);
    if (ConnectPeriod() != 0)
        m_connectTimer = startTimer(static_cast<int>(ConnectPeriod()));
}

void CMainController::PauseConnectTimer()
{
    m_connectPaused = m_connectTimer != 0;
    StopConnectTimer();
}

void CMainController::ResumeConnectTimer()
{
    if (m_connectPaused && m_connectTimer == 0 && ConnectPeriod() != 0)
        m_connectTimer = startTimer(static_cast<int>(ConnectPeriod()));
    m_connectPaused = false;
}

void CMainController::Close()
{
    CleanAndReconnect(false);
}

bool CMainController::PrepareFirmwareUpdate()
{
    if (!IsCommandAvailable(MainCommand::FirmwareUpdate))
        return false;
    StopRefreshTimer();
    if (m_port.LinkSpeed() > CDeviceProtocol::kDefaultLinkSpeed)
        Protocol().ChangeLinkSpeed(CDeviceProtocol::kDefaultLinkSpeed);
    return m_session.HasDevice();
}

void CMainController::ApplyPortSetup(const QString& portName, int linkSpeed)
{
    // Return the ESC to 19200 baud while the port still reaches it: once the
    // port is closed the reconnect cannot, and an ESC left at a raised speed
    // would never answer the connection attempts at 19200 or 4800 baud.
    Protocol().LeaveLink();
    m_port.Close();
    m_portName = portName;
    Protocol().SetSetupLinkSpeed(linkSpeed);
    CleanAndReconnect(true);
}

void CMainController::UpdateLibrary(const QString& libraryPath, const std::function<void(bool)>& busy)
{
    // The network is waited on in a local loop: no connection attempt and
    // no refresh may run under it.
    PauseConnectTimer();
    StopRefreshTimer();

    CLibraryUpdate update(Library(), libraryPath);
    update.SetBusyHook(busy);
    // The list rows and the ESC element point into the old document: they
    // go before it does.
    update.SetBeforeReplace([this] { CleanAndReconnect(false); });
    if (update.Run(m_prompt).status == CLibraryUpdate::Status::Updated) {
        m_session.ReadLibraryTimeouts();
        CleanAndReconnect(true);
        ResumeConnectTimer();   // running again already; only the pause is forgotten
        return;
    }
    ResumeConnectTimer();
    if (m_connected && !m_firmwareMode)
        StartRefreshTimer();
}

void CMainController::SetLinkState(int state)
{
    QString text = QStringLiteral(" ");
    if (state != IMainView::LinkClosed)
        text = QStringLiteral("%1 %2").arg(m_portName).arg(m_port.LinkSpeed());
    m_view.SetLinkState(static_cast<IMainView::LinkState>(state), text);
}

void CMainController::ShowPortError()
{
    // The attempts stop until the port setup is confirmed; say why in plain
    // words so that the user knows what to change.
    const QString reason = CPortOpenFailure::Text(CSerialPort::DevicePath(m_portName), m_port.LastError(),
                                                  m_port.LastErrorText());
    m_view.SetMessage(reason + QLatin1Char(' ') + tr("Then press Ctrl+P to connect again."));
}

void CMainController::StopConnectTimer()
{
    if (m_connectTimer != 0) {
        killTimer(m_connectTimer);
        m_connectTimer = 0;
    }
}

void CMainController::StopRefreshTimer()
{
    if (m_refreshTimer != 0) {
        killTimer(m_refreshTimer);
        m_refreshTimer = 0;
    }
}

void CMainController::StartRefreshTimer()
{
    StopRefreshTimer();
    if (RefreshPeriod() != 0)
        m_refreshTimer = startTimer(static_cast<int>(RefreshPeriod()));
}

void CMainController::RestartRefreshTimer()
{
    if (!m_firmwareMode && !m_connecting)
        StartRefreshTimer();
}

void CMainController::ReconnectWithRestart()
{
    CleanAndReconnect(true);
}

void CMainController::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_connectTimer && m_connectTimer != 0)
        ConnectTick();
    else if (event->timerId() == m_refreshTimer && m_refreshTimer != 0)
        RefreshTick();
}

bool CMainController::event(QEvent* event)
{
    if (event->type() == TorvMessages::CleanAndReconnect()) {
        CleanAndReconnect(true);
        return true;
    }
    return QObject::event(event);
}

bool CMainController::AskYes(const QString& text, IPrompt::Icon icon)
{
    StopConnectTimer();
    StopRefreshTimer();
    return m_prompt.Message(text, kCaption, icon, IPrompt::Buttons::YesNo) ==
           IPrompt::Answer::Yes;
}

void CMainController::ConnectTick()
{
    StopConnectTimer();
    StopRefreshTimer();
    // No exchange of the attempt may start the refresh timer; it starts
    // once the device is shown as connected.
    m_connecting = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_connecting};

    const CDeviceSession::Attempt attempt = m_session.TryConnect(m_portName);
    using Outcome = CDeviceSession::Attempt::Outcome;
    switch (attempt.outcome) {
    case Outcome::PortNotOpened:
        SetLinkState(IMainView::LinkClosed);
        ShowPortError();
        return;
    case Outcome::NoAnswer:
    case Outcome::Unknown:
        // A briefly disturbed line must not stop the attempts for good, so a
        // failed identity read starts the next attempt too.
        CleanAndReconnect(true);
        return;
    case Outcome::Deprecated:
        if (!AskYes(tr("It is strongly recommended to update the firmware of your device.\r\nUnplug the device if "
                       "you will do updating later.\r\nWill you to update firmware right now?"),
                    IPrompt::Icon::Question)) {
            CleanAndReconnect(true);
            return;
        }
        EnterFirmwareMode(attempt);
        m_view.SetMessage(tr("Connected. Ready for fimware upload."));
        return;
    case Outcome::FirmwareErased:
        m_view.SetMessage(tr("ESC identified. Loading parameters..."));
        if (!AskYes(tr("It seems that your ESC has  corrupted firmware.\r\nIt is recomended to upload the latest "
                       "firmware\r\nor unplug your ESC and contact to nearest authorized service.\r\nWill you try "
                       "to upload firmware?"),
                    IPrompt::Icon::Warning)) {
            CleanAndReconnect(true);
            return;
        }
        EnterFirmwareMode(attempt);
        FinishConnection(tr("Connected. Ready for fimware upload."));
        return;
    case Outcome::Ready:
        break;
    }

    m_view.SetMessage(tr("ESC identified. Loading parameters..."));
    const bool loaded = m_session.LoadParameters(attempt);
    m_view.SetTitle(m_session.Facts().title);
    if (!loaded && AskYes(tr("Unable to load some cell values\nReconnect?"), IPrompt::Icon::Error)) {
        CleanAndReconnect(true);
        return;
    }
    // The answer may have come after the device went away under the box:
    // decide from the state now, not from the state before the question.
    if (!m_session.HasDevice() || !m_port.IsOpen()) {
        CleanAndReconnect(true);
        return;
    }

    m_view.ShowParameterList(true);
    m_connected = true;
    const int curves = Library().CurveCount(attempt.element);
    m_view.SetButtonEnabled(MainCommand::Curves, curves > 0);
    m_view.SetCurvesDropDown(curves >= 2);
    m_view.SetListEnabled(true);
    FinishConnection(tr("Connected. Ready for programming."));
}

void CMainController::EnterFirmwareMode(const CDeviceSession::Attempt& attempt)
{
    m_session.AcceptForFirmware(attempt);
    m_firmwareMode = true;
    m_view.PostCommand(MainCommand::FirmwareUpdate);
}

void CMainController::FinishConnection(const QString& text)
{
    if (!m_session.UpgradeSpeed()) {
        // The port could not be reopened at the new speed: the upgrade has
        // dropped the link and started the attempts over. Say why, instead
        // of showing the device as connected.
        m_view.SetMessage(tr("The link was lost while raising its speed (%1: %2). Waiting for the ESC again...")
                              .arg(CSerialPort::DevicePath(m_portName), m_port.LastErrorText()));
        return;
    }
    // Undo steps belong to the ESC they were taken on.
    const CDeviceProtocol::Identity& identity = m_session.Identity();
    const QString device = QStringLiteral("%1.%2.%3 %4")
                               .arg(identity.type)
                               .arg(identity.major)
                               .arg(identity.minor)
                               .arg(CXmlAttributes::Text(EscElement(), "name", QString()));
    if (device != m_undoDevice) {
        m_undo.Clear();
        m_undoDevice = device;
    }
    const QString backup = KeepBackup();
    if (!m_afterConnect.isEmpty()) {
        m_view.SetMessage(m_afterConnect + backup);
        m_afterConnect.clear();
    } else {
        m_view.SetMessage(text + backup);
    }
    if (m_reportFirmware) {
        m_reportFirmware = false;
        const CDeviceProtocol::Identity& id = m_session.Identity();
        m_view.SetMessage(tr("Firmware updated: the ESC now reports firmware %1.%2.").arg(id.major).arg(id.minor));
    }
    if (LoggerBlocks() > 0) {
        m_view.SetButtonEnabled(MainCommand::MeasurementPanel, true);
        uint8_t condition = 0;
        const bool read = Image().GetCell(kLoggerConditionCell, condition);
        m_view.SetButtonEnabled(MainCommand::EraseLoggerDialog, read && condition != 0);
    }
    SetLinkState(IMainView::LinkConnected);
    if (!m_firmwareMode)
        StartRefreshTimer();
}

QString CMainController::KeepBackup()
{
    if (m_firmwareMode || !m_connected)
        return QString();
    // One backup for each set of settings found in this run: reconnecting to
    // the same ESC keeps no second copy, while another ESC of the same type
    // with other settings gets its own. The cells already read (every
    // parameter of the list) tell them apart without asking the ESC more.
    QString settings = m_undoDevice;
    for (uint32_t cell = 0; cell < Image().Count(); ++cell) {
        uint8_t value = 0;
        if (Image().IsLoaded(static_cast<int>(cell)) && Image().GetCell(static_cast<int>(cell), value))
            settings += QString::asprintf(" %02x", value);
        else
            settings += QStringLiteral(" ??");
    }
    if (m_backedUp.count(settings) != 0)
        return QString();
    const CBackupFolder::Result kept =
        CBackupFolder::Keep(m_session.File(), CXmlAttributes::Text(EscElement(), "name", QStringLiteral("ESC")));
    if (!kept.ok)
        return QLatin1Char(' ') + tr("No backup of its settings could be kept: %1.").arg(kept.error);
    m_backedUp.insert(settings);
    return QString();
}

std::vector<int> CMainController::DefaultCells() const
{
    std::set<int> cells;
    for (const pugi::xml_node& element : CDeviceLibrary::AllParameters(EscElement())) {
        if (CXmlAttributes::Int(element, "default")) {
            const std::vector<int> own = CParameterRow::CellsOf(element);
            cells.insert(own.begin(), own.end());
        }
    }
    return {cells.begin(), cells.end()};
}

CParameterModel::RestoreReport CMainController::RestoreDefaults()
{
    if (!IsCommandAvailable(MainCommand::RestoreDefaults))
        return {};
    const std::vector<int> cells = DefaultCells();
    const std::optional<CUndoHistory::Cells> before = CUndoHistory::Snapshot(Image(), cells);
    CParameterModel::RestoreReport report = Model().RestoreDefaults();
    if (before && report.failedAt.isEmpty()) {
        if (const std::optional<CUndoHistory::Cells> after = CUndoHistory::Snapshot(Image(), cells))
            m_undo.Record(CUndoHistory::Between(*before, *after));
    }
    return report;
}

void CMainController::Undo()
{
    TakeUndoStep(true);
}

void CMainController::Redo()
{
    TakeUndoStep(false);
}

void CMainController::TakeUndoStep(bool undo)
{
    if (!(undo ? CanUndo() : CanRedo()))
        return;
    List().CloseEditor();
    StopRefreshTimer();
    const CUndoHistory::Outcome outcome =
        undo ? m_undo.Undo(Protocol(), Image()) : m_undo.Redo(Protocol(), Image());
    if (outcome == CUndoHistory::Outcome::WriteFailed) {
        // As after a failed edit: the ESC no longer answers.
        CleanAndReconnect(true);
        return;
    }
    if (outcome == CUndoHistory::Outcome::Stale) {
        m_undo.Clear();
        m_view.SetMessage(tr("The ESC no longer holds the values of that step (another ESC, or changed "
                             "elsewhere). Nothing was written; the undo history is cleared."));
        RestartRefreshTimer();
        return;
    }
    // Every row shows what the ESC now reports.
    if (!Model().RefreshAllParameters(false)) {
        m_view.SetMessage(tr("Some values could not be read back from the ESC."));
    } else {
        m_view.SetMessage(undo ? tr("Undone: the previous values are written back to the ESC.")
                               : tr("Redone: the values are written to the ESC again."));
    }
    RestartRefreshTimer();
}

std::optional<CMainController::Comparison> CMainController::CompareWithFile()
{
    if (!IsCommandAvailable(MainCommand::CompareWithFile))
        return std::nullopt;
    const std::optional<QString> path = m_session.File().AskLoadPath(m_saveFolder);
    if (!path)
        return std::nullopt;
    CParameterFile::Image image{};
    const CParameterFile::Result read = CParameterFile::ReadFile(*path, image);
    if (read.status != CParameterFile::Status::Ok) {
        m_prompt.Message(read.status == CParameterFile::Status::OpenFailed ? tr("Unable to open file")
                                                                           : tr("Unable to read file"),
                         kCaption, IPrompt::Icon::Information, IPrompt::Buttons::Ok);
        return std::nullopt;
    }
    Comparison comparison;
    comparison.path = *path;
    StopRefreshTimer();
    switch (m_session.File().CheckIdentity(image)) {
    case CParameterFile::Identity::Unreadable:
        m_prompt.Message(tr("Unable to get response on reading 64 or 65 cells...\nReconnecting..."), kCaption,
                         IPrompt::Icon::Error, IPrompt::Buttons::Ok);
        CleanAndReconnect(true);
        return std::nullopt;
    case CParameterFile::Identity::Mismatch: {
        const CDeviceProtocol::Identity& id = m_session.Identity();
        comparison.identityMismatch =
            tr("The ESC type and/or revision does not match the parameters file (ESC %1.%2, file %3.%4).")
                .arg(id.type)
                .arg(id.major)
                .arg(image[CParameterFile::kTypeCell])
                .arg(image[CParameterFile::kRevisionCell]);
        break;
    }
    case CParameterFile::Identity::Match:
        break;
    }
    std::vector<IProperty*> rows;
    for (int i = 0; i < List().Count(); ++i) {
        if (List().At(i)->Kind() != IProperty::KindCategory)
            rows.push_back(List().At(i));
    }
    comparison.changes = CFileParameters(m_session, image, CCurve::PointCells(EscElement())).Changes(rows);
    RestartRefreshTimer();
    return comparison;
}

void CMainController::LoadFile(const QString& path)
{
    if (!IsCommandAvailable(MainCommand::LoadParameters))
        return;
    StopRefreshTimer();
    AfterLoad(m_session.File().LoadFrom(path));
}

void CMainController::OnLoadStage(CParameterFile::LoadStage stage)
{
    switch (stage) {
    case CParameterFile::LoadStage::Busy:
        m_view.SetBusy(true);
        break;
    case CParameterFile::LoadStage::Idle:
        m_view.SetBusy(false);
        break;
    case CParameterFile::LoadStage::BeforeWrite:
        // What the ESC holds before the file goes over it: one undo step.
        m_beforeLoad = CUndoHistory::Snapshot(Image(), WrittenCells());
        m_loadedSettings = 0;
        for (int i = 0; i < List().Count(); ++i) {
            const IProperty& row = *List().At(i);
            const std::vector<int> cells = CParameterRow::CellsOf(row);
            if (CParameterRow::IsSetting(row) &&
                std::all_of(cells.begin(), cells.end(), [](int c) { return c < CParameterFile::kWrittenCells; }))
                ++m_loadedSettings;
        }
        break;
    case CParameterFile::LoadStage::AfterWrite:
        if (m_beforeLoad) {
            if (const std::optional<CUndoHistory::Cells> after = CUndoHistory::Snapshot(Image(), WrittenCells()))
                m_undo.Record(CUndoHistory::Between(*m_beforeLoad, *after));
        }
        m_beforeLoad.reset();
        break;
    }
}

void CMainController::AfterLoad(const std::optional<CParameterFile::LoadReport>& report)
{
    if (!report)
        return;
    QString text = tr("Loaded %1 settings from %2").arg(m_loadedSettings).arg(report->path);
    const auto failed = static_cast<int>(report->failedWrites.size());
    if (!report->complete)
        text += tr("; the ESC stopped answering before every cell was written");
    else if (failed > 0)
        text += tr("; %1 cells could not be written").arg(failed);
    // The load reconnects: the line is shown again once the ESC is connected.
    m_afterConnect = text;
    m_view.SetMessage(text);
}

void CMainController::RefreshTick()
{
    if (m_session.RefreshLiveParameters())
        return;
    if (Protocol().IsPresent())
        return;
    CleanAndReconnect(true);
}

void CMainController::OnListNotify(int code, IProperty* row)
{
    switch (code) {
    case CPropertyList::NotifySelChanged:
        if (row != nullptr) {
            const std::optional<QString> description = CParameterModel::DescriptionOf(row);
            if (description)
                m_view.SetMessage(*description);
        }
        break;
    case CPropertyList::NotifyChanged:
        if (row == nullptr)
            break;
        OnEdit(row);
        break;
    case CPropertyList::NotifyExpanded:
        if (row != nullptr)
            Model().OnCategoryExpanded(row);
        break;
    default:
        break;
    }
}

void CMainController::OnEdit(IProperty* row)
{
    // The row's cells before the edit is written: the step that undoes it.
    const std::vector<int> cells = CParameterRow::IsSetting(*row) ? CParameterRow::CellsOf(*row) : std::vector<int>();
    const std::optional<CUndoHistory::Cells> before = CUndoHistory::Snapshot(Image(), cells);
    switch (Model().WriteBackParameter(row)) {
    case CParameterModel::WriteResult::WriteFailed:
        CleanAndReconnect(true);
        break;
    case CParameterModel::WriteResult::DoesNotFit:
        // Nothing was written: show the device's value again.
        m_prompt.Beep();
        Model().RefreshParameter(row->GetItemData(), false);
        break;
    case CParameterModel::WriteResult::Written:
        if (const std::optional<CUndoHistory::Cells> after = CUndoHistory::Snapshot(Image(), cells);
            before && after)
            m_undo.Record(CUndoHistory::Between(*before, *after));
        break;
    case CParameterModel::WriteResult::NothingWritten:
        break;
    }
}

bool CMainController::IsCommandAvailable(int command) const
{
    switch (command) {
    case MainCommand::LoadParameters:
    case MainCommand::SaveParameters:
    case MainCommand::CompareWithFile:
    case MainCommand::Refresh:
    case MainCommand::RestoreDefaults:
        return m_connected;
    case MainCommand::FirmwareUpdate:
        return m_session.HasDevice();
    case MainCommand::MeasurementPanel:
    case MainCommand::EraseLogger:
    case MainCommand::EraseLoggerDialog:
    case MainCommand::WriteLoggerImage:
        return LoggerBlocks() > 0;
    case MainCommand::Melodies:
        return MelodiesAllowed() && m_session.HasDevice();
    default:
        return true;
    }
}

bool CMainController::HandleCommand(int command)
{
    if (!IsCommandAvailable(command))
        return false;
    switch (command) {
    case MainCommand::Refresh:
        CleanAndReconnect(true);
        return true;
    case MainCommand::RestoreDefaults:
        RestoreDefaults();
        return true;
    case MainCommand::SaveParameters:
        if (const std::optional<QString> path = m_session.File().Save(m_saveFolder))
            m_view.SetMessage(tr("Saved %1 cells to %2").arg(CParameterFile::kFileSize).arg(*path));
        return true;
    case MainCommand::LoadParameters:
        AfterLoad(m_session.File().Load(m_saveFolder));
        return true;
    case MainCommand::Undo:
        Undo();
        return true;
    case MainCommand::Redo:
        Redo();
        return true;
    default:
        return false;
    }
}
