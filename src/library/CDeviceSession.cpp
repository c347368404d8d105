#include "library/CDeviceSession.h"

#include "library/CDeviceLibrary.h"
#include "library/CParameterFile.h"
#include "link/CPortSetup.h"
#include "link/CSerialPort.h"

namespace {
constexpr int kImageCells = 256;
}

bool CDeviceSession::VersionLooksErased(int major, int minor)
{
    return (major == 0 && minor == 0) || (major == 255 && minor == 255);
}

CDeviceSession::CDeviceSession(CSerialPort& port, CSynchroBytesCollector& shortCollector, CDeviceLibrary& library,
                               IPrompt& prompt, IProtocolHost& host)
    : m_port(port), m_library(library), m_protocol(port, shortCollector, host)
{
    m_model = std::make_unique<CParameterModel>(m_library, m_list, m_image, m_protocol, m_formulas);
    m_file = std::make_unique<CParameterFile>(prompt, m_protocol, m_protocol, m_image, [this] {
        if (m_reconnect)
            m_reconnect();
    });
    m_file->SetLimitCheck([this](const CParameterFile::Image& cells) { return m_model->ValuesOutsideLibrary(cells); });
    CFormulaTable::SetCurrentImage(&m_image);
}

CDeviceSession::~CDeviceSession()
{
    CFormulaTable::SetCurrentImage(nullptr);
}

void CDeviceSession::ReadLibraryTimeouts()
{
    m_connectPeriod = static_cast<uint32_t>(m_library.StartTimeout());
    m_refreshPeriod = static_cast<uint32_t>(m_library.AwakeTimeout());
    m_memoryLoadTimeout = static_cast<uint32_t>(m_library.MemloadTimeout());
}

CDeviceSession::Attempt CDeviceSession::TryConnect(const QString& portName)
{
    if (m_failuresInARow >= kRescueAfterFailures) {
        m_failuresInARow = 0;
        RescueStrandedDevice(portName);
    }

    Attempt attempt;
    switch (m_protocol.Handshake(portName, m_attempt, attempt.identity)) {
    case CDeviceProtocol::HandshakeResult::PortNotOpened:
        attempt.outcome = Attempt::Outcome::PortNotOpened;
        return attempt;
    case CDeviceProtocol::HandshakeResult::NoAnswer:
    case CDeviceProtocol::HandshakeResult::CellReadFailed:
        ++m_failuresInARow;
        attempt.outcome = Attempt::Outcome::NoAnswer;
        return attempt;
    case CDeviceProtocol::HandshakeResult::Answered:
        break;
    }
    m_failuresInARow = 0;

    const CDeviceProtocol::Identity& id = attempt.identity;
    bool deprecated = false;
    if (!m_library.IdentifyDevice(id.type, id.major, id.minor, attempt.element, deprecated))
        attempt.outcome = Attempt::Outcome::Unknown;
    else if (deprecated)
        attempt.outcome = Attempt::Outcome::Deprecated;
    else if (VersionLooksErased(id.major, id.minor))
        attempt.outcome = Attempt::Outcome::FirmwareErased;
    else
        attempt.outcome = Attempt::Outcome::Ready;
    return attempt;
}

void CDeviceSession::RescueStrandedDevice(const QString& portName)
{
    // The handshake speeds are tried by the attempts themselves.
    for (auto it = CPortSetup::kSpeeds.rbegin(); it != CPortSetup::kSpeeds.rend(); ++it) {
        if (*it == CDeviceProtocol::kDefaultLinkSpeed || *it == 4800)
            continue;
        if (m_port.Open(portName, *it))
            m_protocol.LeaveLink();
    }
}

bool CDeviceSession::LoadParameters(const Attempt& attempt)
{
    const CDeviceProtocol::Identity& id = attempt.identity;
    m_facts = m_model->BuildParameterList(attempt.element, id.major, id.minor);
    m_escElement = attempt.element;
    m_identity = id;
    m_protocol.SetCapabilities(m_facts.speedChange, m_facts.rangeReads);
    m_image.ResetImage(kImageCells, &m_protocol, m_facts.rangeReads);
    return m_model->RefreshAllParameters(false);
}

void CDeviceSession::AcceptForFirmware(const Attempt& attempt)
{
    m_escElement = attempt.element;
    m_identity = attempt.identity;
}

bool CDeviceSession::UpgradeSpeed()
{
    m_protocol.ChangeLinkSpeed(0);
    return m_port.IsOpen() && HasDevice();
}

bool CDeviceSession::Forget()
{
    const bool confirmed = m_protocol.LeaveLink();
    m_list.CloseEditor();
    m_list.Clear();
    m_escElement = pugi::xml_node();
    m_facts = DeviceFacts();
    m_protocol.SetCapabilities(false, false);
    return confirmed;
}

bool CDeviceSession::RefreshLiveParameters()
{
    m_image.InvalidateCell(-1);
    const std::vector<pugi::xml_node> parameters = m_library.RefreshParameters(m_escElement);
    if (parameters.empty())
        return false;
    for (const pugi::xml_node& parameter : parameters) {
        if (!m_model->RefreshParameter(parameter, false))
            return false;
    }
    return true;
}
