// Ports as a person finds them: stable names, the driver's low latency
// setting, and the program that holds a port.

#include "LinkTestSupport.h"
#include "common/CategoryTrace.h"

#include "link/CLowLatency.h"
#include "link/CPortEnumerator.h"
#include "link/CPortHolders.h"
#include "link/CPortOpenFailure.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool MakeLink(const QString& target, const QString& link)
{
    return QFile::link(QFileInfo(link).dir().relativeFilePath(target), link);
}

// A driver that keeps its serial flags and may refuse to change them.
int g_driverFlags = 0;
int g_setRequests = 0;
bool g_refuseSet = false;
int AcceptingDriver(int, unsigned long request, void* argument)
{
    auto* settings = static_cast<serial_struct*>(argument);
    if (request == TIOCGSERIAL) {
        settings->flags = g_driverFlags;
        return 0;
    }
    if (request == TIOCSSERIAL) {
        ++g_setRequests;
        if (g_refuseSet) {
            errno = EPERM;
            return -1;
        }
        g_driverFlags = settings->flags;
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

}

TEST(PortNames, StableLinksNameTheirDeviceAndOpenIt)
{
    PtyPair pty;
    QTemporaryDir byId;
    const QString first = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    const QString second = byId.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-z"));
    ASSERT_TRUE(MakeLink(pty.SlavePath(), first) && MakeLink(pty.SlavePath(), second));
    ASSERT_TRUE(MakeLink(QStringLiteral("/dev/torv-unplugged"), byId.filePath(QStringLiteral("usb-gone-if00-port0"))));

    const std::vector<CPortEnumerator::Port> ports = CPortEnumerator(byId.path()).Ports();
    const auto named = [&](const QString& path) {
        return std::count_if(ports.begin(), ports.end(), [&](const CPortEnumerator::Port& p) { return p.path == path; });
    };
    EXPECT_EQ(named(pty.SlavePath()), 1);
    EXPECT_EQ(named(QStringLiteral("/dev/torv-unplugged")), 0);
    const CPortEnumerator::Port* port = CPortEnumerator::Find(ports, second);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->path, pty.SlavePath());
    EXPECT_EQ(port->Name(), first);
    EXPECT_EQ(CPortEnumerator::Find(ports, pty.SlavePath()), port);

    CPortEnumerator::Port usb;
    usb.vid = 0x0403;
    EXPECT_EQ(CPortEnumerator::UsbId(usb), QString());
    usb.pid = 0x6001;
    EXPECT_EQ(CPortEnumerator::UsbId(usb), QStringLiteral("0403:6001"));

    // The stable name is a port name like any other; the trace says which
    // device it opened and that a pseudo-terminal offers no low latency.
    const CategoryTrace trace("torv.link");
    CSerialPort serial;
    ASSERT_TRUE(serial.Open(first, 19200)) << serial.LastErrorText().toStdString();
    serial.SendFrame('s', 'e', 't');
    EXPECT_EQ(pty.Read(5), (Bytes{'M', 's', 'e', 't', static_cast<uint8_t>('M' + 's' + 'e' + 't')}));
    // Opened again (as every connection attempt does), the port says it once.
    ASSERT_TRUE(serial.Open(first, 4800));
    const QString line = QStringLiteral("%1 (%2): the driver offers no low latency setting").arg(first, pty.SlavePath());
    EXPECT_EQ(trace.lines.filter(line).size(), 1) << trace.lines.join(QLatin1Char('\n')).toStdString();
}

