#include "LinkTestSupport.h"

#include "base/CTorvMessage.h"
#include "common/TestApplication.h"
#include "link/CCrc16.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <asm/termbits.h>  // termios2; <termios.h> would clash with it
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The notifying collectors need an event loop on this thread.
[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register([] {
    TorvMessages::RegisterAll();
    QLoggingCategory::setFilterRules(QStringLiteral("torv.link.debug=true"));
});

PtyPair::PtyPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0)
        ADD_FAILURE() << "cannot open a pseudo-terminal: " << strerror(errno);
    m_slavePath = QString::fromLocal8Bit(name);
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPair::Write(const Bytes& bytes) const
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        ASSERT_TRUE(n > 0 || errno == EINTR) << strerror(errno);
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
}

Bytes PtyPair::Read(size_t count, int timeoutMs) const
{
    Bytes bytes(count);
    size_t have = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (have < count) {
        pollfd fd { m_master, POLLIN, 0 };
        if (::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            break;
        const ssize_t n = ::read(m_master, bytes.data() + have, count - have);
        if (n <= 0)
            break;
        have += static_cast<size_t>(n);
    }
    bytes.resize(have);
    return bytes;
}

int PtyPair::Pending() const
{
    int pending = 0;
    ::ioctl(m_master, FIONREAD, &pending);
    return pending;
}

unsigned SlaveSpeed(int master)
{
    struct termios2 tio {};
    return ioctl(master, TCGETS2, &tio) == 0 ? tio.c_ospeed : 0;
}

Bytes ShortAnswer(const Bytes& frame, uint8_t value)
{
    Bytes bytes = frame;
    bytes.insert(bytes.end(), { 'M', value, static_cast<uint8_t>('M' + value) });
    return bytes;
}

Bytes BlockAnswer(const Bytes& request, const Bytes& data)
{
    Bytes w = request;
    w.push_back('M');
    w.insert(w.end(), data.begin(), data.end());
    const uint16_t crc = CCrc16::Compute(w.data() + request.size(), data.size() + 1);
    w.insert(w.end(), { static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8) });
    return w;
}

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(i * 13 + seed);
    return data;
}

void MessageSink::customEvent(QEvent* event)
{
    const auto* message = static_cast<CTorvMessage*>(event);
    messages.push_back({ event->type(), message->WParam(), message->LParam(), message->Payload() });
}
