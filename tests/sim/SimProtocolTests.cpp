// Protocol conformance of the simulated ESC, checked through the independent
// client over a real pseudo-terminal.

#include "SimProtocolFixture.h"

#include <fstream>
#include <unistd.h>

using namespace simtest;

TEST_F(SimProtocol, IdentityCellsAndSupportedSpeedsOfEachProfileAndFirmwareState)
{
    CEscSimulator::Options zero = SimOptions("full"), full255 = SimOptions("full");
    zero.corruptedFirmware = true;
    full255.corruptedVersion255 = true;
    const struct { const char* name; CEscSimulator::Options options; uint8_t type, major, minor, hardware, speeds; } cases[] = {
        {"full", SimOptions("full"), 3, 2, 4, 2, 0xFC},
        {"plain", SimOptions("plain"), 5, 1, 3, 1, 0x04},
        {"deprecated", SimOptions("deprecated"), 3, 1, 5, 1, 0x24},
        {"corrupted", zero, 3, 0, 0, 2, 0xFC},
        {"version 255", full255, 3, 0xFF, 0xFF, 2, 0xFC},
        {"boot loader only", SimOptions("full", true), 3, 0xFF, 0xFF, 2, 0x04},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim(c.options);
        EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
        EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(c.type));
        EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(c.major));
        EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(c.minor));
        EXPECT_EQ(AnswerOf('r', 'e', 70), ShortAnswer(c.hardware));
        EXPECT_EQ(AnswerOf('r', 'e', 94), ShortAnswer(c.speeds));
        EXPECT_EQ(m_sim->InBootloader(), c.options.bootloaderOnly);
        // Codes of unsupported speeds and codes with two bits are refused.
        for (uint8_t code : {0x01, 0x02, 0x08, 0x10, 0x20, 0x40, 0x80, 0x30}) {
            if ((c.speeds & code) != code) {
                EXPECT_EQ(AnswerOf('S', 'P', code), ShortAnswer('N')) << int(code);
            }
        }
        EXPECT_EQ(m_sim->DeviceBaud(), 19200);
    }
}

