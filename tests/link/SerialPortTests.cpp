#include "LinkTestSupport.h"

#include "common/WaitFor.h"
#include "link/CPageBytesCollectorSynchro.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <termios.h>

namespace {

QStringList g_linkLog;
void CaptureLinkLog(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (context.category != nullptr && QByteArray(context.category) == "torv.link")
        g_linkLog << text;
}

termios MasterView(const PtyPair& pty)
{
    termios tio {};
    EXPECT_EQ(tcgetattr(pty.Master(), &tio), 0);
    return tio;
}

// The device side of one exchange: reads the 5-byte frame, writes back what
// the answer function makes of it.
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

TEST(SerialPort, OpenSetsEverySetupSpeedExactlyWithRaw8N1)
{
    PtyPair pty;
    CSerialPort port;
    // B0 marks the speeds without a classic constant.
    const std::pair<int, speed_t> speeds[] = {
        { 1200, B1200 }, { 2400, B2400 }, { 4800, B4800 }, { 9600, B9600 }, { 19200, B19200 },
        { 38400, B38400 }, { 56000, B0 }, { 57600, B57600 }, { 115200, B115200 }, { 128000, B0 },
        { 230400, B230400 }, { 256000, B0 }, { 460800, B460800 },
    };
    for (const auto& [speed, code] : speeds) {
        ASSERT_TRUE(port.Open(pty.SlavePath(), speed)) << speed << ": " << port.LastErrorText().toStdString();
        EXPECT_EQ(port.LinkSpeed(), speed);
        const SlaveSpeed seen = ReadSlaveSpeed(pty.Master());
        EXPECT_EQ(seen.speed, static_cast<unsigned>(speed));
        EXPECT_EQ(seen.other, code == B0) << speed;
        const termios tio = MasterView(pty);
        if (code != B0) {
            EXPECT_EQ(cfgetospeed(&tio), code) << speed;
            EXPECT_EQ(cfgetispeed(&tio), code) << speed;
        }
        EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
                  static_cast<tcflag_t>(CS8 | CLOCAL | CREAD)) << speed;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    }
}

TEST(SerialPort, NegativeBaudKeepsTheFramingAndSetsOnlyTheSpeed)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    // Mark the line with settings that a raw 8N1 open clears (a
    // pseudo-terminal keeps these; it forces parity off by itself).
    termios tio = MasterView(pty);
    tio.c_cflag |= CSTOPB;
    tio.c_iflag |= IXOFF;
    ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &tio), 0);
    const auto marked = [&] {
        const termios now = MasterView(pty);
        return (now.c_cflag & CSTOPB) != 0 && (now.c_iflag & IXOFF) != 0;
    };
    ASSERT_TRUE(marked());

    for (int speed : { 115200, 128000, 9600 }) {
        ASSERT_TRUE(port.Open(pty.SlavePath(), -speed));
        EXPECT_EQ(port.LinkSpeed(), -speed);
        EXPECT_EQ(ReadSlaveSpeed(pty.Master()).speed, static_cast<unsigned>(speed));
        EXPECT_TRUE(marked()) << speed;
    }
    EXPECT_EQ(cfgetispeed(&(tio = MasterView(pty))), static_cast<speed_t>(B9600));

    ASSERT_TRUE(port.Open(pty.SlavePath(), 9600));
    EXPECT_FALSE(marked());

    // Zero names no speed at all: refused rather than hanging the line up.
    EXPECT_FALSE(port.Open(pty.SlavePath(), 0));
    EXPECT_EQ(port.LastError(), EINVAL);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, OpenFailuresKeepTheSystemError)
{
    CSerialPort port;
    EXPECT_FALSE(port.Open("/dev/torv-no-such-tty", 19200));
    EXPECT_EQ(port.LastError(), ENOENT);
    EXPECT_EQ(port.LastErrorText().toStdString(), std::string(strerror(ENOENT)));
    EXPECT_FALSE(port.Close());

    PtyPair pty;
    CSerialPort holder;
    ASSERT_TRUE(holder.Open(pty.SlavePath(), 19200));
    EXPECT_FALSE(port.Open(pty.SlavePath(), 19200));
    EXPECT_EQ(port.LastError(), EBUSY);
    EXPECT_TRUE(holder.Close());
    EXPECT_TRUE(port.Open(pty.SlavePath(), 19200));
}

