#include "app/CMainController.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <cerrno>

#include "app/CMainCommands.h"
#include "base/CTorvMessage.h"
#include "app/IMainView.h"
#include "base/IPrompt.h"
#include "library/CDeviceLibrary.h"
#include "library/CParameterFile.h"
#include "library/CParameterModel.h"
#include "link/CSerialPort.h"

namespace {
const char* const kCaption = "TORV";
constexpr int kImageCells = 256;
constexpr int kLoggerConditionCell = 128;

QString tr(const char* text)
{
    return QCoreApplication::translate("CMainDlg", text);
}

bool VersionLooksErased(uint8_t major, uint8_t minor)
{
    return (major == 0 && minor == 0) || (major == 255 && minor == 255);
}
}

CMainController::CMainController(CSerialPort& port, CSynchroBytesCollector& shortCollector,
                                 CDeviceLibrary& library, IPrompt& prompt, IMainView& view, QObject* parent)
    : QObject(parent),
      m_port(port),
      m_library(library),
      m_prompt(prompt),
      m_view(view),
      m_protocol(port, shortCollector, *this)
{
    m_model = std::make_unique<CParameterModel>(m_library, m_list, m_image, m_protocol, m_formulas);
    m_file = std::make_unique<CParameterFile>(m_prompt, m_protocol, m_protocol, m_image,
                                              [this] { CleanAndReconnect(true); });
    m_file->SetLimitCheck([this](const CParameterFile::Image& cells) { return m_model->ValuesOutsideLibrary(cells); });
    connect(&m_list, &CPropertyList::notify, this, &CMainController::OnListNotify);
    connect(&m_list, &CPropertyList::refused, this, [this](IProperty*) { m_prompt.Beep(); });
    CFormulaTable::SetCurrentImage(&m_image);
}

CMainController::~CMainController()
{
    CFormulaTable::SetCurrentImage(nullptr);
    StopConnectTimer();
    StopRefreshTimer();
}

void CMainController::Open()
{
    m_connectPeriod = static_cast<uint32_t>(m_library.StartTimeout());
    m_refreshPeriod = static_cast<uint32_t>(m_library.AwakeTimeout());
    m_memoryLoadTimeout = static_cast<uint32_t>(m_library.MemloadTimeout());
    CleanAndReconnect(true);
}

void CMainController::CleanAndReconnect(bool restart)
{
    m_protocol.LeaveLink();
    StopRefreshTimer();
    StopConnectTimer();

    m_list.CloseEditor();
    m_list.Clear();
    m_view.SetListEnabled(false);

    m_view.SetButtonEnabled(MainCommand::EraseLoggerDialog, false);
    m_view.SetButtonEnabled(MainCommand::MeasurementPanel, false);
    m_view.SetButtonEnabled(MainCommand::Curves, false);
    m_view.SetCurvesDropDown(false);
    m_view.SetMessage(tr("Waiting for ESC response..."));

    m_escElement = pugi::xml_node();
    m_loggerBlocks = 0;
    m_initialDataSize = 0;
    m_melodiesAllowed = false;
    m_protocol.SetCapabilities(false, false);
    m_firmwareMode = false;

    if (!restart)
        return;
    m_view.SetTitle(tr("TORV"));
    m_view.ShowParameterList(false);
    m_connected = false;
    SetLinkState(IMainView::LinkWaiting);
    if (m_connectPeriod != 0)
        m_connectTimer = startTimer(static_cast<int>(m_connectPeriod));
}

void CMainController::Close()
{
    CleanAndReconnect(false);
}

