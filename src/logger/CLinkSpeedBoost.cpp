#include "logger/CLinkSpeedBoost.h"

#include "library/CDeviceSession.h"
#include "link/CDeviceProtocol.h"
#include "link/CSerialPort.h"

CLinkSpeedBoost::CLinkSpeedBoost(CDeviceSession& session)
    : m_session(session),
      m_previousBaud(session.Port().LinkSpeed()),
      m_previousStored(session.Protocol().StoredLinkSpeed())
{
    m_session.Protocol().ChangeLinkSpeed(0);
    m_switched = m_session.Port().IsOpen() && m_session.Port().LinkSpeed() != m_previousBaud;
}

CLinkSpeedBoost::~CLinkSpeedBoost()
{
    if (!m_switched || !m_session.Port().IsOpen())
        return;
    m_session.Protocol().ChangeLinkSpeed(m_previousBaud);
    m_session.Protocol().SetStoredLinkSpeed(m_previousStored);
}

bool CLinkSpeedBoost::Recover()
{
    CSerialPort& port = m_session.Port();
    CDeviceProtocol& protocol = m_session.Protocol();
    if (!port.IsOpen())
        return false;
    if (protocol.Probe())
        return true;
    if (!m_switched)
        return false;
    const int raised = port.LinkSpeed();
    if (port.Open(port.PortName(), CDeviceProtocol::kDefaultLinkSpeed) && protocol.Probe()) {
        protocol.SetStoredLinkSpeed(m_previousStored);
        protocol.ChangeLinkSpeed(0);
        return protocol.Probe();
    }
    // Not there either: back to the raised speed, where it may answer again.
    (void)port.Open(port.PortName(), raised);
    return false;
}
