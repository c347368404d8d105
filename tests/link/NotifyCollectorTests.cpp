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

using Bytes = std::vector<uint8_t>;
const int kByteIn = TorvMessages::ByteIn();

// Long enough for a lost time-out notice to have shown up, were one coming.
constexpr int kQuietMs = 300;

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(i * 13 + seed);
    return data;
}

// The echo of a request frame followed by the block answer with the data.
Bytes EchoAndBlock(const Bytes& request, const Bytes& data)
{
    Bytes w = request;
    w.push_back('M');
    w.insert(w.end(), data.begin(), data.end());
    const uint16_t crc = CCrc16::Compute(w.data() + request.size(), data.size() + 1);
    w.push_back(crc & 0xFF);
    w.push_back(crc >> 8);
    return w;
}

// Runs the event loop for a while and reports whether a notice came.
bool AnyNoticeWithin(const MessageSink& sink, size_t already, int ms)
{
    return WaitFor([&] { return sink.messages.size() > already; }, ms);
}

// A serial port opened on a fresh pseudo-terminal.
struct OpenPort {
    PtyPair pty;
    CSerialPort port;
    OpenPort() { EXPECT_TRUE(port.Open(pty.SlavePath(), 115200)) << port.LastErrorText().toStdString(); }
};

}

TEST(PageNotifyCollector, TimeOutPostsByteInZeroOnce)
{
    CSerialPort closedPort;
    MessageSink sink;
    CPageBytesCollectorNotify c(closedPort, 264, &sink);
    EXPECT_EQ(c.Capacity(), 272u);
    c.RequestPage(5, 20);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 0) == 1; }));
    EXPECT_EQ(sink.messages[0].lParam, 0u);
    EXPECT_FALSE(c.TimeoutArmed());
    EXPECT_FALSE(AnyNoticeWithin(sink, 1, kQuietMs));
}

TEST(PageNotifyCollector, ResetStopsThePendingTimeOut)
{
    CSerialPort closedPort;
    MessageSink sink;
    CPageBytesCollectorNotify c(closedPort, 264, &sink);
    c.RequestPage(5, 20);
    c.Reset();
    EXPECT_FALSE(AnyNoticeWithin(sink, 0, kQuietMs));
}

TEST(PageNotifyCollector, AnswerFromTheReaderThreadArrivesAndSuppressesTheTimeOut)
{
    OpenPort link;
    MessageSink sink;
    CPageBytesCollectorNotify c(link.port, 264, &sink);
    link.port.SetCollector(&c);

    c.RequestPage(0x0102, 150);
    const Bytes request = link.pty.Read(5);
    const Bytes expected = { 'M', 'l', 0x02, 0x01, static_cast<uint8_t>('M' + 'l' + 0x02 + 0x01) };
    ASSERT_EQ(request, expected);
    link.pty.Write(EchoAndBlock(request, Pattern(264, 1)));

    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 1) == 1; }));
    const auto* data = reinterpret_cast<const uint8_t*>(sink.messages[0].lParam);
    EXPECT_EQ(data, c.Window() + 6);
    EXPECT_EQ(Bytes(data, data + 264), Pattern(264, 1));
    EXPECT_FALSE(AnyNoticeWithin(sink, 1, kQuietMs));
    link.port.ResetCollector();
}

TEST(PageNotifyCollector, ALateStopOfOneRequestDoesNotCancelTheNextTimeOut)
{
    OpenPort link;
    MessageSink sink;
    CPageBytesCollectorNotify c(link.port, 16, &sink);
    link.port.SetCollector(&c);

    c.RequestPage(1, 5000);
    const Bytes request = link.pty.Read(5);
    link.pty.Write(EchoAndBlock(request, Pattern(16, 2)));
    // Wait for the completion on the reader thread without running the
    // event loop, so its stop of the timer is still queued...
    QDeadlineTimer deadline(5000);
    while (c.TimeoutArmed() && !deadline.hasExpired())
        std::this_thread::yield();
    ASSERT_FALSE(c.TimeoutArmed());
    // ...when the next request starts its own time-out, which must expire.
    c.RequestPage(2, 30);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 0) == 1; }));
    EXPECT_EQ(sink.Count(kByteIn, 1), 1u);
    link.port.ResetCollector();
}

TEST(UploadCollectorNotify, SendsTheBlockWithItsCrcHighFirstAndCompletesOnTheAcknowledgement)
{
    OpenPort link;
    MessageSink sink;
    CUploadCollectorNotify c(link.port, 144, &sink);
    EXPECT_EQ(c.Capacity(), 151u);
    link.port.SetCollector(&c);

    const Bytes block = Pattern(144, 3);
    c.BlockSend(block.data());
    const Bytes frame = link.pty.Read(148);
    ASSERT_EQ(frame.size(), 148u);
    EXPECT_EQ(frame[0], 'M');
    EXPECT_EQ(frame[1], 'f');
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 146), block);
    const uint16_t crc = CCrc16::Compute(frame.data(), 146);
    EXPECT_EQ(frame[146], crc >> 8);
    EXPECT_EQ(frame[147], crc & 0xFF);

    // The acknowledgement alone does not fill the window.
    link.pty.Write({ 'M', 'O', 0x9C });
    EXPECT_FALSE(AnyNoticeWithin(sink, 0, 100));
    Bytes echoAndAck = frame;
    echoAndAck.insert(echoAndAck.end(), { 'M', 'O', 0x9C });
    link.pty.Write(echoAndAck);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(sink.messages[0].lParam, 0u);
    link.port.ResetCollector();
}

TEST(UploadBytesCollector, CompletesOnTheFullEchoOfThePageWriteOrTimesOut)
{
    OpenPort link;
    MessageSink sink;
    CUploadBytesCollector c(link.port, 272, &sink);
    link.port.SetCollector(&c);

    const Bytes page = Pattern(264, 4);
    c.SendPage(0x0201, page.data(), 2000);
    const Bytes frame = link.pty.Read(269);
    ASSERT_EQ(frame.size(), 269u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes { 'M', 'u', 0x01, 0x02 }));
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.begin() + 268), page);
    EXPECT_EQ(frame[268], static_cast<uint8_t>(std::accumulate(frame.begin(), frame.begin() + 268, 0u)));

    link.pty.Write(Bytes(frame.begin(), frame.begin() + 268));
    EXPECT_FALSE(AnyNoticeWithin(sink, 0, 100));
    link.pty.Write({ frame[268] });
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(sink.messages[0].lParam, reinterpret_cast<quintptr>(c.Window() + 6));
    EXPECT_FALSE(c.TimeoutArmed());

    c.SendPage(0x0202, page.data(), 20);
    link.pty.Read(269);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 0) == 1; }));
    link.port.ResetCollector();
}
