#include "link/CPortSetup.h"

#include "link/CPortEnumerator.h"

#include <algorithm>
#include <climits>

namespace {
// |speed| without overflow for the most negative int.
int AbsoluteSpeed(int speed)
{
    if (speed == INT_MIN)
        return INT_MAX;
    return speed < 0 ? -speed : speed;
}
}

CPortSetup::CPortSetup(const Settings& initial)
    : m_initial(initial)
{
}

int CPortSetup::ShownSpeed() const
{
    return AbsoluteSpeed(m_initial.speed);
}

int CPortSetup::ShownSpeedIndex() const
{
    return SpeedIndex(ShownSpeed());
}

int CPortSetup::SpeedIndex(int speed)
{
    const auto it = std::find(kSpeeds.begin(), kSpeeds.end(), speed);
    return it == kSpeeds.end() ? -1 : static_cast<int>(it - kSpeeds.begin());
}

CPortSetup::Settings CPortSetup::Confirm(const QString& portText, int speedIndex, bool useDefault) const
{
    Settings out;
    const QString port = portText.trimmed();
    out.portName = port.isEmpty() ? m_initial.portName : port;

    const bool chosen = speedIndex >= 0 && speedIndex < static_cast<int>(kSpeeds.size());
    const int speed = chosen ? kSpeeds[static_cast<size_t>(speedIndex)] : ShownSpeed();
    out.speed = useDefault ? -speed : speed;
    return out;
}

QStringList CPortSetup::AvailablePorts()
{
    QStringList names;
    for (const CPortEnumerator::Port& port : CPortEnumerator().Ports())
        names.append(port.Name());
    return names;
}
