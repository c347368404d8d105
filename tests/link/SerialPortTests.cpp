#include "LinkTestSupport.h"

#include "common/WaitFor.h"
#include "link/CCrc16.h"
#include "link/CPageBytesCollectorSynchro.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <termios.h>

namespace {

using Bytes = std::vector<uint8_t>;

// Captures the lines written to the "torv.link" log.
class LinkLogCapture {
public:
    LinkLogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LinkLogCapture::Handle);
    }
    ~LinkLogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList Lines() { return s_lines; }

private:
    static void Handle(QtMsgType, const QMessageLogContext& context, const QString& text)
    {
        if (context.category != nullptr && QByteArray(context.category) == "torv.link")
            s_lines << text;
    }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

termios MasterView(const PtyPair& pty)
{
    termios tio {};
    EXPECT_EQ(tcgetattr(pty.Master(), &tio), 0);
    return tio;
}

}

TEST(SerialPort, DevicePathMapsComNamesToSerialDevices)
{
    EXPECT_EQ(CSerialPort::DevicePath("COM1:"), "/dev/ttyS0");
    EXPECT_EQ(CSerialPort::DevicePath("COM3:"), "/dev/ttyS2");
    EXPECT_EQ(CSerialPort::DevicePath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(CSerialPort::DevicePath("/dev/pts/4"), "/dev/pts/4");
    EXPECT_EQ(CSerialPort::DevicePath("COM0:"), "COM0:");
    EXPECT_EQ(CSerialPort::DevicePath("COMX:"), "COMX:");
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
        const termios tio = MasterView(pty);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << speed;
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(seen.other, code == B0) << speed;
        if (code != B0) {
            EXPECT_EQ(cfgetospeed(&tio), code) << speed;
            EXPECT_EQ(cfgetispeed(&tio), code) << speed;
        }
    }
}

TEST(SerialPort, NegativeBaudKeepsTheFramingAndSetsOnlyTheSpeed)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    // Mark the line with settings a raw 8N1 open clears (a pseudo-terminal
    // keeps these; it forces parity off by itself).
    termios tio = MasterView(pty);
    tio.c_cflag |= CSTOPB;
    tio.c_iflag |= IXOFF;
    ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &tio), 0);
    const auto marked = [&] {
        const termios now = MasterView(pty);
        return (now.c_cflag & CSTOPB) != 0 && (now.c_iflag & IXOFF) != 0;
    };
    ASSERT_TRUE(marked());

    ASSERT_TRUE(port.Open(pty.SlavePath(), -115200));
    EXPECT_EQ(port.LinkSpeed(), -115200);
    EXPECT_EQ(ReadSlaveSpeed(pty.Master()).speed, 115200u);
    EXPECT_TRUE(marked());

    ASSERT_TRUE(port.Open(pty.SlavePath(), -128000));
    EXPECT_EQ(ReadSlaveSpeed(pty.Master()).speed, 128000u);
    EXPECT_TRUE(marked());

    ASSERT_TRUE(port.Open(pty.SlavePath(), -9600));
    EXPECT_EQ(ReadSlaveSpeed(pty.Master()).speed, 9600u);
    EXPECT_EQ(cfgetispeed(&(tio = MasterView(pty))), static_cast<speed_t>(B9600));
    EXPECT_TRUE(marked());

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
    EXPECT_FALSE(port.IsOpen());
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
    // Reopening an open port closes it first and works.
    ASSERT_TRUE(port.Open(pty.SlavePath(), 38400));

    CSynchroBytesCollector first(port);
    CSynchroBytesCollector second(port);
    port.SetCollector(&first);
    port.SendFrame('r', 'e', 0x40);
    const Bytes request = pty.Read(5);
    ASSERT_EQ(request, (Bytes { 'M', 'r', 'e', 0x40, 0x64 }));
    pty.Write(ScriptedDevice::ShortAnswer({ 'M', 'r', 'e', 0x40, 0x64 }, 0x11));
    ASSERT_TRUE(first.Wait(5000));

    port.SetCollector(&second);
    port.SendFrame('r', 'e', 0x41);
    pty.Read(5);
    pty.Write(ScriptedDevice::ShortAnswer({ 'M', 'r', 'e', 0x41, 0x65 }, 0x22));
    ASSERT_TRUE(second.Wait(5000));
    EXPECT_EQ(second.Window()[6], 0x22);
    EXPECT_EQ(first.Window()[6], 0x11);
    EXPECT_EQ(first.Window()[3], 0x40);

    // Between exchanges the default collector swallows everything.
    port.ResetCollector();
    pty.Write(ScriptedDevice::ShortAnswer({ 'M', 'r', 'e', 0x41, 0x65 }, 0x33));
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
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    auto closer = std::async(std::launch::async, [&] { return port.Close(); });
    ASSERT_EQ(closer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(closer.get());
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_LT(pty.Pending(), static_cast<int>(big.size()));

    // A write on the closed port sends nothing.
    const int before = pty.Pending();
    port.SendFrame('s', 'e', 't');
    EXPECT_EQ(pty.Pending(), before);
}

TEST(SerialPort, ReaderEndsWhenTheOtherSideHangsUp)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    pty.CloseMaster();
    auto closer = std::async(std::launch::async, [&] { return port.Close(); });
    ASSERT_EQ(closer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

TEST(SynchroExchange, GetResponseReturnsTheAnswerOrLogsTheFailure)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    ScriptedDevice device(pty, [](const std::array<uint8_t, 5>& frame) {
        if (frame[1] == 's')
            return ScriptedDevice::ShortAnswer(frame, 'O');
        return Bytes(frame.begin(), frame.end());  // echo only: no answer
    });
    CSynchroBytesCollector c(port);
    port.SetCollector(&c);

    uint8_t value = 0;
    EXPECT_TRUE(c.GetResponse('s', 'e', 't', value, 2000));
    EXPECT_EQ(value, 'O');

    LinkLogCapture log;
    value = 0x77;
    EXPECT_FALSE(c.GetResponse('r', 'e', 0x40, value, 50));
    EXPECT_EQ(value, 0x77);
    EXPECT_EQ(LinkLogCapture::Lines(), (QStringList {
        "CSynchroBytesCollector::GetResponse(r, 0x65, 0x40) failed after 50 mSec",
        "5 bytes received: 0x4d 0x72 0x65 0x40 0x64 ",
    }));
    port.ResetCollector();
}

TEST(SynchroExchange, RangeReadCopiesTheBlockData)
{
    PtyPair pty;
    CSerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath(), 19200));
    ScriptedDevice device(pty, [](const std::array<uint8_t, 5>& frame) {
        Bytes answer(frame.begin(), frame.end());
        answer.push_back('M');
        for (int cell = frame[2]; cell <= frame[3]; ++cell)
            answer.push_back(static_cast<uint8_t>(cell ^ 0xA5));
        const uint16_t crc = CCrc16::Compute(answer.data() + 5, answer.size() - 5);
        answer.push_back(crc & 0xFF);
        answer.push_back(crc >> 8);
        return answer;
    });
    CPageBytesCollectorSynchro c(port, 256);
    port.SetCollector(&c);
    Bytes cells(256, 0);
    ASSERT_TRUE(c.RangeRead(0, 255, cells.data(), 2000));
    for (int cell = 0; cell < 256; ++cell)
        ASSERT_EQ(cells[cell], cell ^ 0xA5) << cell;
    port.ResetCollector();
}
