// Protocol conformance of the simulated ESC, checked through the independent
// client over a real pseudo-terminal.

#include "SimTestClient.h"

#include "CEscSimulator.h"
#include "common/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace simtest;

namespace {

constexpr std::size_t kShort = 3;
constexpr std::size_t kPage = 264;

class SimProtocol : public ::testing::Test {
protected:
    void StartSim(CEscSimulator::Options options = {})
    {
        m_sim = std::make_unique<CEscSimulator>(options);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
        ASSERT_TRUE(m_client.Open(m_sim->DevicePath())) << m_sim->DevicePath();
    }

    Bytes Ask(uint8_t letter, uint8_t a1, uint8_t a2, std::size_t answerSize = kShort)
    {
        return m_client.Exchange(Command(letter, a1, a2), answerSize);
    }

    // The answer part of an exchange whose echo is correct.
    Bytes AnswerOf(uint8_t letter, uint8_t a1, uint8_t a2, std::size_t answerSize = kShort)
    {
        const Bytes frame = Command(letter, a1, a2);
        const Bytes got = m_client.Exchange(frame, answerSize);
        EXPECT_GE(got.size(), frame.size());
        if (got.size() < frame.size())
            return {};
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), frame) << "the echo comes first";
        return Bytes(got.begin() + 5, got.end());
    }

    bool WaitForBaud(int baud)
    {
        return WaitFor([&] { return m_sim->DeviceBaud() == baud; });
    }

    // What the line returns for frames that get no answer, fenced by a probe.
    static Bytes EchoOnlyThenFence(const Bytes& sent)
    {
        return Concat(Concat(sent, Command('s', 'e', 't')), ShortAnswer('O'));
    }

    std::unique_ptr<CEscSimulator> m_sim;
    Client m_client;
};

} // namespace

TEST(SimWireFormat, CrcAndFramesMatchTheProtocolTables)
{
    const Bytes check = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(check), 0x4B37);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
    EXPECT_EQ(Command('s', 'e', 't'), (Bytes{'M', 's', 'e', 't', 0x99}));
    EXPECT_EQ(Command('r', 'e', 0x40), (Bytes{'M', 'r', 'e', 0x40, 0x64}));
    EXPECT_EQ(Command('w', 0x0A, 0xC8), (Bytes{'M', 'w', 0x0A, 0xC8, 0x96}));
    EXPECT_EQ(Command('u', 'p', 'd'), (Bytes{'M', 'u', 'p', 'd', 0x96}));
    EXPECT_EQ(ShortAnswer('O'), (Bytes{'M', 'O', 0x9C}));
}

TEST_F(SimProtocol, ProbeIsEchoedAndAnsweredReady)
{
    StartSim();
    EXPECT_EQ(Ask('s', 'e', 't'), (Bytes{'M', 's', 'e', 't', 0x99, 'M', 'O', 0x9C}));
}

TEST_F(SimProtocol, IdentityCellsOfEachProfile)
{
    struct Expect {
        const char* profile;
        uint8_t type, major, minor, hardware, speeds;
    };
    for (const Expect& e : {Expect{"full", 3, 2, 4, 2, 0xFC}, Expect{"plain", 5, 1, 3, 1, 0x04},
                            Expect{"deprecated", 3, 1, 5, 1, 0x24}}) {
        SCOPED_TRACE(e.profile);
        CEscSimulator::Options options;
        options.profile = e.profile;
        StartSim(options);
        EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(e.type));
        EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(e.major));
        EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(e.minor));
        EXPECT_EQ(AnswerOf('r', 'e', 70), ShortAnswer(e.hardware));
        EXPECT_EQ(AnswerOf('r', 'e', 94), ShortAnswer(e.speeds));
        EXPECT_EQ(m_sim->DeviceBaud(), 19200);
    }
}

TEST_F(SimProtocol, CellWriteStoresTheValueButIdentityIsReadOnly)
{
    StartSim();
    const Bytes written = Ask('w', 0x0A, 0xC8);
    EXPECT_EQ(written, Concat(Bytes{'M', 'w', 0x0A, 0xC8, 0x96}, ShortAnswer(0xC8)));
    EXPECT_EQ(m_sim->Cell(10), 0xC8);
    EXPECT_EQ(AnswerOf('r', 'e', 10), ShortAnswer(0xC8));

    EXPECT_EQ(AnswerOf('w', 64, 9).size(), kShort);
    EXPECT_EQ(m_sim->Cell(64), 3);
    EXPECT_EQ(AnswerOf('w', 94, 0xFF).size(), kShort);
    EXPECT_EQ(m_sim->Cell(94), 0xFC);
}

