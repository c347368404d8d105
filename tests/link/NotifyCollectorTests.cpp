#include "LinkTestSupport.h"

#include "base/CTorvMessage.h"
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

}

TEST(PageNotifyCollector, TimeOutPostsByteInZeroOnceAndResetCancelsIt)
{
    CSerialPort closedPort;
    MessageSink sink;
    CPageBytesCollectorNotify c(closedPort, 264, &sink);
    c.RequestPage(5, 20);
    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 0) == 1; }));
    EXPECT_EQ(sink.messages[0].lParam, 0u);
    EXPECT_FALSE(sink.MoreWithin(1, kQuietMs));

    c.RequestPage(6, 20);
    c.Reset();
    EXPECT_FALSE(sink.MoreWithin(1, kQuietMs));
}

TEST(PageNotifyCollector, AnswerFromTheReaderThreadArrivesAndOnlyTheNextRequestTimesOut)
{
    Link link;
    CPageBytesCollectorNotify c(link.port, 264, &link.sink);
    const CurrentCollector current(link.port, c);

    c.RequestPage(0x0102, 150);
    const Bytes request = link.pty.Read(5);
    ASSERT_EQ(request, (Bytes { 'M', 'l', 0x02, 0x01, static_cast<uint8_t>('M' + 'l' + 0x02 + 0x01) }));
    link.pty.Write(BlockAnswer(request, Pattern(264, 1)));
    // Wait for the completion on the reader thread without running the event
    // loop, so that its stop of the time-out is still queued when the next
    // request starts a time-out of its own: that one must still expire, and
    // the first must not.
    QDeadlineTimer deadline(5000);
    while (c.TimeoutArmed() && !deadline.hasExpired())
        std::this_thread::yield();
    ASSERT_FALSE(c.TimeoutArmed());
    EXPECT_EQ(Bytes(c.PageData(), c.PageData() + 264), Pattern(264, 1));
    c.RequestPage(2, 30);

    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 0) == 1; }));
    EXPECT_FALSE(link.sink.MoreWithin(link.sink.messages.size(), kQuietMs));
    ASSERT_EQ(link.sink.Count(kByteIn, 1), 1u);
    EXPECT_EQ(link.sink.messages[0].wParam, 1u);
    EXPECT_EQ(link.sink.messages[0].lParam, reinterpret_cast<quintptr>(c.Window() + 6));
}

TEST(UploadCollectorNotify, SendsTheBlockCrcHighFirstAndCompletesOnTheAcknowledgement)
{
    Link link;
    CUploadCollectorNotify c(link.port, 144, &link.sink);
    const CurrentCollector current(link.port, c);

    const Bytes block = Pattern(144, 3);
    c.BlockSend(block.data());
    Bytes frame { 'M', 'f' };
    frame.insert(frame.end(), block.begin(), block.end());
    const uint16_t crc = CCrc16::Compute(frame.data(), frame.size());
    frame.insert(frame.end(), { static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF) });
    ASSERT_EQ(link.pty.Read(148), frame);

    // Each write is taken in before the next goes out: the reader would
    // drop a chunk of both together, as longer than the window.
    const auto takenIn = [&c](const char* tail) {
        return WaitFor([&] { return c.DumpInline().endsWith(QLatin1String(tail)); });
    };
    link.pty.Write({ 'M', 'O', 0x9C });  // alone it does not fill the window
    ASSERT_TRUE(takenIn("3 bytes in pool: 0x4d 0x4f 0x9c\r\n"));
    Bytes badSum = frame;
    badSum.insert(badSum.end(), { 'M', 'O', 0x00 });
    link.pty.Write(badSum);  // the acknowledgement's sum is checked
    ASSERT_TRUE(takenIn(" 0x4d 0x4f 0x00\r\n"));
    EXPECT_FALSE(link.sink.MoreWithin(0, 100));
    frame.insert(frame.end(), { 'M', 'O', 0x9C });
    link.pty.Write(frame);  // echo and acknowledgement
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(link.sink.messages[0].lParam, 0u);
    EXPECT_EQ(link.sink.messages[0].payload, frame);
}

TEST(UploadBytesCollector, CompletesOnTheFullEchoOfThePageWriteOrTimesOut)
{
    Link link;
    CUploadBytesCollector c(link.port, 272, &link.sink);
    const CurrentCollector current(link.port, c);

    const Bytes page = Pattern(264, 4);
    c.SendPage(0x0201, page.data(), 2000);
    Bytes frame { 'M', 'u', 0x01, 0x02 };
    frame.insert(frame.end(), page.begin(), page.end());
    frame.push_back(static_cast<uint8_t>(std::accumulate(frame.begin(), frame.end(), 0u)));
    ASSERT_EQ(link.pty.Read(269), frame);

    link.pty.Write(Bytes(frame.begin(), frame.end() - 1));
    EXPECT_FALSE(link.sink.MoreWithin(0, 100));
    link.pty.Write({ frame.back() });
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 1) == 1; }));
    EXPECT_EQ(link.sink.messages[0].lParam, reinterpret_cast<quintptr>(c.Window() + 6));

    c.SendPage(0x0202, page.data(), 20);
    ASSERT_TRUE(WaitFor([&] { return link.sink.Count(kByteIn, 0) == 1; }));
}

TEST(NotifyCollectors, TheCompletionMessageCarriesACopyThatLaterBytesDoNotChange)
{
    // The reader thread delivers the answer and then more bytes before the
    // user-interface thread gets to the message: the window has moved on,
    // the message's payload has not.
    CSerialPort closedPort;
    MessageSink sink;
    CPageBytesCollectorNotify page(closedPort, 264, &sink);
    CUploadBytesCollector upload(closedPort, 272, &sink);

    const Bytes request { 'M', 'l', 0x05, 0x00, static_cast<uint8_t>('M' + 'l' + 0x05) };
    const Bytes pageAnswer = BlockAnswer(request, Pattern(264, 7));
    Bytes echo { 'M', 'u', 0x01, 0x00 };
    const Bytes data = Pattern(264, 9);
    echo.insert(echo.end(), data.begin(), data.end());
    echo.push_back(static_cast<uint8_t>(std::accumulate(echo.begin(), echo.end(), 0u)));

    const Bytes trailing(8, 0xEE);
    page.AddBytes(pageAnswer.data(), pageAnswer.size());
    page.AddBytes(trailing.data(), trailing.size());
    upload.AddBytes(echo.data(), echo.size());
    upload.AddBytes(trailing.data(), 3);

    ASSERT_TRUE(WaitFor([&] { return sink.Count(kByteIn, 1) == 2; }));
    EXPECT_EQ(sink.messages[0].payload, Bytes(pageAnswer.begin(), pageAnswer.begin() + 6 + 264));
    EXPECT_EQ(sink.messages[1].payload, echo);
    EXPECT_NE(Bytes(page.PageData(), page.PageData() + 264), Pattern(264, 7)) << "the window did move on";
}
