#include <gtest/gtest.h>

#include <algorithm>

#include "LoggerTestSupport.h"
#include "logger/CEraseSequence.h"
#include "logger/CLinkSpeedBoost.h"
#include "logger/CLogDownload.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerCommands.h"
#include "logger/CLoggerTransfer.h"

using namespace LoggerTest;

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QCoreApplication>::Register();

pugi::xml_node SampleLogger()
{
    static const SampleLibrary library;
    return library.FindLogger(3, 2, 0);
}

// Feeds pages to a download as if they arrived one by one.
CLogDownload Feed(const std::vector<Bytes>& pages, uint32_t pageCount)
{
    CLogDownload download(pageCount, SampleLogger());
    download.Start();
    for (const Bytes& page : pages) {
        if (!download.OnPage(page.data(), page.size()))
            break;
    }
    return download;
}

TEST(LogDownloadTest, SplitsLogsAndComputesTheirDurations)
{
    // Log 4 of one page, two runs of log 7 in a row (one log), log 2 with
    // mask 0x0F (G = 6, 42 samples a page) at 50 samples a second, then
    // the erased end.
    const CLogDownload download = Feed({Page(4, 5, 0x7F), Page(7, 5, 0x45), Page(7, 5, 0x45), Page(7, 5, 0x45),
                                        Page(2, 1, 0x0F), Page(2, 1, 0x0F), Page(2, 1, 0x0F), Erased(), Page(9, 1, 1)},
                                       100);
    EXPECT_EQ(download.CurrentState(), CLogDownload::State::Complete);
    EXPECT_EQ(download.PagesReceived(), 7u);
    ASSERT_EQ(download.Logs().size(), 3u);
    const LogEntry& one = download.Logs()[0];
    EXPECT_EQ(one.DurationText(), "   0.00 sec");
    EXPECT_EQ(one.ContentText(), "Throttle, RPM, Voltage, Current, Capacity, Temperature");
    const LogEntry& seven = download.Logs()[1];
    EXPECT_EQ(seven.firstPage, 1);
    EXPECT_EQ(seven.lastPage, 3);
    EXPECT_EQ(seven.ContentText(), "Throttle, Voltage, Temperature");
    // 3 slots: G = 6, 42 samples a page, 2 × 42 × 5 / 50 seconds.
    EXPECT_DOUBLE_EQ(seven.duration, 8.4);
    EXPECT_EQ(download.Logs()[2].DurationText(), "   1.68 sec");  // 2 × 42 / 50
    EXPECT_EQ(download.StatusText(), "7 transfered");
}

TEST(LogDownloadTest, ErasedFirstPageGivesNoLogsAndNothingToDisplay)
{
    const CLogDownload download = Feed({Erased()}, 2048);
    EXPECT_EQ(download.CurrentState(), CLogDownload::State::Complete);
    EXPECT_TRUE(download.Logs().empty());
}

TEST(LogDownloadTest, DisplayHandsOnThePagesOfTheChosenRowsInListOrder)
{
    std::vector<Bytes> pages = {Page(1, 5, 1, 0x11), Page(2, 5, 1, 0x21), Page(2, 5, 1, 0x22),
                                Page(3, 5, 1, 0x31), Page(4, 5, 1, 0x41), Page(4, 5, 1, 0x42),
                                Page(4, 5, 1, 0x43), Page(5, 5, 0x100, 0x51)};
    CLogDownload download = Feed(pages, static_cast<uint32_t>(pages.size()));
    ASSERT_EQ(download.Logs().size(), 5u);
    for (bool shift : {false, true}) {
        const LogSelection chosen = download.Select({3, 1}, Bytes(128, 9), shift);
        EXPECT_EQ(chosen.workbook, shift);
        EXPECT_EQ(chosen.pageCount, 5u);
        EXPECT_EQ(chosen.pages, Concat({pages[1], pages[2], pages[4], pages[5], pages[6]}));
        ASSERT_EQ(chosen.logs.size(), 2u);
        EXPECT_EQ(chosen.logs[1].firstPage, 2);
        EXPECT_EQ(chosen.logs[1].lastPage, 4);
        EXPECT_EQ(chosen.snapshot.size(), 128u);
        EXPECT_EQ(chosen.logger, SampleLogger());
    }
    EXPECT_TRUE(download.Logs()[1].selected);
    EXPECT_FALSE(download.Logs()[0].selected);
    // A log recording nothing the library describes is listed but refused.
    const LogSelection refused = download.Select({4}, {}, false);
    EXPECT_EQ(refused.pageCount, 0u);
    EXPECT_EQ(refused.refused.size(), 1);
}