TEST_F(SimProtocol, FramesTheDeviceDoesNotServeGetOnlyTheEcho)
{
    Bytes badSum = Command('r', 'e', 64);
    badSum[4] ^= 0x01;
    Bytes badBlock = BlockSend(Bytes(144, 0x55));
    badBlock[146] ^= 0x01;
    const struct { const char* what; CEscSimulator::Options options; bool inLoader; Bytes sent; } cases[] = {
        {"broken frames", {}, false, Concat(Concat(badSum, Command('q', 1, 2)), Bytes{0x00, 'M', 0xFF, 'x', 'M', 'M'})},
        {"a range that ends before it starts", {}, false, Command('R', 10, 9)},
        {"a block outside the boot loader", {}, false, BlockSend(Bytes(144, 0x11))},
        {"a block with a bad CRC", {}, true, badBlock},
        {"logger commands without a logger", SimOptions("plain"), false,
         Concat(Concat(Command('l', 0, 0), Command('e', 'r', 's')), Command('E', 0, 0))},
        {"application commands to the boot loader", SimOptions("full", true), false,
         Concat(Command('w', 1, 1), Command('T', '-', 100))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartSim(c.options);
        if (c.inLoader) {
            ASSERT_EQ(AnswerOf('u', 'p', 'd'), ShortAnswer('O'));
        }
        EXPECT_EQ(m_client.Fence(c.sent), Fenced(c.sent));
        EXPECT_TRUE(m_sim->UploadedFirmware().empty());
    }
    // A valid frame right behind broken bytes is still found.
    StartSim();
    const Bytes glued = Concat(Bytes{'M', 'r', 'e'}, Command('r', 'e', 65));
    EXPECT_EQ(m_client.Exchange(glued, kShort), Concat(glued, ShortAnswer(2)));
}

TEST_F(SimProtocol, EveryCommandAnswersAtEverySpeedTheFullDeviceSupports)
{
    StartSim();
    const Bytes erased = BlockAnswer(Bytes(kPage, 0xFF));
    int speedsTested = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const uint8_t code = static_cast<uint8_t>(1U << bit);
        if ((m_sim->Cell(94) & code) == 0)
            continue;
        SCOPED_TRACE(kBauds[bit]);
        ASSERT_TRUE(SwitchTo(code, kBauds[bit]));
        const std::array<uint8_t, 256> cells = m_sim->Cells();
        const uint8_t value = static_cast<uint8_t>(bit);
        Bytes page(kPage);
        for (std::size_t i = 0; i < kPage; ++i)
            page[i] = static_cast<uint8_t>(i * 7 + value);
        // No expected answer but a size: any block with a valid CRC.
        const struct { Bytes frame; std::size_t answerSize; Bytes expected; } steps[] = {
            {Command('s', 'e', 't'), kShort, ShortAnswer('O')},
            {Command('r', 'e', 64), kShort, ShortAnswer(3)},
            // Cells 56 to 60 hold live values that change with every read.
            {Command('R', 0, 55), 56 + 3, BlockAnswer(Bytes(cells.begin(), cells.begin() + 56))},
            {Command('w', 20, value), kShort, ShortAnswer(value)},
            {Command('r', 'e', 20), kShort, ShortAnswer(value)},
            {Command('w', 64, 9), kShort, ShortAnswer(3)},  // identity cells are read-only
            {Command('w', 94, 0xFF), kShort, ShortAnswer(0xFC)},
            {Command('R', 64, 66), 6, BlockAnswer({3, 2, 4})},
            {Command('R', 0, 255), 256 + 3, {}},
            {Command('T', '-', 128), 64 + 3, {}},
            {PageWrite(0, page), 0, {}},  // acknowledged by its echo alone
            {Command('l', 0, 0), kPageAnswer, BlockAnswer(page)},
            {Command('e', 'r', 's'), kShort, ShortAnswer('O')},
            {Command('l', 0, 0), kPageAnswer, erased},
            {PageWrite(0, page), 0, {}},
            {Command('E', 0, 0), kShort, ShortAnswer('O')},
            {Command('l', 0, 0), kPageAnswer, erased},
            {Command('u', 'p', 'd'), kShort, ShortAnswer('O')},
            {BlockSend(Bytes(144, value)), kShort, ShortAnswer('O')},
            {Command('r', 'e', 65), kShort, ShortAnswer(2)},  // the uploaded firmware runs
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string("command ") + char(step.frame[1]));
            const Bytes answer = AnswerOf(step.frame, step.answerSize);
            if (step.expected.empty() && step.answerSize > 0) {
                ASSERT_EQ(answer.size(), step.answerSize);
                EXPECT_EQ(answer, BlockAnswer(Bytes(answer.begin() + 1, answer.end() - 2)));
            } else {
                EXPECT_EQ(answer, step.expected);
            }
        }
        EXPECT_EQ(m_sim->UploadedFirmware(), Bytes(144, value));
        ASSERT_TRUE(SwitchTo(0x04, 19200));  // back, as TORV does before every reconnect
        ++speedsTested;
    }
    EXPECT_EQ(speedsTested, 6);
}