TEST_F(SimProtocol, RangeReadAnswersTheCellsWithCrcLowByteFirst)
{
    StartSim();
    const Bytes all = AnswerOf('R', 0, 255, 1 + 256 + 2);
    ASSERT_EQ(all.size(), 259U) << "5 + 1 + 256 + 2 = 264 bytes with the echo";
    const std::array<uint8_t, 256> cells = m_sim->Cells();
    const Bytes data(all.begin() + 1, all.end() - 2);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), cells.begin()));
    EXPECT_EQ(all, BlockAnswer(data));

    const Bytes identity = AnswerOf('R', 64, 66, 1 + 3 + 2);
    EXPECT_EQ(identity, BlockAnswer(Bytes{3, 2, 4}));
    EXPECT_EQ(AnswerOf('R', 7, 7, 1 + 1 + 2), BlockAnswer(Bytes{cells[7]}));

    // A range that ends before it starts is malformed and gets no answer.
    m_client.Send(Command('R', 10, 9));
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(Command('R', 10, 9)));
}

TEST_F(SimProtocol, BadFramesGetNoAnswerAndTheStreamResynchronises)
{
    StartSim();
    Bytes badSum = Command('r', 'e', 64);
    badSum[4] ^= 0x01;
    const Bytes unknown = Command('q', 1, 2);
    const Bytes noise = {0x00, 'M', 0xFF, 'x', 'M', 'M'};
    const Bytes before = Concat(Concat(badSum, unknown), noise);
    m_client.Send(before);
    const Bytes got = m_client.ReceiveUpToFence();
    EXPECT_EQ(got, EchoOnlyThenFence(before)) << Hex(got);

    // A valid frame right behind broken bytes is still found.
    const Bytes glued = Concat(Bytes{'M', 'r', 'e'}, Command('r', 'e', 65));
    const Bytes reply = m_client.Exchange(glued, kShort);
    EXPECT_EQ(reply, Concat(glued, ShortAnswer(2))) << Hex(reply);
}

TEST_F(SimProtocol, EveryCommandAnswersAtEverySpeedTheFullDeviceSupports)
{
    StartSim();
    const uint8_t speeds = m_sim->Cell(94);
    const std::vector<uint8_t> memory = m_sim->LoggerMemory();
    for (int bit = 0; bit < 8; ++bit) {
        const uint8_t code = static_cast<uint8_t>(1U << bit);
        if ((speeds & code) == 0)
            continue;
        static const int bauds[8] = {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
        const int baud = bauds[bit];
        SCOPED_TRACE(baud);
        // The answer to the speed change comes at the old speed; then the ESC switches.
        EXPECT_EQ(AnswerOf('S', 'P', code), ShortAnswer('O'));
        ASSERT_TRUE(WaitForBaud(baud));
        ASSERT_TRUE(m_client.SetBaud(baud));

        EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
        EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(3));
        EXPECT_EQ(AnswerOf('w', 20, static_cast<uint8_t>(bit)), ShortAnswer(static_cast<uint8_t>(bit)));
        EXPECT_EQ(AnswerOf('R', 64, 66, 6), BlockAnswer(Bytes{3, 2, 4}));
        EXPECT_EQ(AnswerOf('l', 1, 0, 1 + kPage + 2), BlockAnswer(Bytes(memory.begin() + kPage, memory.begin() + 2 * kPage)));
        const Bytes telemetry = AnswerOf('T', '-', 128, 1 + 64 + 2);
        ASSERT_EQ(telemetry.size(), 67U);
        EXPECT_EQ(telemetry, BlockAnswer(Bytes(telemetry.begin() + 1, telemetry.end() - 2)));

        // Back to 19200 baud, as TORV does before every reconnect.
        EXPECT_EQ(AnswerOf('S', 'P', 0x04), ShortAnswer('O'));
        ASSERT_TRUE(WaitForBaud(19200));
        ASSERT_TRUE(m_client.SetBaud(19200));
    }
}