TEST(LogDownloadTest, StoppingKeepsTheCompleteLogsOnly)
{
    CLogDownload download = Feed({Page(1, 5, 1), Page(2, 5, 1), Page(2, 5, 1)}, 10);
    EXPECT_TRUE(download.Running());
    download.Stop();
    ASSERT_EQ(download.Logs().size(), 1u);
    EXPECT_EQ(download.Logs()[0].number, 1);
    EXPECT_EQ(download.Select({0}, {}, false).pageCount, 1u);
}

TEST(EraseSequenceTest, BlockRequestsEndAtZero)
{
    struct Case {
        uint32_t pages;
        std::vector<uint16_t> requests;
    };
    const std::vector<Case> cases = {
        {2048, {1792, 1536, 1280, 1024, 768, 512, 256, 0}},
        {5, {0}},
        {2050, {1794, 1538, 1282, 1026, 770, 514, 258, 0}},
    };
    for (const Case& c : cases) {
        CEraseSequence erase(c.pages);
        std::vector<uint16_t> sent = {erase.Start()};
        EXPECT_EQ(erase.Position(), 8);
        while (const std::optional<uint16_t> next = erase.OnEcho())
            sent.push_back(*next);
        EXPECT_EQ(sent, c.requests) << c.pages;
        EXPECT_TRUE(erase.Done());
        EXPECT_EQ(erase.Position(), 0);
    }
}

class LoggerOnSimTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(esc.connected); }
    CSimulatedLink& Link() { return *esc.link; }

    ConnectedEsc esc;
};

TEST_F(LoggerOnSimTest, PlanTakesSnapshotAndPageCountFromCellsOrMemBlocks)
{
    ASSERT_TRUE(CLoggerCommands::CanDownload(*esc.session));
    CLoggerCommands::DownloadPlan plan = CLoggerCommands::PlanDownload(*esc.session);
    EXPECT_EQ(plan.pageCount, 38u);  // the three generated logs, from cells 129/130
    EXPECT_EQ(plan.snapshot.size(), 128u);
    EXPECT_EQ(plan.snapshot[72], Link().Sim().Cell(72));
    EXPECT_EQ(plan.pageTimeoutMs, 300);
    // Without cell 130 the library's mem_blocks counts.
    Link().Sim().SetUnplugged(true);
    esc.session->Image().InvalidateCell(130);
    plan = CLoggerCommands::PlanDownload(*esc.session);
    EXPECT_EQ(plan.pageCount, 2048u);
    Link().Sim().SetUnplugged(false);
}

TEST(LoggerLateAnswerTest, ALateAnswerIsNeverStoredUnderAnotherPage)
{
    // Without and with line timing: at 19200 baud the answers that queue up
    // behind the late one take longer on the line than the page time-out,
    // so only silence on the line tells that they are through.
    for (const bool lineTiming : {false, true}) {
        SCOPED_TRACE(lineTiming ? "line timing" : "no line timing");
        CEscSimulator::Options options;
        options.lineTiming = lineTiming;
        options.pageTurnaroundUs = 30000;   // reading a flash page takes the ESC a while
        ConnectedEsc esc(options);
        ASSERT_TRUE(esc.connected);
        CEscSimulator& sim = esc.link->Sim();
        const Bytes memory = sim.LoggerMemory();
        const Bytes pages(memory.begin(), memory.begin() + 24 * LoggerPage::kSize);  // log 1 and part of log 2
        CLogDownload download(24, CLoggerCommands::PlanDownload(*esc.session).logger);
        CLoggerTransfer transfer(esc.link->Port(), &esc.prompt);
        sim.ClearFrames();
        // The answer to the request for page 5 comes long after its
        // time-out; the requests sent meanwhile are answered after it.
        sim.AddFault({CEscSimulator::Fault::Action::Late, CEscSimulator::AnswerKind::LoggerPage, 6, 2000});
        ASSERT_TRUE(transfer.StartDownload(download, 300));
        ASSERT_TRUE(transfer.Wait()) << "the download did not end";
        EXPECT_GE(download.Faults(), 1u);
        EXPECT_GE(esc.prompt.Beeps(), 1);
        EXPECT_TRUE(download.Pages() == pages) << "a page was stored under another page's index";
        // Every page asked for in order; pages after 5 only once.
        std::vector<int> asked;
        for (const CEscSimulator::Frame& frame : sim.Frames())
            if (frame.bytes.size() == 5 && frame.bytes[1] == 'l')
                asked.push_back(frame.bytes[2] + 256 * frame.bytes[3]);
        ASSERT_GT(asked.size(), 24u);
        EXPECT_TRUE(std::is_sorted(asked.begin(), asked.end()));
        EXPECT_EQ(std::count(asked.begin() + 6, asked.end(), 5) + 24, static_cast<long>(asked.size()));
        EXPECT_EQ(asked.back(), 23);
    }
}

