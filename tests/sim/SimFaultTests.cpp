// The simulated ESC behind an honest cable: the echo never waits for the
// ESC, answers come in order after their turnaround, and the faults strike
// exactly the frames they name.

#include "SimProtocolFixture.h"

#include <chrono>

using namespace simtest;

namespace {

using Fault = CEscSimulator::Fault;
using Action = CEscSimulator::Fault::Action;
using Kind = CEscSimulator::AnswerKind;

// True when `stream` is `a` and `b` interleaved, each kept in order.
bool Interleaves(const Bytes& stream, const Bytes& a, const Bytes& b)
{
    if (stream.size() != a.size() + b.size())
        return false;
    // reach[j]: the first i + j bytes of the stream are a[0..i) and b[0..j) interleaved.
    std::vector<bool> reach(b.size() + 1, false);
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 && j == 0) {
                reach[0] = true;
                continue;
            }
            const uint8_t at = stream[i + j - 1];
            const bool fromA = i > 0 && reach[j] && a[i - 1] == at;
            const bool fromB = j > 0 && reach[j - 1] && b[j - 1] == at;
            reach[j] = fromA || fromB;
        }
    }
    return reach[b.size()];
}

class SimFaults : public SimProtocol {
protected:
    // Waits until the ESC's clock has passed `ms` after the newest frame it received.
    bool PassedSinceLastFrame(int ms)
    {
        const std::vector<CEscSimulator::Frame> frames = m_sim->Frames();
        if (frames.empty())
            return false;
        const auto end = frames.back().at + std::chrono::milliseconds(ms);
        return WaitFor([&] { return std::chrono::steady_clock::now() > end; });
    }
    bool ValidBlock(const Bytes& answer) const
    {
        return answer.size() >= 3 && answer == BlockAnswer(Bytes(answer.begin() + 1, answer.end() - 2));
    }
};

} // namespace

TEST_F(SimFaults, TheEchoComesBackWhileAnAnswerIsHeldAndAnswersKeepTheirOrder)
{
    StartSim();
    m_sim->AddFault(Fault{Action::Late, Kind::LoggerPage, 1, 1500});
    const Bytes page = Command('l', 0, 0);
    const Bytes read = Command('r', 'e', 64);
    ASSERT_TRUE(m_client.Send(page));
    EXPECT_EQ(m_client.Receive(page.size()), page) << "the echo does not wait for the held answer";
    // The page is asked again and a cell read follows, all while the first answer is held.
    ASSERT_TRUE(m_client.Send(Concat(page, read)));
    EXPECT_EQ(m_client.Receive(2 * page.size()), Concat(page, read));
    const std::vector<uint8_t> memory = m_sim->LoggerMemory();
    const Bytes first = BlockAnswer(Bytes(memory.begin(), memory.begin() + kPage));
    EXPECT_EQ(m_client.Receive(2 * kPageAnswer + kShort), Concat(Concat(first, first), ShortAnswer(3)))
        << "each request is answered, in order, the later ones behind the held one";

    std::vector<Kind> kinds;
    for (const CEscSimulator::Frame& frame : m_sim->Frames())
        kinds.push_back(frame.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::LoggerPage, Kind::LoggerPage, Kind::Short}));
}

TEST_F(SimFaults, WithLineTimingTheEchoRunsThroughAnAnswerBeingSent)
{
    CEscSimulator::Options options;
    options.lineTiming = true;
    StartSim(options);
    // Sent together: the probe crosses the line while the 259-byte answer to
    // the range read (135 ms at 19200 baud) has begun.
    const Bytes range = Command('R', 0, 255);
    const Bytes probe = Command('s', 'e', 't');
    ASSERT_TRUE(m_client.Send(Concat(range, probe)));
    const Bytes got = m_client.Receive(range.size() + 259 + probe.size() + kShort);
    ASSERT_EQ(got.size(), range.size() + 259 + probe.size() + kShort);
    const std::array<uint8_t, 256> cells = m_sim->Cells();
    const Bytes answer = BlockAnswer(Bytes(cells.begin(), cells.end()));
    const Bytes middle(got.begin() + 5, got.end() - 3);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), range);
    EXPECT_TRUE(Interleaves(middle, answer, probe));
    EXPECT_NE(middle, Concat(answer, probe)) << "the echo waited for the answer";
    EXPECT_NE(middle, Concat(probe, answer)) << "the answer waited for the echo";
    EXPECT_EQ(Bytes(got.end() - 3, got.end()), ShortAnswer('O')) << "the probe is answered after the range";
}