TEST_F(SimProtocol, AtDifferentSpeedsOnlyTheCableEchoComesBack)
{
    StartSim();
    ASSERT_TRUE(m_client.SetBaud(4800));
    const Bytes probe = Command('s', 'e', 't');
    EXPECT_EQ(m_client.Exchange(probe, 0), probe) << "the cable echoes at any speed";
    ASSERT_TRUE(m_client.SetBaud(19200));
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence({})) << "no answer came at 4800 baud";

    // The ESC at 115200, TORV still at 19200: nothing intelligible either.
    EXPECT_EQ(AnswerOf('S', 'P', 0x20), ShortAnswer('O'));
    ASSERT_TRUE(WaitForBaud(115200));
    // The echo shows the ESC has taken the bytes in before the client changes speed.
    EXPECT_EQ(m_client.Exchange(Command('r', 'e', 64), 0), Command('r', 'e', 64));
    ASSERT_TRUE(m_client.SetBaud(115200));
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence({}));

    const std::vector<CEscSimulator::Frame> frames = m_sim->Frames();
    ASSERT_GE(frames.size(), 4U);
    EXPECT_EQ(frames[0].hostBaud, 4800);
    EXPECT_FALSE(frames[0].understood);
    EXPECT_TRUE(frames[1].understood);
    EXPECT_EQ(frames[3].bytes, Command('r', 'e', 64));
    EXPECT_FALSE(frames[3].understood);
}

TEST_F(SimProtocol, SpeedCodesOutsideTheSupportedSetAreRefused)
{
    CEscSimulator::Options options;
    options.profile = "plain";
    StartSim(options);
    EXPECT_EQ(AnswerOf('S', 'P', 0x20), ShortAnswer('N'));
    EXPECT_EQ(AnswerOf('S', 'P', 0x30), ShortAnswer('N')) << "two bits are no speed code";
    EXPECT_EQ(AnswerOf('S', 'P', 0x04), ShortAnswer('O'));
    EXPECT_EQ(m_sim->DeviceBaud(), 19200);
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
}

TEST_F(SimProtocol, NonStandardHostSpeedIsSeenAndIgnoredByTheEsc)
{
    StartSim();
    ASSERT_TRUE(m_client.SetBaud(250000));
    EXPECT_EQ(m_sim->HostBaud(), 250000);
    EXPECT_EQ(m_client.Exchange(Command('s', 'e', 't'), 0), Command('s', 'e', 't'));
    ASSERT_TRUE(m_client.SetBaud(19200));
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence({}));
}

TEST_F(SimProtocol, LoggerPagesHoldTheGeneratedLogsAndStatusCells)
{
    StartSim();
    const std::vector<uint8_t> memory = m_sim->LoggerMemory();
    ASSERT_EQ(memory.size(), 2048U * kPage);
    const int pagesInUse = m_sim->Cell(129) + 256 * m_sim->Cell(130);
    EXPECT_EQ(m_sim->Cell(128), 3) << "three logs";
    EXPECT_EQ(pagesInUse, 38);

    const Bytes first = AnswerOf('l', 0, 0, 1 + kPage + 2);
    ASSERT_EQ(first.size(), 1 + kPage + 2);
    EXPECT_EQ(first, BlockAnswer(Bytes(memory.begin(), memory.begin() + kPage)));
    EXPECT_EQ(first[1], 1) << "log number";
    EXPECT_EQ(first[2], 5) << "period in 20 ms units";
    EXPECT_EQ(first[3] + 256 * first[4], 0x7F) << "channel mask";

    const Bytes erased = AnswerOf('l', static_cast<uint8_t>(pagesInUse), 0, 1 + kPage + 2);
    EXPECT_EQ(erased, BlockAnswer(Bytes(kPage, 0xFF))) << "pages after the last log are erased";
    EXPECT_EQ(AnswerOf('l', 0x00, 0x10, 1 + kPage + 2), BlockAnswer(Bytes(kPage, 0xFF))) << "beyond the memory";
}

TEST_F(SimProtocol, PageWriteIsAcknowledgedByTheEchoAloneAndStored)
{
    StartSim();
    Bytes page(kPage);
    for (std::size_t i = 0; i < kPage; ++i)
        page[i] = static_cast<uint8_t>(i * 7);
    page[0] = 9;  // log number
    const Bytes frame = PageWrite(38, page);
    ASSERT_EQ(frame.size(), 269U);
    m_client.Send(frame);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(frame));
    const std::vector<uint8_t> memory = m_sim->LoggerMemory();
    EXPECT_TRUE(std::equal(page.begin(), page.end(), memory.begin() + 38 * kPage));
    EXPECT_EQ(m_sim->Cell(128), 4);
    EXPECT_EQ(m_sim->Cell(129), 39);

    // A page write with a wrong sum changes nothing.
    Bytes broken = PageWrite(39, page);
    broken.back() ^= 0xFF;
    m_client.Send(broken);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(broken));
    EXPECT_EQ(m_sim->LoggerMemory()[39 * kPage], 0xFF);
}

