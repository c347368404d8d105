#include "LinkTestSupport.h"

#include "app/CTorvMessage.h"
#include "common/WaitFor.h"
#include "link/CCrc16.h"
#include "link/CPageBytesCollectorNotify.h"
#include "link/CSerialPort.h"
#include "link/CUploadBytesCollector.h"
#include "link/CUploadCollectorNotify.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <numeric>
#include <thread>

namespace {

const int kByteIn = TorvMessages::ByteIn();
// Long enough for a time-out notice to have shown up, were one coming.
constexpr int kQuietMs = 300;

// A serial port opened on a fresh pseudo-terminal, with a message target.
struct Link {
    PtyPair pty;
    CSerialPort port;
    MessageSink sink;
    Link() { EXPECT_TRUE(port.Open(pty.SlavePath(), 115200)) << port.LastErrorText().toStdString(); }
    ~Link() { port.ResetCollector(); }
};

}

TEST(PageNotifyCollector, TimeOutPostsByteInZeroOnceAndResetCancelsIt)
{
    CSerialPort closedPort;
    MessageSink sink;
    CPageBytesCollectorNotify c(closedPort, 264, &sink);
    EXPECT_EQ(c.Capacity(), 272u);
    c.RequestPage(5, 20);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 0) == 1; }));
    EXPECT_EQ(sink.messages[0].lParam, 0u);
    EXPECT_FALSE(sink.MoreWithin(1, kQuietMs));

    c.RequestPage(6, 20);
    c.Reset();
    EXPECT_FALSE(sink.MoreWithin(1, kQuietMs));
}

TEST(PageNotifyCollector, AnswerFromTheReaderThreadArrivesAndSuppressesTheTimeOut)
{
    Link link;
    CPageBytesCollectorNotify c(link.port, 264, &link.sink);
    link.port.SetCollector(&c);

    c.RequestPage(0x0102, 150);
    const Bytes request = link.pty.Read(5);
    ASSERT_EQ(request, (Bytes { 'M', 'l', 0x02, 0x01, static_cast<uint8_t>('M' + 'l' + 0x02 + 0x01) }));
    link.pty.Write(BlockAnswer(request, Pattern(264, 1)));

    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 1) == 1; }));
    const auto* data = reinterpret_cast<const uint8_t*>(link.sink.messages[0].lParam);
    EXPECT_EQ(data, c.Window() + 6);
    EXPECT_EQ(Bytes(data, data + 264), Pattern(264, 1));
    EXPECT_FALSE(link.sink.MoreWithin(1, kQuietMs));
}

TEST(PageNotifyCollector, ALateStopOfOneRequestDoesNotCancelTheNextTimeOut)
{
    Link link;
    CPageBytesCollectorNotify c(link.port, 16, &link.sink);
    link.port.SetCollector(&c);

    c.RequestPage(1, 5000);
    link.pty.Write(BlockAnswer(link.pty.Read(5), Pattern(16, 2)));
    // Wait for the completion on the reader thread without running the
    // event loop, so that its stop of the timer is still queued...
    QDeadlineTimer deadline(5000);
    while (c.TimeoutArmed() && !deadline.hasExpired())
        std::this_thread::yield();
    ASSERT_FALSE(c.TimeoutArmed());
    // ...when the next request starts its own time-out, which must expire.
    c.RequestPage(2, 30);
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 0) == 1; }));
    EXPECT_EQ(link.sink.Count(kByteIn, 1), 1u);
}

TEST(UploadCollectorNotify, SendsTheBlockCrcHighFirstAndCompletesOnTheAcknowledgement)
{
    Link link;
    CUploadCollectorNotify c(link.port, 144, &link.sink);
    EXPECT_EQ(c.Capacity(), 151u);
    link.port.SetCollector(&c);

    const Bytes block = Pattern(144, 3);
    c.BlockSend(block.data());
    const Bytes frame = link.pty.Read(148);
    ASSERT_EQ(frame.size(), 148u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 2), (Bytes { 'M', 'f' }));
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 146), block);
    const uint16_t crc = CCrc16::Compute(frame.data(), 146);
    EXPECT_EQ(frame[146], crc >> 8);
    EXPECT_EQ(frame[147], crc & 0xFF);

    link.pty.Write({ 'M', 'O', 0x9C });  // alone it does not fill the window
    EXPECT_FALSE(link.sink.MoreWithin(0, 100));
    Bytes echoAndAck = frame;
    echoAndAck.insert(echoAndAck.end(), { 'M', 'O', 0x9C });
    link.pty.Write(echoAndAck);
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(link.sink.messages[0].lParam, 0u);
}

TEST(UploadBytesCollector, CompletesOnTheFullEchoOfThePageWriteOrTimesOut)
{
    Link link;
    CUploadBytesCollector c(link.port, 272, &link.sink);
    link.port.SetCollector(&c);

    const Bytes page = Pattern(264, 4);
    c.SendPage(0x0201, page.data(), 2000);
    const Bytes frame = link.pty.Read(269);
    ASSERT_EQ(frame.size(), 269u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes { 'M', 'u', 0x01, 0x02 }));
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 268), page);
    EXPECT_EQ(frame[268], static_cast<uint8_t>(std::accumulate(frame.begin(), frame.begin() + 268, 0u)));

    link.pty.Write(Bytes(frame.begin(), frame.end() - 1));
    EXPECT_FALSE(link.sink.MoreWithin(0, 100));
    link.pty.Write({ frame.back() });
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(link.sink.messages[0].lParam, reinterpret_cast<quintptr>(c.Window() + 6));

    c.SendPage(0x0202, page.data(), 20);
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 0) == 1; }));
}