TEST_F(SimFaults, TurnaroundsDependOnWhatIsAsked)
{
    CEscSimulator::Options options;
    options.pageTurnaroundUs = 7000;
    options.ackTurnaroundUs = 11000;
    options.processingDelayUs = 500;
    StartSim(options);
    const struct { Bytes frame; std::size_t answer; uint64_t us; } cases[] = {
        {Command('l', 3, 0), kPageAnswer, 7000},
        {Command('u', 'p', 'd'), kShort, 500},
        {BlockSend(Bytes(144, 1)), kShort, 11000},
    };
    for (const auto& c : cases) {
        m_sim->ResetCounters();
        EXPECT_EQ(AnswerOf(c.frame, c.answer).size(), c.answer);
        EXPECT_EQ(m_sim->ProcessingDelaysUs(), c.us) << char(c.frame[1]);
    }
}

TEST_F(SimFaults, EachFaultStrikesOnlyTheNthFrameOfItsKind)
{
    StartSim();
    m_sim->AddFault(Fault{Action::Corrupt, Kind::Telemetry, 2, 0});
    m_sim->AddFault(Fault{Action::DropByte, Kind::Short, 2, 0});
    EXPECT_TRUE(ValidBlock(AnswerOf('T', '-', 1, 67)));
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O')) << "short answer 1";
    const Bytes spoiled = AnswerOf('T', '-', 1, 67);
    EXPECT_TRUE(spoiled.size() == 67U && !ValidBlock(spoiled)) << "record 2: its CRC is wrong";
    EXPECT_EQ(m_client.Fence(Command('s', 'e', 't')).size(), 5U + 2U + 5U + 3U) << "short answer 2 lost a byte";
    EXPECT_TRUE(ValidBlock(AnswerOf('T', '-', 1, 67)));

    // Silence: the page answer and the cell read right behind it are lost;
    // after the silence the ESC answers again.
    m_sim->AddFault(Fault{Action::Silence, Kind::LoggerPage, 1, 400});
    const Bytes both = Concat(Command('l', 0, 0), Command('r', 'e', 64));
    ASSERT_TRUE(m_client.Send(both));
    EXPECT_EQ(m_client.Receive(both.size()), both);
    ASSERT_TRUE(PassedSinceLastFrame(400));
    EXPECT_EQ(m_client.Fence(), Fenced({})) << "nothing came for the silenced frames";

    // Unplug for a time: the frame that meets it gets only the echo; the ESC
    // then powers up afresh at 19200 baud.
    ASSERT_TRUE(SwitchTo(0x20, 115200));
    m_sim->AddFault(Fault{Action::Unplug, Kind::Any, 2, 300});
    EXPECT_EQ(AnswerOf('s', 'e', 't'), ShortAnswer('O'));
    EXPECT_EQ(m_client.Exchange(Command('s', 'e', 't'), 0), Command('s', 'e', 't'));
    ASSERT_TRUE(PassedSinceLastFrame(300));
    EXPECT_TRUE(WaitFor([&] { return m_sim->DeviceBaud() == 19200; }));
    ASSERT_TRUE(m_client.SetBaud(19200));
    EXPECT_EQ(m_client.Fence(), Fenced({}));
    EXPECT_FALSE(m_sim->Frames()[m_sim->Frames().size() - 2].understood);

    // Unplugged without a time, or by hand, it stays away until plugged in
    // by hand; then it has powered up afresh at 19200 baud.
    for (const bool byHand : {false, true}) {
        SCOPED_TRACE(byHand ? "unplugged by hand" : "unplugged by a fault");
        ASSERT_TRUE(SwitchTo(0x20, 115200));
        if (byHand)
            m_sim->SetUnplugged(true);
        else
            m_sim->AddFault(Fault{Action::Unplug, Kind::Short, 1, 0});
        EXPECT_EQ(m_client.Exchange(Command('s', 'e', 't'), 0), Command('s', 'e', 't'));
        ASSERT_TRUE(PassedSinceLastFrame(100));
        EXPECT_EQ(m_client.Exchange(Command('s', 'e', 't'), 0), Command('s', 'e', 't'));
        EXPECT_FALSE(m_sim->Frames().back().understood) << "still unplugged";
        m_sim->SetUnplugged(false);
        EXPECT_EQ(m_sim->DeviceBaud(), 19200);
        ASSERT_TRUE(m_client.SetBaud(19200));
        EXPECT_EQ(m_client.Fence(), Fenced({}));
    }
}