TEST_F(SimProtocol, EraseAllAndBlockEraseClearTheLogger)
{
    StartSim();
    // Block erase from the top: each request clears from its page to the end.
    EXPECT_EQ(AnswerOf('E', 0x00, 0x07), ShortAnswer('O'));  // page 1792
    EXPECT_EQ(AnswerOf('E', 20, 0), ShortAnswer('O'));
    std::vector<uint8_t> memory = m_sim->LoggerMemory();
    EXPECT_NE(memory[19 * kPage], 0xFF);
    EXPECT_TRUE(std::all_of(memory.begin() + 20 * kPage, memory.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(m_sim->Cell(129), 20);
    EXPECT_EQ(m_sim->Cell(128), 1);

    EXPECT_EQ(Ask('e', 'r', 's'), Concat(Command('e', 'r', 's'), ShortAnswer('O')));
    memory = m_sim->LoggerMemory();
    EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(m_sim->Cell(128), 0) << "no logs to download";
    EXPECT_EQ(m_sim->Cell(129), 0);
    EXPECT_EQ(m_sim->Cell(130), 0);
}

TEST_F(SimProtocol, DeviceWithoutLoggerIgnoresLoggerCommands)
{
    CEscSimulator::Options options;
    options.profile = "plain";
    StartSim(options);
    const Bytes sent = Concat(Concat(Command('l', 0, 0), Command('e', 'r', 's')), Command('E', 0, 0));
    m_client.Send(sent);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(sent));
    EXPECT_TRUE(m_sim->LoggerMemory().empty());
}

TEST_F(SimProtocol, TelemetryRecordFollowsTheServoAndTheClock)
{
    StartSim();
    m_sim->SetTempA(0x1234);
    auto record = [&](uint8_t servo) {
        const Bytes answer = AnswerOf('T', '-', servo, 1 + 64 + 2);
        EXPECT_EQ(answer.size(), 67U);
        if (answer.size() != 67U)
            return Bytes(64, 0);
        EXPECT_EQ(answer, BlockAnswer(Bytes(answer.begin() + 1, answer.end() - 2)));
        return Bytes(answer.begin() + 1, answer.end() - 2);
    };
    auto word = [](const Bytes& r, int at) { return r[static_cast<std::size_t>(at)] + 256 * r[static_cast<std::size_t>(at + 1)]; };

    Bytes r = record(1);
    EXPECT_EQ(r[3], 50) << "sample rate";
    EXPECT_EQ(r[7], 1) << "servo value";
    EXPECT_EQ(word(r, 14), 1000) << "servo pulse in us";
    EXPECT_EQ(word(r, 20), 0x1234) << "Temp A";
    EXPECT_EQ(word(r, 11), 0) << "motor at rest";

    // RPM (byte 11, in tens) rises towards full speed with full throttle ...
    const uint8_t startTick = r[6];
    EXPECT_TRUE(WaitFor([&] { r = record(255); return word(r, 11) * 10 > 8000; }));
    EXPECT_EQ(r[7], 255);
    EXPECT_EQ(word(r, 14), 2000);
    EXPECT_GT(word(r, 18), 300) << "current above 30 A";
    EXPECT_LT(word(r, 16), 1650) << "voltage sags under load";
    EXPECT_NE(r[6], startTick) << "the 20 ms tick counter advances with time";
    // ... and falls again when the throttle closes.
    EXPECT_TRUE(WaitFor([&] { r = record(1); return word(r, 11) < 50; }));
}

TEST_F(SimProtocol, BootLoaderTakesBlocksAndStartsTheNewFirmware)
{
    CEscSimulator::Options options;
    options.profile = "deprecated";
    StartSim(options);
    EXPECT_EQ(AnswerOf('u', 'p', 'd'), ShortAnswer('O'));
    EXPECT_TRUE(m_sim->InBootloader());

    Bytes image;
    for (int block = 0; block < 3; ++block) {
        Bytes data(144);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(block * 31 + i);
        data[10] = 'M';  // acknowledgement bytes inside the data are just data
        data[11] = 'O';
        data[12] = 0x9C;
        image.insert(image.end(), data.begin(), data.end());
        const Bytes frame = BlockSend(data);
        ASSERT_EQ(frame.size(), 148U);
        EXPECT_EQ(m_client.Exchange(frame, kShort), Concat(frame, Bytes{'M', 'O', 0x9C}));
    }
    Bytes broken = BlockSend(Bytes(144, 0x55));
    broken[146] ^= 0x01;
    m_client.Send(broken);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(broken)) << "a block with a bad CRC is not acknowledged";

    EXPECT_EQ(m_sim->UploadedFirmware(), image);
    EXPECT_FALSE(m_sim->InBootloader());
    EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(2)) << "the new firmware reports its version";
    EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(4));
    EXPECT_EQ(AnswerOf('r', 'e', 70), ShortAnswer(1)) << "the hardware stays";
}

