#include "LinkTestSupport.h"

#include "common/CategoryTrace.h"
#include "common/WaitFor.h"
#include "link/CLineSpeed.h"
#include "link/CPortSetup.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <future>
#include <iterator>
#include <vector>
#include <termios.h>

namespace {

termios MasterView(const PtyPair& pty)
{
    termios tio {};
    EXPECT_EQ(tcgetattr(pty.Master(), &tio), 0);
    return tio;
}

// The device side of one exchange: reads the 5-byte frame and answers it.
std::future<void> AnswerOnce(const PtyPair& pty, std::function<Bytes(const Bytes&)> answer)
{
    return std::async(std::launch::async, [&pty, answer] { pty.Write(answer(pty.Read(5))); });
}

}

TEST(SerialPort, DevicePathMapsComNamesToSerialDevices)
{
    EXPECT_EQ(CSerialPort::DevicePath("COM1:"), "/dev/ttyS0");
    EXPECT_EQ(CSerialPort::DevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(CSerialPort::DevicePath("/dev/pts/4"), "/dev/pts/4");
    EXPECT_EQ(CSerialPort::DevicePath("COM0:"), "COM0:");
}

TEST(SerialPort, OpenSetsTheSpeedExactlyOnARaw8N1LineWhateverItsSign)
{
    // A fresh pseudo-terminal starts cooked (canonical, echo, output
    // processing), like a serial device nobody has set up yet; it is cooked
    // again before every open of the same port.
    PtyPair pty;
    termios cooked = MasterView(pty);
    ASSERT_NE(cooked.c_lflag & (ICANON | ECHO), 0u);
    cooked.c_cflag |= CSTOPB;
    cooked.c_iflag |= IXOFF;
    CSerialPort port;
    // The listed speeds, the other standard rates a typed Speed may name, and
    // negative speeds, which mark the user's default choice.
    std::vector<int> speeds(std::begin(CPortSetup::kSpeeds), std::end(CPortSetup::kSpeeds));
    speeds.insert(speeds.end(), {50, 75, 110, 134, 150, 200, 300, 600, 1800, 500000, 576000, 921600, 1000000,
                                 -115200, -128000, -9600});
    for (int speed : speeds) {
        SCOPED_TRACE(speed);
        ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &cooked), 0);
        ASSERT_TRUE(port.Open(pty.SlavePath(), speed)) << port.LastErrorText().toStdString();
        EXPECT_EQ(port.LinkSpeed(), speed);
        EXPECT_EQ(SlaveSpeed(pty.Master()), static_cast<unsigned>(std::abs(speed)));
        const termios tio = MasterView(pty);
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
                  static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);

        // Bytes that a cooked line would swallow or rewrite arrive as sent.
        CSynchroBytesCollector collector(port);
        const CurrentCollector current(port, collector);
        const Bytes frame { 'M', 'r', 'e', '\r', static_cast<uint8_t>('M' + 'r' + 'e' + '\r') };
        port.SendFrame('r', 'e', '\r');
        EXPECT_EQ(pty.Read(5), frame);
        pty.Write(ShortAnswer(frame, 0x03));  // 0x03 would be an interrupt
        EXPECT_TRUE(collector.Wait(5000));
    }
}

TEST(SerialPort, OpenFailuresKeepTheSystemError)
{
    CSerialPort port;
    EXPECT_FALSE(port.Open("/dev/torv-no-such-tty", 19200));
    EXPECT_EQ(port.LastError(), ENOENT);
    EXPECT_FALSE(port.Close());

    Link held;
    EXPECT_FALSE(port.Open(held.pty.SlavePath(), 19200));
    EXPECT_EQ(port.LastError(), EBUSY);
    EXPECT_TRUE(held.port.Close());
    EXPECT_TRUE(port.Open(held.pty.SlavePath(), 19200));

    // Not a terminal, or no speed to set: refused with the reason, nothing left open.
    EXPECT_TRUE(port.Close());
    CSerialPort other;
    EXPECT_FALSE(other.Open("/dev/null", 19200));
    EXPECT_EQ(other.LastError(), ENOTTY);
    EXPECT_FALSE(other.Open(held.pty.SlavePath(), 0));
    EXPECT_EQ(other.LastError(), EINVAL);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(CLineSpeed::SetExact(-1, 56000), EBADF);
    EXPECT_EQ(CLineSpeed::SetExact(-1, 0), EINVAL);
}

