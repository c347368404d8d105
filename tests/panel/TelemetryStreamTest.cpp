#include "common/CSimulatedLink.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "link/CSerialPort.h"
#include "panel/CServoCollectorNotify.h"
#include "panel/CTelemetryStream.h"

#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QCoreApplication>::Register();

std::vector<uint8_t> Request(uint8_t servo)
{
    return {'M', 'T', '-', servo, static_cast<uint8_t>(0xCE + servo)};
}

// Waits for a condition without running the event loop, so that the
// stream's notifications stay queued meanwhile.
bool WaitQueued(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(20000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

class TelemetryStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(link.OpenPort(19200));
        // A busy machine must not turn slow answers into misses.
        stream.Collector().SetAnswerLimitMs(2000);
        QObject::connect(&stream, &CTelemetryStream::RecordHandled, &stream,
                         [this](const QByteArray& record, int difference, quint32 elapsed) {
                             records.push_back(record);
                             differences.push_back(difference);
                             elapsedTicks.push_back(elapsed);
                         });
        QObject::connect(&stream, &CTelemetryStream::AnswerMissing, &stream,
                         [this](const QString& pool) { misses.push_back(pool); });
    }

    // Lets the sim report this counter and waits until a record with it has been handled.
    void HandleCounter(uint8_t counter)
    {
        link.Sim().SetTelemetryBytes(CTelemetryStream::kCounterByte, {counter});
        ASSERT_TRUE(WaitFor([&] {
            return !records.empty() && static_cast<uint8_t>(records.back()[CTelemetryStream::kCounterByte]) == counter;
        }));
    }

    std::vector<std::vector<uint8_t>> TelemetryRequests()
    {
        std::vector<std::vector<uint8_t>> requests;
        for (const auto& frame : link.ReceivedFrames()) {
            if (frame.size() == 5 && frame[1] == 'T')
                requests.push_back(frame);
        }
        return requests;
    }

    CSimulatedLink link;
    CTelemetryStream stream{link.Port()};
    std::vector<QByteArray> records;
    std::vector<int> differences;
    std::vector<quint32> elapsedTicks;
    std::vector<QString> misses;
};

} // namespace

TEST_F(TelemetryStreamTest, FirstAndLastRequestsCarryServoOneAndThoseBetweenTheSetValue)
{
    ASSERT_TRUE(stream.Start());
    ASSERT_TRUE(WaitFor([&] { return !records.empty(); }));
    EXPECT_EQ(differences.front(), 0);
    EXPECT_EQ(elapsedTicks.front(), 0u);
    stream.SetServoValue(200);
    ASSERT_TRUE(WaitFor([&] { return !records.empty() && static_cast<uint8_t>(records.back()[7]) == 200; }));
    auto requests = TelemetryRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), Request(1));
    EXPECT_EQ(requests.back(), Request(200));

    stream.Stop();
    EXPECT_FALSE(stream.IsRunning());
    requests = TelemetryRequests();
    EXPECT_EQ(requests.back(), Request(1));
    // The final answer has been taken: nothing more is requested.
    const size_t sent = stream.Collector().RequestsSent();
    EXPECT_EQ(requests.size(), sent);
    EXPECT_EQ(stream.Collector().AnswersReceived(), sent);
    // The port's own collector is current again: a short exchange works.
    link.Port().SetCollector(&link.ShortCollector());
    uint8_t answer = 0;
    EXPECT_TRUE(link.ShortCollector().GetResponse('s', 'e', 't', answer, 2000));
    link.Port().ResetCollector();
    EXPECT_EQ(answer, 'O');
}

TEST_F(TelemetryStreamTest, CounterWrapAddsTheDifferenceModulo256)
{
    ASSERT_TRUE(stream.Start());
    HandleCounter(250);
    const std::size_t from = records.size();
    const quint32 before = stream.ElapsedTicks();
    HandleCounter(4);
    // More records with the same counter may follow before the wait sees one
    // (each adds nothing): the step across the wrap is the first one's.
    const auto isWrapped = [](const QByteArray& r) {
        return static_cast<uint8_t>(r[CTelemetryStream::kCounterByte]) == 4;
    };
    const auto wrapped = std::find_if(records.begin() + static_cast<std::ptrdiff_t>(from), records.end(), isWrapped);
    ASSERT_NE(wrapped, records.end());
    EXPECT_EQ(differences[static_cast<std::size_t>(wrapped - records.begin())], 10);
    EXPECT_EQ(stream.ElapsedTicks(), before + 10);
}

TEST_F(TelemetryStreamTest, OnlyTheNewestQueuedRecordIsHandledAndTheElapsedTimeStillGrows)
{
    ASSERT_TRUE(stream.Start());
    HandleCounter(10);
    const size_t handled = records.size();
    const quint32 before = stream.ElapsedTicks();
    const CServoCollectorNotify& collector = stream.Collector();
    auto newestCounter = [&] {
        const auto n = collector.Newest();
        return n.wParam == 0 ? -1 : collector.Slot(n.wParam - 1)[CTelemetryStream::kCounterByte];
    };
    // Two more records arrive while the event loop does not run.
    link.Sim().SetTelemetryBytes(CTelemetryStream::kCounterByte, {20});
    ASSERT_TRUE(WaitQueued([&] { return newestCounter() == 20; }));
    link.Sim().SetTelemetryBytes(CTelemetryStream::kCounterByte, {30});
    ASSERT_TRUE(WaitQueued([&] { return newestCounter() == 30; }));
    QCoreApplication::processEvents();
    ASSERT_GT(records.size(), handled);
    // The record with 20 was skipped; 30 came next, 20 ticks after 10.
    for (size_t i = handled; i < records.size(); ++i)
        EXPECT_EQ(static_cast<uint8_t>(records[i][CTelemetryStream::kCounterByte]), 30);
    EXPECT_EQ(differences[handled], 20);
    EXPECT_EQ(elapsedTicks[handled], before + 20);
}

TEST_F(TelemetryStreamTest, UnansweredRequestGivesANoAnswerNoticeAndANewRequest)
{
    stream.Collector().SetAnswerLimitMs(100);
    ASSERT_TRUE(stream.Start());
    ASSERT_TRUE(WaitFor([&] { return !records.empty(); }));
    link.Sim().SetUnplugged(true);   // the cable still echoes, the ESC is silent
    ASSERT_TRUE(WaitFor([&] { return stream.AnswersStopped(); }));
    ASSERT_GE(misses.size(), static_cast<size_t>(CTelemetryStream::kMissesUntilStopped));
    // The window held the echo of the request, nothing more.
    EXPECT_NE(std::find(misses.begin(), misses.end(), QStringLiteral("5 bytes in pool: 0x4d 0x54 0x2d 0x01 0xcf")),
              misses.end());
    EXPECT_GT(TelemetryRequests().size(), misses.size());

    link.Sim().SetUnplugged(false);
    const size_t handled = records.size();
    ASSERT_TRUE(WaitFor([&] { return records.size() > handled; }));
    EXPECT_FALSE(stream.AnswersStopped());
}