TEST_F(SimProtocol, BlocksOutsideTheBootLoaderAreIgnored)
{
    StartSim();
    const Bytes block = BlockSend(Bytes(144, 0x11));
    m_client.Send(block);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(block));
    EXPECT_TRUE(m_sim->UploadedFirmware().empty());
}

TEST_F(SimProtocol, CorruptedAndBootLoaderOnlyDevices)
{
    CEscSimulator::Options zero;
    zero.corruptedFirmware = true;
    StartSim(zero);
    EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(0));
    EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(0));

    CEscSimulator::Options full255;
    full255.corruptedVersion255 = true;
    StartSim(full255);
    EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(0xFF));
    EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(0xFF));

    CEscSimulator::Options loader;
    loader.bootloaderOnly = true;
    StartSim(loader);
    EXPECT_TRUE(m_sim->InBootloader());
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(3));
    EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(0xFF));
    EXPECT_EQ(AnswerOf('r', 'e', 70), ShortAnswer(2));
    const Bytes unanswered = Concat(Command('w', 1, 1), Command('T', '-', 100));
    m_client.Send(unanswered);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence(unanswered));
    EXPECT_EQ(AnswerOf('u', 'p', 'd'), ShortAnswer('O'));
    EXPECT_EQ(m_client.Exchange(BlockSend(Bytes(144, 1)), kShort).size(), 151U);
    EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(2)) << "the uploaded firmware runs";
    EXPECT_FALSE(m_sim->InBootloader());

    CEscSimulator::Options refusing;
    refusing.firmwareUploadSupported = false;
    StartSim(refusing);
    EXPECT_EQ(AnswerOf('u', 'p', 'd'), ShortAnswer('N'));
}

TEST_F(SimProtocol, UnpluggedEscLeavesOnlyTheEcho)
{
    StartSim();
    m_sim->SetUnplugged(true);
    const Bytes probe = Command('s', 'e', 't');
    EXPECT_EQ(m_client.Exchange(probe, 0), probe);
    m_sim->SetUnplugged(false);
    EXPECT_EQ(m_client.ReceiveUpToFence(), EchoOnlyThenFence({}));

    // An ESC plugged in again has powered up afresh at 19200 baud.
    EXPECT_EQ(AnswerOf('S', 'P', 0x20), ShortAnswer('O'));
    ASSERT_TRUE(WaitForBaud(115200));
    m_sim->SetUnplugged(true);
    m_sim->SetUnplugged(false);
    EXPECT_EQ(m_sim->DeviceBaud(), 19200);
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
}

TEST_F(SimProtocol, LateAnswerArrivesAfterTheExtraDelay)
{
    StartSim();
    m_sim->SetExtraAnswerDelayMs(150);
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(150));
    m_sim->SetExtraAnswerDelayMs(0);
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
}

TEST_F(SimProtocol, CorruptedAnswersFailTheirSumOrCrc)
{
    StartSim();
    m_sim->CorruptNextAnswers(2);
    const Bytes a = AnswerOf('s', 'e', 't');
    ASSERT_EQ(a.size(), kShort);
    EXPECT_NE(a, ShortAnswer('O'));
    EXPECT_EQ(a[0], 'M');
    const Bytes range = AnswerOf('R', 64, 66, 6);
    ASSERT_EQ(range.size(), 6U);
    EXPECT_NE(range, BlockAnswer(Bytes{3, 2, 4})) << "the CRC no longer matches";
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O')) << "only the next two answers";
}