void CMainController::ApplyPortSetup(const QString& portName, int linkSpeed)
{
    // Return the ESC to 19200 baud while the port still reaches it: once the
    // port is closed the reconnect cannot, and an ESC left at a raised speed
    // would never answer the connection attempts at 19200 or 4800 baud.
    m_protocol.LeaveLink();
    m_port.Close();
    m_portName = portName;
    m_protocol.SetStoredLinkSpeed(linkSpeed);
    CleanAndReconnect(true);
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
    const QString device = CSerialPort::DevicePath(m_portName);
    QString reason;
    switch (m_port.LastError()) {
    case EACCES:
    case EPERM:
        reason = tr("Cannot open %1: permission denied. Add your user to the dialout group "
                    "(sudo usermod -aG dialout $USER), log in again, then press Ctrl+P.")
                     .arg(device);
        break;
    case EBUSY:
        reason = tr("Cannot open %1: another program holds the port. Close it, then press Ctrl+P.").arg(device);
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        reason = tr("Cannot open %1: no such device. Plug in the link or choose the port with Ctrl+P.")
                     .arg(device);
        break;
    default:
        reason = tr("Cannot open %1: %2. Choose the port with Ctrl+P.").arg(device, m_port.LastErrorText());
        break;
    }
    m_view.SetMessage(reason);
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
    if (m_refreshPeriod != 0)
        m_refreshTimer = startTimer(static_cast<int>(m_refreshPeriod));
}