TEST(SerialPort, BytesTravelBothWaysAndOnlyTheCurrentCollectorGetsThem)
{
    Link link;
    ASSERT_TRUE(link.port.Open(link.pty.SlavePath(), 38400));  // reopening closes first
    CSynchroBytesCollector first(link.port);
    CSynchroBytesCollector second(link.port);
    const CurrentCollector current(link.port, first);
    link.port.SendFrame('r', 'e', 0x40);
    const Bytes request = link.pty.Read(5);
    ASSERT_EQ(request, (Bytes { 'M', 'r', 'e', 0x40, 0x64 }));
    link.pty.Write(ShortAnswer(request, 0x11));
    ASSERT_TRUE(first.Wait(5000));

    link.port.SetCollector(&second);
    link.port.SendFrame('r', 'e', 0x41);
    link.pty.Write(ShortAnswer(link.pty.Read(5), 0x22));
    ASSERT_TRUE(second.Wait(5000));
    EXPECT_EQ(second.Window()[6], 0x22);
    EXPECT_EQ(Bytes(first.Window(), first.Window() + 8), ShortAnswer(request, 0x11));
    EXPECT_TRUE(link.port.Close());
    EXPECT_FALSE(link.port.Close());
}

TEST(SerialPort, CloseReleasesAWriteBlockedOnAFullLine)
{
    Link link;
    const Bytes big(1 << 20, 0x55);
    auto writer = std::async(std::launch::async, [&] { link.port.Write(big.data(), big.size()); });
    ASSERT_TRUE(WaitFor([&] { return link.pty.Pending() > 0; }));

    auto closer = std::async(std::launch::async, [&] { return link.port.Close(); });
    ASSERT_EQ(closer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(closer.get());
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const int pending = link.pty.Pending();
    EXPECT_LT(pending, static_cast<int>(big.size()));  // released, not finished
    link.port.SendFrame('s', 'e', 't');  // a closed port sends nothing
    EXPECT_EQ(link.pty.Pending(), pending);

    // A hang-up of the other side ends the reader; Close still returns.
    ASSERT_TRUE(link.port.Open(link.pty.SlavePath(), 19200));
    link.pty.CloseMaster();
    EXPECT_TRUE(link.port.Close());
}

TEST(SynchroExchange, GetResponseReturnsTheAnswerOrLogsTheFailure)
{
    Link link;
    CSynchroBytesCollector c(link.port);
    const CurrentCollector current(link.port, c);
    uint8_t value = 0;
    auto device = AnswerOnce(link.pty, [](const Bytes& frame) { return ShortAnswer(frame, 'O'); });
    EXPECT_TRUE(c.GetResponse('s', 'e', 't', value, 5000));
    EXPECT_EQ(value, 'O');
    device.get();

    const CategoryTrace trace("torv.link");
    value = 0x77;
    device = AnswerOnce(link.pty, [](const Bytes& frame) { return frame; });  // echo only
    EXPECT_FALSE(c.GetResponse('r', 'e', 0x40, value, 100));
    device.get();
    EXPECT_EQ(value, 0x77);
    ASSERT_EQ(trace.lines.size(), 2);
    EXPECT_EQ(trace.lines[0], "CSynchroBytesCollector::GetResponse(r, 0x65, 0x40) failed after 100 mSec");
    // The echo normally arrives within the limit; this line lists what came.
    EXPECT_TRUE(trace.lines[1] == "5 bytes received: 0x4d 0x72 0x65 0x40 0x64 " || trace.lines[1] == "0 bytes received: ")
        << trace.lines[1].toStdString();
}