TEST_F(SimProtocol, MismatchedSpeedsGetOnlyTheCableEchoAndAreRecordedAsNotUnderstood)
{
    StartSim();
    const Bytes read = Command('r', 'e', 64);
    const struct { int host; uint8_t escCode; int esc; } cases[] = {
        {4800, 0x04, 19200}, {250000, 0x04, 19200}, {19200, 0x20, 115200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        ASSERT_TRUE(SwitchTo(c.escCode, c.esc));
        ASSERT_TRUE(m_client.SetBaud(c.host));
        m_sim->ClearFrames();
        EXPECT_EQ(m_client.Exchange(read, 0), read) << "the cable echoes at any speed";
        EXPECT_EQ(m_sim->HostBaud(), c.host);
        ASSERT_TRUE(m_client.SetBaud(c.esc));
        EXPECT_EQ(m_client.Fence(), Fenced({})) << "no answer came";

        const std::vector<CEscSimulator::Frame> frames = m_sim->Frames();
        ASSERT_EQ(frames.size(), 2U);
        EXPECT_EQ(frames[0].bytes, read);
        EXPECT_EQ(frames[0].hostBaud, c.host);
        EXPECT_FALSE(frames[0].understood);
        EXPECT_TRUE(frames[1].understood) << "the fence at the ESC's speed";
        EXPECT_LE(frames[0].at, frames[1].at);
        ASSERT_TRUE(SwitchTo(0x04, 19200));
    }
}

TEST_F(SimProtocol, LoggerStatusCellsFollowTheStoredLogsThatFitPageWritesAndErases)
{
    StartSim();
    auto status = [&] { return std::vector<int>{m_sim->Cell(128), m_sim->Cell(129) + 256 * m_sim->Cell(130)}; };
    const Bytes erased = BlockAnswer(Bytes(kPage, 0xFF));
    const std::vector<uint8_t> memory = m_sim->LoggerMemory();
    ASSERT_EQ(memory.size(), 2048U * kPage);
    EXPECT_EQ(status(), (std::vector<int>{3, 38})) << "three logs in 38 pages";
    const Bytes first = AnswerOf('l', 0, 0, kPageAnswer);
    ASSERT_EQ(first, BlockAnswer(Bytes(memory.begin(), memory.begin() + kPage)));
    EXPECT_EQ(Bytes(first.begin() + 1, first.begin() + 5), (Bytes{1, 5, 0x7F, 0})) << "log 1, 100 ms, channel mask";
    EXPECT_EQ(AnswerOf('l', 38, 0, kPageAnswer), erased) << "after the last log";
    EXPECT_EQ(AnswerOf('l', 0x00, 0x10, kPageAnswer), erased) << "beyond the memory";

    // A page write behind the logs adds a log; one with a wrong sum changes nothing.
    Bytes page(kPage, 0x33);
    page[0] = 9;
    Bytes broken = PageWrite(39, page);
    broken.back() ^= 0xFF;
    const Bytes writes = Concat(PageWrite(38, page), broken);
    EXPECT_EQ(m_client.Fence(writes), Fenced(writes));
    EXPECT_EQ(AnswerOf('l', 38, 0, kPageAnswer), BlockAnswer(page));
    EXPECT_EQ(AnswerOf('l', 39, 0, kPageAnswer), erased);
    EXPECT_EQ(status(), (std::vector<int>{4, 39}));

    // A block erase clears from its page to the end; erase-all clears everything.
    EXPECT_EQ(AnswerOf('E', 20, 0), ShortAnswer('O'));
    EXPECT_NE(AnswerOf('l', 19, 0, kPageAnswer), erased);
    EXPECT_EQ(status(), (std::vector<int>{1, 20}));
    EXPECT_EQ(AnswerOf('e', 'r', 's'), ShortAnswer('O'));
    EXPECT_EQ(status(), (std::vector<int>{0, 0})) << "no logs to download";
    EXPECT_EQ(m_sim->LoggerMemory(), std::vector<uint8_t>(memory.size(), 0xFF));

    // A logger of 24 pages holds log 1 (20 pages) and log 2 cut after 4 of its 12.
    CEscSimulator::Options small;
    small.loggerPages = 24;
    StartSim(small);
    const std::vector<uint8_t> smallMemory = m_sim->LoggerMemory();
    ASSERT_EQ(smallMemory.size(), 24U * kPage);
    EXPECT_EQ(status(), (std::vector<int>{2, 24}));
    EXPECT_EQ(AnswerOf('l', 23, 0, kPageAnswer), BlockAnswer(Bytes(smallMemory.end() - kPage, smallMemory.end())));
    EXPECT_EQ(AnswerOf('l', 24, 0, kPageAnswer), erased);
    const Bytes beyond = PageWrite(24, Bytes(kPage, 0x11));
    EXPECT_EQ(m_client.Fence(beyond), Fenced(beyond));
    EXPECT_EQ(m_sim->LoggerMemory(), smallMemory) << "a page beyond the memory changes nothing";
}

TEST_F(SimProtocol, TelemetryRecordFollowsTheServoAndTheClock)
{
    StartSim();
    m_sim->SetTempA(0x1234);
    auto record = [&](uint8_t servo) {
        const Bytes answer = AnswerOf('T', '-', servo, 64 + 3);
        return answer.size() == 67U ? Bytes(answer.begin() + 1, answer.end() - 2) : Bytes(64, 0);
    };
    auto word = [](const Bytes& r, std::size_t at) { return r[at] + 256 * r[at + 1]; };

    Bytes r = record(1);
    EXPECT_EQ(r[3], 50) << "sample rate";
    EXPECT_EQ(r[7], 1) << "servo value";
    EXPECT_EQ(word(r, 14), 1000) << "servo pulse in us";
    EXPECT_EQ(word(r, 20), 0x1234) << "Temp A";
    EXPECT_EQ(word(r, 11), 0) << "motor at rest";
    // RPM (in tens) rises towards full speed with full throttle and falls when it closes.
    const uint8_t startTick = r[6];
    EXPECT_TRUE(WaitFor([&] { r = record(255); return word(r, 11) * 10 > 8000; }));
    EXPECT_EQ(word(r, 14), 2000);
    EXPECT_GT(word(r, 18), 300) << "current above 30 A";
    EXPECT_LT(word(r, 16), 1650) << "voltage sags under load";
    EXPECT_NE(r[6], startTick) << "the 20 ms tick counter advances with time";
    EXPECT_TRUE(WaitFor([&] { r = record(1); return word(r, 11) < 50; }));
}

TEST_F(SimProtocol, InjectedFaultsDisturbOnlyTheAnswersTheyAreMeantFor)
{
    StartSim();
    m_sim->CorruptNextAnswers(2);
    const Bytes probe = AnswerOf('s', 'e', 't');
    const Bytes range = AnswerOf('R', 64, 66, 6);
    EXPECT_TRUE(probe.size() == kShort && probe != ShortAnswer('O')) << "the sum no longer matches";
    EXPECT_TRUE(range.size() == 6U && range != BlockAnswer({3, 2, 4})) << "the CRC no longer matches";
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O')) << "only the next two answers";

    m_sim->InjectNoiseBeforeNextAnswer({0x00, 0x4D, 0xAA});
    EXPECT_EQ(AnswerOf('s', 'e', 't', 6), (Bytes{0x00, 0x4D, 0xAA, 'M', 'O', 0x9C}));
    m_sim->DropByteInNextAnswer();
    EXPECT_EQ(m_client.Fence(Command('s', 'e', 't')).size(), 5U + 2U + 5U + 3U);

    m_sim->SetExtraAnswerDelayMs(150);
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(150));
}