TEST_F(SimProtocol, NoiseAndDroppedBytesDisturbOneAnswer)
{
    StartSim();
    m_sim->InjectNoiseBeforeNextAnswer({0x00, 0x4D, 0xAA});
    EXPECT_EQ(AnswerOf('s', 'e', 't', 6), (Bytes{0x00, 0x4D, 0xAA, 'M', 'O', 0x9C}));

    m_sim->DropByteInNextAnswer();
    m_client.Send(Command('s', 'e', 't'));
    const Bytes got = m_client.ReceiveUpToFence();
    EXPECT_EQ(got.size(), 5U + 2U + 5U + 3U) << Hex(got);
    EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(3));
}

TEST_F(SimProtocol, ClosingThePtyHangsUpAndStartPlugsInANewLink)
{
    const std::string link = ::testing::TempDir() + "torv-sim-link-" + std::to_string(getpid());
    CEscSimulator::Options options;
    options.symlinkPath = link;
    StartSim(options);
    EXPECT_EQ(m_sim->DevicePath(), link);
    const std::string firstSlave = m_sim->SlavePath();
    EXPECT_EQ(AnswerOf('S', 'P', 0x20), ShortAnswer('O'));
    ASSERT_TRUE(WaitForBaud(115200));
    m_sim->SetCell(10, 77);

    m_sim->ClosePty();
    EXPECT_TRUE(m_client.LinkGone());
    EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link is removed";

    ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    EXPECT_EQ(m_sim->DeviceBaud(), 19200) << "a new link finds the ESC at 19200 baud";
    ASSERT_TRUE(m_client.Open(link));
    EXPECT_EQ(AnswerOf('r', 'e', 10), ShortAnswer(77)) << "the ESC keeps its cells";
    m_sim->Stop();
    EXPECT_NE(access(link.c_str(), F_OK), 0);
}

TEST_F(SimProtocol, ReopeningThePortKeepsThePairAlive)
{
    StartSim();
    for (int i = 0; i < 3; ++i) {
        m_client.Close();
        ASSERT_TRUE(m_client.Open(m_sim->DevicePath()));
        EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    }
}

TEST(SimLink, RefusesToReplaceAFileThatIsNotALink)
{
    const std::string path = ::testing::TempDir() + "torv-sim-file-" + std::to_string(getpid());
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("user data", file);
    std::fclose(file);
    CEscSimulator::Options options;
    options.symlinkPath = path;
    CEscSimulator sim(options);
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.LastError().find("not a symbolic link"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    std::remove(path.c_str());
}

TEST(SimLink, UnknownProfileDoesNotStart)
{
    CEscSimulator::Options options;
    options.profile = "turbo";
    CEscSimulator sim(options);
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.LastError().find("turbo"), std::string::npos);
}

TEST_F(SimProtocol, FramesAreRecordedInOrderWithTheirTimes)
{
    StartSim();
    AnswerOf('s', 'e', 't');
    AnswerOf('r', 'e', 64);
    AnswerOf('w', 3, 0);
    const std::vector<CEscSimulator::Frame> frames = m_sim->Frames();
    ASSERT_EQ(frames.size(), 3U);
    EXPECT_EQ(frames[0].bytes, Command('s', 'e', 't'));
    EXPECT_EQ(frames[1].bytes, Command('r', 'e', 64));
    EXPECT_EQ(frames[2].bytes, Command('w', 3, 0));
    EXPECT_LE(frames[0].at, frames[1].at);
    EXPECT_LE(frames[1].at, frames[2].at);
    EXPECT_EQ(frames[0].hostBaud, 19200);
    m_sim->ClearFrames();
    EXPECT_TRUE(m_sim->Frames().empty());
}

TEST_F(SimProtocol, LineTimingPacesBytesAtTheLineSpeed)
{
    CEscSimulator::Options options;
    options.lineTiming = true;
    options.processingDelayUs = 2000;
    StartSim(options);
    m_sim->ResetCounters();
    const auto sent = std::chrono::steady_clock::now();
    const Bytes all = AnswerOf('R', 0, 255, 259);
    const auto took = std::chrono::steady_clock::now() - sent;
    EXPECT_EQ(all.size(), 259U);
    // 264 bytes at 19200 baud, 10 bits each, plus the processing delay.
    EXPECT_GE(took, std::chrono::microseconds(264 * 10 * 1000000LL / 19200 + 2000));
    EXPECT_EQ(m_sim->BytesOnWire(), 264U);
    EXPECT_EQ(m_sim->ProcessingDelaysUs(), 2000U);
}