void CMainController::RestartRefreshTimer()
{
    if (!m_firmwareMode)
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

void CMainController::ConnectTick()
{
    StopConnectTimer();
    StopRefreshTimer();

    CDeviceProtocol::Identity identity;
    switch (m_protocol.Handshake(m_portName, m_attempt, identity)) {
    case CDeviceProtocol::HandshakeResult::PortNotOpened:
        SetLinkState(IMainView::LinkClosed);
        ShowPortError();
        return;
    case CDeviceProtocol::HandshakeResult::NoAnswer:
    case CDeviceProtocol::HandshakeResult::CellReadFailed:
        // A briefly disturbed line must not stop the attempts for good, so a
        // failed identity read starts the next attempt too.
        CleanAndReconnect(true);
        return;
    case CDeviceProtocol::HandshakeResult::Answered:
        break;
    }

    pugi::xml_node element;
    bool deprecated = false;
    if (!m_library.IdentifyDevice(identity.type, identity.major, identity.minor, element, deprecated)) {
        CleanAndReconnect(true);
        return;
    }

    if (deprecated) {
        const IPrompt::Answer answer = m_prompt.Message(
            tr("It is strongly recommended to update the firmware of your device.\r\nUnplug the device if you will "
               "do updating later.\r\nWill you to update firmware right now?"),
            kCaption, IPrompt::Icon::Question, IPrompt::Buttons::YesNo);
        if (answer != IPrompt::Answer::Yes) {
            CleanAndReconnect(true);
            return;
        }
        m_escElement = element;
        m_firmwareMode = true;
        m_deviceIdentifier = identity.type;
        m_hardwareVersion = identity.hardware;
        m_view.PostCommand(MainCommand::FirmwareUpdate);
        m_view.SetMessage(tr("Connected. Ready for fimware upload."));
        return;
    }

    m_view.SetMessage(tr("ESC identified. Loading parameters..."));

    if (VersionLooksErased(identity.major, identity.minor)) {
        const IPrompt::Answer answer = m_prompt.Message(
            tr("It seems that your ESC has  corrupted firmware.\r\nIt is recomended to upload the latest "
               "firmware\r\nor unplug your ESC and contact to nearest authorized service.\r\nWill you try to upload "
               "firmware?"),
            kCaption, IPrompt::Icon::Warning, IPrompt::Buttons::YesNo);
        if (answer != IPrompt::Answer::Yes) {
            CleanAndReconnect(true);
            return;
        }
        m_escElement = element;
        m_firmwareMode = true;
        m_view.PostCommand(MainCommand::FirmwareUpdate);
        FinishConnection(element, identity, tr("Connected. Ready for fimware upload."));
        return;
    }

    const DeviceFacts facts = m_model->BuildParameterList(element, identity.major, identity.minor);
    m_view.SetTitle(facts.title);
    m_loggerBlocks = facts.loggerBlocks;
    m_initialDataSize = facts.initialDataSize;
    m_melodiesAllowed = facts.melodies;
    m_protocol.SetCapabilities(facts.speedChange, facts.rangeReads);

    m_image.ResetImage(kImageCells, &m_protocol, facts.rangeReads);
    if (!m_model->RefreshAllParameters(false)) {
        const IPrompt::Answer answer = m_prompt.Message(tr("Unable to load some cell values\nReconnect?"), kCaption,
                                                        IPrompt::Icon::Error, IPrompt::Buttons::YesNo);
        if (answer == IPrompt::Answer::Yes) {
            CleanAndReconnect(true);
            return;
        }
    }

    StopRefreshTimer();
    m_view.ShowParameterList(true);
    m_connected = true;

    const int curves = m_library.CurveCount(element);
    m_view.SetButtonEnabled(MainCommand::Curves, curves > 0);
    m_view.SetCurvesDropDown(curves >= 2);
    m_view.SetListEnabled(true);
    FinishConnection(element, identity, tr("Connected. Ready for programming."));
}

void CMainController::FinishConnection(const pugi::xml_node& element, const CDeviceProtocol::Identity& identity,
                                       const QString& text)
{
    m_escElement = element;
    m_protocol.ChangeLinkSpeed(0);
    // When the port could not be reopened at the new speed the upgrade has
    // already dropped the link and started the attempts over; showing the
    // device as connected now would contradict that.
    if (m_escElement.empty())
        return;
    m_deviceIdentifier = identity.type;
    m_hardwareVersion = identity.hardware;
    m_view.SetMessage(text);
    if (m_loggerBlocks > 0) {
        m_view.SetButtonEnabled(MainCommand::MeasurementPanel, true);
        uint8_t condition = 0;
        const bool read = m_image.GetCell(kLoggerConditionCell, condition);
        m_view.SetButtonEnabled(MainCommand::EraseLoggerDialog, read && condition != 0);
    }
    SetLinkState(IMainView::LinkConnected);
    if (!m_firmwareMode)
        StartRefreshTimer();
}

void CMainController::RefreshTick()
{
    m_image.InvalidateCell(-1);
    const std::vector<pugi::xml_node> parameters = m_library.RefreshParameters(m_escElement);
    bool allRefreshed = !parameters.empty();
    for (const pugi::xml_node& parameter : parameters) {
        if (!m_model->RefreshParameter(parameter, false)) {
            allRefreshed = false;
            break;
        }
    }
    if (allRefreshed)
        return;
    if (m_protocol.IsPresent())
        return;
    CleanAndReconnect(true);
}

void CMainController::OnListNotify(int code, IProperty* row)
{
    switch (code) {
    case CPropertyList::NotifySelChanged:
        if (row != nullptr) {
            const std::optional<QString> description = m_model->DescriptionOf(row);
            if (description)
                m_view.SetMessage(*description);
        }
        break;
    case CPropertyList::NotifyChanged:
        if (row != nullptr && m_model->WriteBackParameter(row) == CParameterModel::WriteResult::WriteFailed)
            CleanAndReconnect(true);
        break;
    case CPropertyList::NotifyExpanded:
        if (row != nullptr)
            m_model->OnCategoryExpanded(row);
        break;
    default:
        break;
    }
}

bool CMainController::IsCommandAvailable(int command) const
{
    switch (command) {
    case MainCommand::LoadParameters:
    case MainCommand::SaveParameters:
    case MainCommand::Refresh:
    case MainCommand::RestoreDefaults:
        return m_connected;
    case MainCommand::FirmwareUpdate:
        return !m_escElement.empty();
    case MainCommand::MeasurementPanel:
    case MainCommand::EraseLogger:
    case MainCommand::EraseLoggerDialog:
    case MainCommand::WriteLoggerImage:
        return m_loggerBlocks > 0;
    case MainCommand::Melodies:
        return m_melodiesAllowed && !m_escElement.empty();
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
        m_model->RefreshAllParameters(true);
        return true;
    case MainCommand::SaveParameters:
        m_file->Save(m_saveFolder);
        return true;
    case MainCommand::LoadParameters:
        m_file->Load(m_saveFolder);
        return true;
    default:
        return false;
    }
}