TEST(SerialPort, BytesTravelBothWaysAndOnlyTheCurrentCollectorGetsThem)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    ASSERT_TRUE(port.Open(pty.SlavePath(), 38400));  // reopening closes first

    CSynchroBytesCollector first(port);
    CSynchroBytesCollector second(port);
    port.SetCollector(&first);
    port.SendFrame('r', 'e', 0x40);
    const Bytes request = pty.Read(5);
    ASSERT_EQ(request, (Bytes { 'M', 'r', 'e', 0x40, 0x64 }));
    pty.Write(ShortAnswer(request, 0x11));
    ASSERT_TRUE(first.Wait(5000));

    port.SetCollector(&second);
    port.SendFrame('r', 'e', 0x41);
    pty.Write(ShortAnswer(pty.Read(5), 0x22));
    ASSERT_TRUE(second.Wait(5000));
    EXPECT_EQ(second.Window()[6], 0x22);
    EXPECT_EQ(Bytes(first.Window(), first.Window() + 8), ShortAnswer(request, 0x11));

    // Between exchanges the default collector swallows everything.
    port.ResetCollector();
    pty.Write(ShortAnswer(request, 0x33));
    port.SetCollector(&second);
    EXPECT_EQ(second.Length(), 0u);
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Close());
}

TEST(SerialPort, CloseReleasesAWriteBlockedOnAFullLine)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    const Bytes big(1 << 20, 0x55);
    auto writer = std::async(std::launch::async, [&] { port.Write(big.data(), big.size()); });
    ASSERT_TRUE(WaitFor([&] { return pty.Pending() > 0; }));

    auto closer = std::async(std::launch::async, [&] { return port.Close(); });
    ASSERT_EQ(closer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(closer.get());
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LT(pty.Pending(), static_cast<int>(big.size()));  // released, not finished

    const int before = pty.Pending();
    port.SendFrame('s', 'e', 't');  // a closed port sends nothing
    EXPECT_EQ(pty.Pending(), before);

    // A hang-up of the other side ends the reader; Close still returns.
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    pty.CloseMaster();
    EXPECT_TRUE(port.Close());
}

TEST(SynchroExchange, GetResponseReturnsTheAnswerOrLogsTheFailure)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    CSynchroBytesCollector c(port);
    port.SetCollector(&c);

    uint8_t value = 0;
    auto device = AnswerOnce(pty, [](const Bytes& frame) { return ShortAnswer(frame, 'O'); });
    EXPECT_TRUE(c.GetResponse('s', 'e', 't', value, 5000));
    EXPECT_EQ(value, 'O');
    device.get();

    g_linkLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(&CaptureLinkLog);
    value = 0x77;
    device = AnswerOnce(pty, [](const Bytes& frame) { return frame; });  // echo only
    EXPECT_FALSE(c.GetResponse('r', 'e', 0x40, value, 100));
    qInstallMessageHandler(previous);
    device.get();
    EXPECT_EQ(value, 0x77);
    ASSERT_EQ(g_linkLog.size(), 2);
    EXPECT_EQ(g_linkLog[0], "CSynchroBytesCollector::GetResponse(r, 0x65, 0x40) failed after 100 mSec");
    // The echo normally arrives within the limit; this line lists what came.
    EXPECT_TRUE(g_linkLog[1] == "5 bytes received: 0x4d 0x72 0x65 0x40 0x64 " || g_linkLog[1] == "0 bytes received: ")
        << g_linkLog[1].toStdString();
    port.ResetCollector();
}

TEST(SynchroExchange, RangeReadCopiesTheBlockData)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    CPageBytesCollectorSynchro c(port, 256);
    port.SetCollector(&c);
    auto device = AnswerOnce(pty, [](const Bytes& frame) { return BlockAnswer(frame, Pattern(256, 9)); });
    Bytes cells(256, 0);
    ASSERT_TRUE(c.RangeRead(0, 255, cells.data(), 5000));
    EXPECT_EQ(cells, Pattern(256, 9));
    device.get();
    port.ResetCollector();
}