TEST_F(SimProtocol, ClosingThePtyHangsUpAndStartPlugsInANewLink)
{
    const std::string link = ::testing::TempDir() + "torv-sim-link-" + std::to_string(getpid());
    CEscSimulator::Options options;
    options.symlinkPath = link;
    StartSim(options);
    EXPECT_EQ(m_sim->DevicePath(), link);
    for (int i = 0; i < 2; ++i) {  // reopening the port keeps the pair alive
        ASSERT_TRUE(m_client.Open(link));
        EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    }
    ASSERT_TRUE(SwitchTo(0x20, 115200));
    m_sim->SetCell(10, 77);

    m_sim->ClosePty();
    m_client.Receive(1);
    EXPECT_TRUE(m_client.LinkGone());
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link is removed";
    ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    EXPECT_EQ(m_sim->DeviceBaud(), 19200) << "a new link finds the ESC at 19200 baud";
    ASSERT_TRUE(m_client.Open(link));
    EXPECT_EQ(AnswerOf('r', 'e', 10), ShortAnswer(77)) << "the ESC keeps its cells";
    m_sim->Stop();
    EXPECT_NE(access(link.c_str(), F_OK), 0);
}

TEST(SimLink, StartRefusesAnUnknownProfileAndToReplaceAFileThatIsNotALink)
{
    CEscSimulator turbo(SimOptions("turbo"));
    EXPECT_FALSE(turbo.Start());
    EXPECT_NE(turbo.LastError().find("turbo"), std::string::npos);

    const std::string path = ::testing::TempDir() + "torv-sim-file-" + std::to_string(getpid());
    std::ofstream(path) << "user data";
    CEscSimulator::Options options;
    options.symlinkPath = path;
    CEscSimulator sim(options);
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.LastError().find("not a symbolic link"), std::string::npos);
    std::string text;
    std::getline(std::ifstream(path), text);
    EXPECT_EQ(text, "user data");
    std::remove(path.c_str());
}

TEST_F(SimProtocol, LineTimingPacesBytesAtTheLineSpeed)
{
    CEscSimulator::Options options;
    options.lineTiming = true;
    options.processingDelayUs = 2000;
    StartSim(options);
    m_sim->ResetCounters();
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(AnswerOf('R', 0, 255, 259).size(), 259U);
    // 264 bytes at 19200 baud, 10 bits each, plus the processing delay.
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::microseconds(264 * 10 * 1000000LL / 19200 + 2000));
    EXPECT_EQ(m_sim->BytesOnWire(), 264U);
    EXPECT_EQ(m_sim->ProcessingDelaysUs(), 2000U);
}
