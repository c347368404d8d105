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
    const int raised = port.LinkSpeed();
    if (raised == CDeviceProtocol::kDefaultLinkSpeed)
        return false;
    if (port.Open(port.PortName(), CDeviceProtocol::kDefaultLinkSpeed) && protocol.Probe()) {
        // Switched off and on: back at its start speed. Raised again to the
        // speed the transfer ran at.
        protocol.ChangeLinkSpeed(raised);
        return protocol.Probe();
    }
    // Not there either: back to the raised speed, where it may answer again.
    (void)port.Open(port.PortName(), raised);
    return false;
}
