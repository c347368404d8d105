#include "link/CLowLatency.h"

#include <cerrno>
#include <system_error>

#include <linux/serial.h>
#include <sys/ioctl.h>

CLowLatency::CLowLatency(Ioctl ioctl)
    : m_ioctl(ioctl)
{
}

int CLowLatency::SystemIoctl(int fd, unsigned long request, void* argument)
{
    return ::ioctl(fd, request, argument);
}

CLowLatency::Result CLowLatency::Request(int fd) const
{
    Result result;
    serial_struct settings {};
    if (m_ioctl(fd, TIOCGSERIAL, &settings) != 0) {
        result.error = errno;
    } else if ((settings.flags & ASYNC_LOW_LATENCY) != 0) {
        result.outcome = Outcome::AlreadySet;
    } else {
        settings.flags |= ASYNC_LOW_LATENCY;
        if (m_ioctl(fd, TIOCSSERIAL, &settings) != 0)
            result.error = errno;
        else
            result.outcome = Outcome::Set;
    }
    return result;
}

QString CLowLatency::TraceText(const QString& portName, const Result& result)
{
    switch (result.outcome) {
    case Outcome::Set:
        return QStringLiteral("%1: low latency set, the driver passes received bytes on at once").arg(portName);
    case Outcome::AlreadySet:
        return QStringLiteral("%1: low latency already set").arg(portName);
    case Outcome::Refused:
        break;
    }
    return QStringLiteral("%1: the driver offers no low latency setting (%2); carrying on without it")
        .arg(portName, QString::fromStdString(std::system_category().message(result.error)));
}
