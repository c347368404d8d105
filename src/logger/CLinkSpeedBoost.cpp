#include "logger/CLinkSpeedBoost.h"

#include "library/CDeviceSession.h"
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