TEST(SimFaultText, ParsesEveryActionAndKindAndNamesWhatIsWrong)
{
    const struct { const char* text; bool ok; Action action; Kind kind; int nth, ms; const char* error; } cases[] = {
        {"late:page:5:1500", true, Action::Late, Kind::LoggerPage, 5, 1500, ""},
        {"silence:any:1:800", true, Action::Silence, Kind::Any, 1, 800, ""},
        {"unplug:ack:3:1000", true, Action::Unplug, Kind::FirmwareAck, 3, 1000, ""},
        {"unplug:short:2", true, Action::Unplug, Kind::Short, 2, 0, ""},
        {"corrupt:record:2", true, Action::Corrupt, Kind::Telemetry, 2, 0, ""},
        {"DropByte:Short:1", true, Action::DropByte, Kind::Short, 1, 0, ""},
        {"late:page:5", false, {}, {}, 0, 0, "needs a time"},
        {"corrupt:page:1:20", false, {}, {}, 0, 0, "takes no time"},
        {"stall:page:1:20", false, {}, {}, 0, 0, "unknown fault action \"stall\""},
        {"late:pages:1:20", false, {}, {}, 0, 0, "unknown answer kind \"pages\""},
        {"late:page:0:20", false, {}, {}, 0, 0, "from 1"},
        {"late:page:x:20", false, {}, {}, 0, 0, "\"x\""},
        {"silence:any:1:-5", false, {}, {}, 0, 0, "\"-5\""},
        {"late", false, {}, {}, 0, 0, "action:kind:nth[:ms]"},
        {"", false, {}, {}, 0, 0, "action:kind:nth[:ms]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Fault fault;
        std::string error;
        ASSERT_EQ(CEscSimulator::ParseFault(c.text, fault, error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(fault.action, c.action);
            EXPECT_EQ(fault.kind, c.kind);
            EXPECT_EQ(fault.nth, c.nth);
            EXPECT_EQ(fault.ms, c.ms);
        } else {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST_F(SimFaults, BootLoaderStartsTheNewFirmwareOnlyOnceAWholeImageHasArrived)
{
    // An image of three blocks whose bytes differ, an acknowledgement inside the first.
    Bytes image(3 * 144);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 31);
    std::copy_n(ShortAnswer('O').begin(), 3, image.begin() + 10);
    const auto blocks = [&](int from, int to) { return Bytes(image.begin() + from * 144, image.begin() + to * 144); };
    auto upload = [&](int count) {
        EXPECT_EQ(AnswerOf('u', 'p', 'd'), ShortAnswer('O'));
        EXPECT_TRUE(m_sim->InBootloader());
        for (int block = 0; block < count; ++block)
            EXPECT_EQ(AnswerOf(BlockSend(blocks(block, block + 1))), ShortAnswer('O'));
    };
    auto onlyBootLoader = [&] {
        EXPECT_TRUE(m_sim->InBootloader());
        EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(0xFF)) << "no firmware version";
        EXPECT_EQ(AnswerOf('r', 'e', 64), ShortAnswer(3));
        EXPECT_EQ(m_client.Fence(Command('w', 1, 1)), Fenced(Command('w', 1, 1))) << "no application answers";
    };
    auto newFirmware = [&](uint8_t hardware) {
        EXPECT_EQ(AnswerOf('r', 'e', 65), ShortAnswer(2)) << "the new firmware reports its version";
        EXPECT_EQ(AnswerOf('r', 'e', 66), ShortAnswer(4));
        EXPECT_EQ(AnswerOf('r', 'e', 70), ShortAnswer(hardware)) << "the hardware stays";
        EXPECT_FALSE(m_sim->InBootloader());
    };

    // Without a known size, the image is whole when an ordinary frame follows its blocks.
    const struct { const char* what; CEscSimulator::Options options; uint8_t hardware; } cases[] = {
        {"deprecated", SimOptions("deprecated"), 1}, {"boot loader only", SimOptions("full", true), 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StartSim(c.options);
        upload(2);
        newFirmware(c.hardware);
        EXPECT_EQ(m_sim->UploadedFirmware(), blocks(0, 2));
    }

    // The boot loader knows a whole image: three blocks.
    CEscSimulator::Options options;
    options.firmwarePages = 3;
    StartSim(options);
    upload(2);
    onlyBootLoader();
    m_sim->SetUnplugged(true);
    m_sim->SetUnplugged(false);
    onlyBootLoader();
    upload(3);
    EXPECT_FALSE(m_sim->InBootloader()) << "the firmware starts after the last block";
    newFirmware(2);
    EXPECT_EQ(m_sim->UploadedFirmware(), image);

    // Without a known size, a power cut in the middle of the upload leaves
    // only the boot loader too.
    StartSim();
    upload(1);
    m_sim->AddFault(Fault{Action::Unplug, Kind::FirmwareAck, 1, 50});
    EXPECT_EQ(m_client.Exchange(BlockSend(blocks(1, 2)), 0), BlockSend(blocks(1, 2)));
    ASSERT_TRUE(PassedSinceLastFrame(50));
    onlyBootLoader();
    upload(2);
    newFirmware(2);
}
