#include "LinkTestSupport.h"

#include "app/CTorvMessage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// One application object for the whole test program: the notifying
// collectors need an event loop on this thread.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "test_link";
            static char* argv[] = { name, nullptr };
            m_app = new QCoreApplication(argc, argv);
        }
        TorvMessages::RegisterAll();
        QLoggingCategory::setFilterRules(QStringLiteral("torv.link.debug=true"));
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    QCoreApplication* m_app = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}

PtyPair::PtyPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        ADD_FAILURE() << "cannot open a pseudo-terminal: " << strerror(errno);
        return;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) == 0)
        m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPair::Write(const std::vector<uint8_t>& bytes) const
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ASSERT_GT(n, 0) << strerror(errno);
        done += static_cast<size_t>(n);
    }
}

std::vector<uint8_t> PtyPair::Read(size_t count, int timeoutMs) const
{
    std::vector<uint8_t> bytes;
    QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        pollfd fd { m_master, POLLIN, 0 };
        if (::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0 || (fd.revents & POLLIN) == 0)
            break;
        uint8_t buffer[4096];
        const size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t n = ::read(m_master, buffer, want);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

int PtyPair::Pending() const
{
    int pending = 0;
    ::ioctl(m_master, FIONREAD, &pending);
    return pending;
}

ScriptedDevice::ScriptedDevice(const PtyPair& pty, Script script)
    : m_pty(pty)
    , m_script(std::move(script))
    , m_stop(::eventfd(0, EFD_CLOEXEC))
    , m_thread(&ScriptedDevice::Run, this)
{
}

ScriptedDevice::~ScriptedDevice()
{
    const uint64_t one = 1;
    (void)!::write(m_stop, &one, sizeof one);
    m_thread.join();
    ::close(m_stop);
}

void ScriptedDevice::Run()
{
    std::array<uint8_t, 5> frame {};
    size_t have = 0;
    for (;;) {
        pollfd fds[2] = { { m_pty.Master(), POLLIN, 0 }, { m_stop, POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            if ((fds[0].revents & POLLIN) == 0) {
                // The slave is closed just now; wait for it to be reopened.
                pollfd stop { m_stop, POLLIN, 0 };
                if (::poll(&stop, 1, 5) > 0)
                    return;
                continue;
            }
        }
        const ssize_t n = ::read(m_pty.Master(), frame.data() + have, frame.size() - have);
        if (n <= 0)
            continue;
        have += static_cast<size_t>(n);
        if (have < frame.size())
            continue;
        have = 0;
        ++m_frames;
        const std::vector<uint8_t> answer = m_script(frame);
        if (!answer.empty())
            m_pty.Write(answer);
    }
}

std::vector<uint8_t> ScriptedDevice::ShortAnswer(const std::array<uint8_t, 5>& frame, uint8_t value)
{
    std::vector<uint8_t> bytes(frame.begin(), frame.end());
    bytes.push_back('M');
    bytes.push_back(value);
    bytes.push_back(static_cast<uint8_t>('M' + value));
    return bytes;
}

size_t MessageSink::Count(int type, quintptr wParam) const
{
    size_t count = 0;
    for (const Message& m : messages)
        count += (m.type == type && m.wParam == wParam) ? 1 : 0;
    return count;
}

void MessageSink::customEvent(QEvent* event)
{
    const auto* message = static_cast<CTorvMessage*>(event);
    messages.push_back({ event->type(), message->WParam(), message->LParam() });
}