TEST_F(LoggerOnSimTest, SilentEscStallsTheDownloadAndWaitGivesUpWithoutAStep)
{
    CLogDownload download(38, CLoggerCommands::PlanDownload(*esc.session).logger);
    CLoggerTransfer transfer(Link().Port());
    bool stalled = false;
    QObject::connect(&transfer, &CLoggerTransfer::Progress, [&] { stalled = stalled || transfer.Stalled(); });
    Link().Sim().SetUnplugged(true);
    ASSERT_TRUE(transfer.StartDownload(download, 100));
    EXPECT_FALSE(transfer.Wait({}, 2 * CLoggerTransfer::kStallMs));
    EXPECT_TRUE(stalled);
    EXPECT_FALSE(transfer.Running());
    EXPECT_EQ(download.CurrentState(), CLogDownload::State::Stopped);
    Link().Sim().SetUnplugged(false);
}

TEST_F(LoggerOnSimTest, ImageOfAThousandBytesIsWrittenAsFourPagesPaddedWithErasedBytes)
{
    Bytes image(1000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 1);
    CLogImageWriter writer(image);
    EXPECT_EQ(writer.ProgressRange(), 3u);
    EXPECT_EQ(writer.PageTotal(), 4u);
    EXPECT_EQ(writer.StatusText(0), "0.00     cps, 0 transfered");
    CLoggerTransfer transfer(Link().Port(), &esc.prompt);
    ASSERT_TRUE(transfer.StartImageWrite(writer, CLogImageWriter::kReplyLimitMs));
    ASSERT_TRUE(transfer.Wait()) << "the image write did not end";
    EXPECT_EQ(FramesOf(Link(), 'u').size(), 4u);
    const Bytes memory = Link().Sim().LoggerMemory();
    EXPECT_EQ(Bytes(memory.begin(), memory.begin() + 1000), image);
    EXPECT_EQ(Bytes(memory.begin() + 1000, memory.begin() + 4 * 264), Bytes(56, 0xFF));
    EXPECT_TRUE(writer.StatusText(1000).endsWith("cps, 1056 transfered"));
}

TEST_F(LoggerOnSimTest, BlockEraseAndOneShotEraseClearTheLogger)
{
    CEraseSequence erase(2048);
    CLoggerTransfer transfer(Link().Port());
    Link().Sim().ClearFrames();
    ASSERT_TRUE(transfer.StartErase(erase));
    ASSERT_TRUE(transfer.Wait()) << "the erase did not end";
    const std::vector<Bytes> frames = FramesOf(Link(), 'E');
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(frames.back()[2] + 256 * frames.back()[3], 0);
    EXPECT_EQ(Link().Sim().Cell(128), 0);

    Link().Sim().SetLoggerMemory(Page(1, 5, 1));
    EXPECT_EQ(Link().Sim().Cell(128), 1);
    EXPECT_TRUE(CLoggerCommands::EraseAll(*esc.session));
    EXPECT_EQ(Link().Sim().Cell(128), 0);
}

TEST_F(LoggerOnSimTest, SpeedBoostRaisesTheLinkForATransferAndReturnsAfterwards)
{
    EXPECT_EQ(Link().Port().LinkSpeed(), 19200);
    {
        CLinkSpeedBoost boost(*esc.session);
        EXPECT_TRUE(boost.Switched());
        EXPECT_EQ(Link().Port().LinkSpeed(), 460800);
        EXPECT_TRUE(WaitFor([&] { return Link().Sim().DeviceBaud() == 460800; }));
    }
    EXPECT_EQ(Link().Port().LinkSpeed(), 19200);
    EXPECT_TRUE(WaitFor([&] { return Link().Sim().DeviceBaud() == 19200; }));
    EXPECT_EQ(esc.session->Protocol().StoredLinkSpeed(), 19200);
}

} // namespace