TEST(PortNames, LowLatencyIsSetWhereTheDriverTakesItAndOtherwiseLeftAlone)
{
    g_driverFlags = ASYNC_SKIP_TEST;
    g_setRequests = 0;
    g_refuseSet = false;
    const CLowLatency lowLatency(&AcceptingDriver);
    const CLowLatency::Result set = lowLatency.Request(7);
    EXPECT_EQ(set.outcome, CLowLatency::Outcome::Set);
    EXPECT_EQ(g_driverFlags, ASYNC_SKIP_TEST | ASYNC_LOW_LATENCY);
    EXPECT_EQ(CLowLatency::TraceText(QStringLiteral("/dev/ttyUSB0"), set),
              QStringLiteral("/dev/ttyUSB0: low latency set, the driver passes received bytes on at once"));
    EXPECT_EQ(lowLatency.Request(7).outcome, CLowLatency::Outcome::AlreadySet);
    EXPECT_EQ(g_setRequests, 1);

    g_driverFlags = 0;
    g_refuseSet = true;
    const CLowLatency::Result refused = lowLatency.Request(7);
    EXPECT_EQ(refused.outcome, CLowLatency::Outcome::Refused);
    EXPECT_EQ(refused.error, EPERM);

    // A real pseudo-terminal refuses; the port works all the same.
    PtyPair pty;
    const int slave = ::open(QFile::encodeName(pty.SlavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    EXPECT_EQ(CLowLatency().Request(slave).outcome, CLowLatency::Outcome::Refused);
    ::close(slave);
}

TEST(PortHolders, ProcNamesTheProgramsThatHoldADeviceButNotTheOneAsking)
{
    PtyPair pty;
    QTemporaryDir proc;
    const auto process = [&](int pid, const QByteArray& name, const QString& fd, const QString& target) {
        ASSERT_TRUE(QDir(proc.path()).mkpath(QStringLiteral("%1/fd").arg(pid)));
        QFile comm(proc.filePath(QStringLiteral("%1/comm").arg(pid)));
        ASSERT_TRUE(comm.open(QIODevice::WriteOnly));
        comm.write(name + '\n');
        ASSERT_TRUE(QFile::link(target, proc.filePath(QStringLiteral("%1/fd/%2").arg(pid).arg(fd))));
    };
    process(812, "ModemManager", QStringLiteral("7"), pty.SlavePath());
    process(900, "bash", QStringLiteral("0"), QStringLiteral("/dev/null"));
    process(901, "test", QStringLiteral("3"), pty.SlavePath());
    ASSERT_TRUE(QFile::link(QStringLiteral("901"), proc.filePath(QStringLiteral("self"))));

    const CPortHolders holders(proc.path());
    QTemporaryDir byId;
    const QString link = byId.filePath(QStringLiteral("usb-Arduino-if00"));
    ASSERT_TRUE(MakeLink(pty.SlavePath(), link));
    for (const QString& device : {pty.SlavePath(), link}) {
        const std::vector<CPortHolders::Holder> found = holders.Of(device);
        ASSERT_EQ(found.size(), 1u) << device.toStdString();
        EXPECT_EQ(found[0].pid, 812);
        EXPECT_EQ(found[0].name, QStringLiteral("ModemManager"));
    }
    ASSERT_EQ(holders.Running(QStringLiteral("ModemManager")).size(), 1u);

    // What the user reads: who holds it and how to keep ModemManager off
    // this one device, in one line.
    std::vector<CPortHolders::Holder> both = holders.Of(link);
    both.push_back({4711, QStringLiteral("minicom")});
    const QString held = CPortOpenFailure::BusyText(QStringLiteral("/dev/ttyACM0"), both, {}, QStringLiteral("2341:0043"));
    EXPECT_TRUE(held.contains(QStringLiteral("ModemManager (process 812) holds the port"))) << held.toStdString();
    EXPECT_TRUE(held.contains(
        QStringLiteral(R"(ATTRS{idVendor}=="2341", ATTRS{idProduct}=="0043", ENV{ID_MM_DEVICE_IGNORE}="1")")));
    EXPECT_TRUE(held.contains(QStringLiteral("sudo systemctl stop ModemManager")));
    EXPECT_FALSE(held.contains(QLatin1Char('\n')) || held.contains(QStringLiteral("minicom")));
    // Root's ModemManager hides its open files: that it runs is still said.
    const QString hidden = CPortOpenFailure::BusyText(QStringLiteral("/dev/ttyACM0"), {},
                                                      holders.Running(QStringLiteral("ModemManager")), QString());
    EXPECT_TRUE(hidden.contains(QStringLiteral("perhaps ModemManager (process 812)"))) << hidden.toStdString();
    EXPECT_TRUE(hidden.contains(QStringLiteral(R"(KERNEL=="ttyACM0", ENV{ID_MM_DEVICE_IGNORE}="1")")));
}

TEST(PortHolders, APortHeldByAnotherProcessNamesIt)
{
    PtyPair pty;
    const QByteArray device = QFile::encodeName(pty.SlavePath());
    int ready[2] = {-1, -1};
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    // A child process named torv-holder holds the device open and locked
    // until it is killed. Only async-signal-safe calls in the child of a
    // threaded process.
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY);
        ::prctl(PR_SET_NAME, "torv-holder", 0, 0, 0);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(ready[1], "1", 1) == 1)
            ::pause();
        ::_exit(1);
    }
    const auto reap = qScopeGuard([&] {
        if (holder > 0 && ::kill(holder, SIGKILL) == 0)
            ::waitpid(holder, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
    });
    pollfd locked {ready[0], POLLIN, 0};
    ASSERT_TRUE(holder > 0 && ::poll(&locked, 1, 20000) == 1) << "the child process did not take the port";

    CSerialPort port;
    ASSERT_FALSE(port.Open(pty.SlavePath(), 19200));
    ASSERT_EQ(port.LastError(), EBUSY);
    const QString text = CPortOpenFailure::Text(pty.SlavePath(), port.LastError(), port.LastErrorText());
    EXPECT_TRUE(text.contains(QStringLiteral("torv-holder (process %1) holds the port").arg(holder)))
        << text.toStdString();
}
