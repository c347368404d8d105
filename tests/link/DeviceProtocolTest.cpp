#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "common/CSimulatedLink.h"
#include "common/CCountingHost.h"
#include "common/PatientLimits.h"
#include "common/WaitFor.h"
#include "link/CDeviceProtocol.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DeviceProtocolTest : public ::testing::Test {
protected:
    DeviceProtocolTest() : protocol(link.Port(), link.ShortCollector(), host) {}

    void SetUp() override
    {
        ASSERT_TRUE(link.OpenPort(19200));
        link.Sim().ClearFrames();
        protocol.SetLimits(kPatient);
    }

    // Answers that come may take long on a busy machine; where an exchange
    // is meant to fail, the short limits keep the test quick.
    const CDeviceProtocol::Limits kPatient = PatientLimits();
    static constexpr CDeviceProtocol::Limits kQuick{100, 100, 100, 100, 100};

    Bytes LastFrame() const
    {
        const auto frames = link.ReceivedFrames();
        return frames.empty() ? Bytes{} : frames.back();
    }

    CSimulatedLink link;
    CCountingHost host;
    CDeviceProtocol protocol;
};

// Every exchange stops the refresh timer; a read restarts it, the probe not.
TEST_F(DeviceProtocolTest, ExchangesSendExactFramesStopTheRefreshTimerAndRangeReadsNeedTheCapability)
{
    EXPECT_TRUE(protocol.Probe());
    EXPECT_EQ(LastFrame(), (Bytes{'M', 's', 'e', 't', 0x99}));
    EXPECT_EQ(host.stops, 1);
    EXPECT_EQ(host.restarts, 0);

    uint8_t value = 0;
    ASSERT_TRUE(protocol.LoadCell(64, value));
    EXPECT_EQ(LastFrame(), (Bytes{'M', 'r', 'e', 0x40, 0x64}));
    EXPECT_EQ(value, link.Sim().Cell(64));
    EXPECT_EQ(host.stops, 2);
    EXPECT_EQ(host.restarts, 1);

    ASSERT_TRUE(protocol.WriteCell(10, 200));
    EXPECT_EQ(LastFrame(), (Bytes{'M', 'w', 0x0A, 0xC8, 0x96}));
    EXPECT_EQ(link.Sim().Cell(10), 200);

    link.Sim().ClearFrames();
    std::array<uint8_t, 256> cells{};
    EXPECT_FALSE(protocol.LoadCells(0, 255, cells.data())) << "range reads need the R capability";
    EXPECT_TRUE(link.ReceivedFrames().empty());
    protocol.SetCapabilities(false, true);
    ASSERT_TRUE(protocol.LoadCells(0, 255, cells.data()));
    EXPECT_EQ(LastFrame(), (Bytes{'M', 'R', 0x00, 0xFF, static_cast<uint8_t>('M' + 'R' + 0xFF)}));
    EXPECT_EQ(cells, link.Sim().Cells());
}

TEST_F(DeviceProtocolTest, ReadsAreRetriedThreeTimesAndWritesNever)
{
    uint8_t value = 0;
    link.Sim().CorruptNextAnswers(2);
    EXPECT_TRUE(protocol.LoadCell(65, value));
    EXPECT_EQ(link.ReceivedFrames().size(), 3U);
    link.Sim().InjectNoiseBeforeNextAnswer({0x00, 0x4D, 0x13});
    EXPECT_TRUE(protocol.LoadCell(70, value)) << "noise before an answer is tolerated by the retry";
    EXPECT_EQ(value, link.Sim().Cell(70));

    link.Sim().ClearFrames();
    protocol.SetLimits(kQuick);
    link.Sim().CorruptNextAnswers(3);
    EXPECT_FALSE(protocol.LoadCell(65, value));
    EXPECT_EQ(link.ReceivedFrames().size(), 3U);

    // A failed range read is tried three times and leaves the output as it was.
    link.Sim().ClearFrames();
    link.Sim().SetUnplugged(true);
    protocol.SetCapabilities(false, true);
    std::array<uint8_t, 256> untouched{};
    untouched.fill(0x5A);
    std::array<uint8_t, 256> cells = untouched;
    EXPECT_FALSE(protocol.LoadCells(16, 31, cells.data()));
    EXPECT_EQ(link.ReceivedFrames().size(), 3U);
    EXPECT_EQ(cells, untouched);

    link.Sim().ClearFrames();
    EXPECT_FALSE(protocol.WriteCell(5, 1));
    EXPECT_EQ(link.ReceivedFrames().size(), 1U);
    EXPECT_FALSE(protocol.LeaveLink()) << "an ESC that is gone confirms nothing";
    link.Sim().SetUnplugged(false);
}

TEST_F(DeviceProtocolTest, OnAClosedPortEveryCommandFailsAtOnce)
{
    protocol.SetCapabilities(true, true);
    link.Sim().SetCell(94, 0x24);
    // Limits far beyond the test's patience: a command that waited them out
    // would show.
    protocol.SetLimits({20000, 20000, 20000, 20000, 20000});
    link.Port().Close();
    QElapsedTimer elapsed;
    elapsed.start();
    uint8_t value = 0;
    std::array<uint8_t, 256> cells{};
    EXPECT_FALSE(protocol.SendCommand('s', 'e', 't', value, 20000, false));
    EXPECT_FALSE(protocol.LoadCell(64, value));
    EXPECT_FALSE(protocol.LoadCells(0, 255, cells.data()));
    EXPECT_FALSE(protocol.ChangeLinkSpeed(0));
    EXPECT_FALSE(protocol.ChangeLinkSpeed(115200));
    EXPECT_LT(elapsed.elapsed(), 10000);
    EXPECT_FALSE(link.Port().IsOpen()) << "a speed change does not open a closed port";
    EXPECT_EQ(host.reconnects, 0);
    EXPECT_TRUE(link.ReceivedFrames().empty());
}

TEST_F(DeviceProtocolTest, AnAnswerLaterThanItsExchangeIsNeverTakenForALaterRequest)
{
    // Every cell reads differently, so an answer taken for the wrong request
    // shows. The echo comes at once while the ESC answers late, in order.
    const auto expected = [](int cell) { return static_cast<uint8_t>(0x30 + cell); };
    for (int cell = 0; cell < 16; ++cell)
        link.Sim().SetCell(cell, expected(cell));
    const auto readCells = [&](int from, int to) {
        int read = 0;
        for (int cell = from; cell < to; ++cell) {
            uint8_t value = 0;
            if (!protocol.LoadCell(cell, value))
                continue;
            ++read;
            EXPECT_EQ(value, expected(cell)) << "cell " << cell << " took the answer of cell " << value - 0x30;
        }
        return read;
    };
    protocol.SetLimits({200, 200, 200, 200, 200});
    // Answers 320 ms late for a while, then in time again.
    link.Sim().SetExtraAnswerDelayMs(320);
    readCells(0, 3);
    link.Sim().SetExtraAnswerDelayMs(0);
    EXPECT_EQ(readCells(3, 16), 13);
    // One answer held back beyond all three attempts of its read.
    CEscSimulator::Fault late;
    late.action = CEscSimulator::Fault::Action::Late;
    late.kind = CEscSimulator::AnswerKind::Short;
    late.ms = 700;
    link.Sim().AddFault(late);
    uint8_t value = 0;
    EXPECT_FALSE(protocol.LoadCell(0, value));
    EXPECT_EQ(readCells(1, 16), 15);
}

TEST_F(DeviceProtocolTest, UpgradeChoosesTheFastestSupportedSpeedAndTheLinkWorksThere)
{
    link.Sim().SetCell(94, 0x24);
    EXPECT_FALSE(protocol.ChangeLinkSpeed(0)) << "no S capability";
    protocol.SetCapabilities(true, false);
    protocol.SetStoredLinkSpeed(-19200);
    EXPECT_FALSE(protocol.ChangeLinkSpeed(0)) << "a negative stored speed never upgrades";
    protocol.SetStoredLinkSpeed(19200);
    link.Sim().SetCell(94, 0xFF);
    EXPECT_FALSE(protocol.ChangeLinkSpeed(0)) << "an erased speed cell allows nothing";
    EXPECT_EQ(link.Sim().DeviceBaud(), 19200);

    link.Sim().SetCell(94, 0x24);
    ASSERT_TRUE(protocol.ChangeLinkSpeed(0));
    bool sawSpeedChange = false;
    for (const Bytes& frame : link.ReceivedFrames())
        sawSpeedChange |= frame == Bytes{'M', 'S', 'P', 0x20, static_cast<uint8_t>('M' + 'S' + 'P' + 0x20)};
    EXPECT_TRUE(sawSpeedChange);
    EXPECT_EQ(link.Port().LinkSpeed(), 115200);
    EXPECT_EQ(link.Sim().DeviceBaud(), 115200);
    EXPECT_EQ(protocol.StoredLinkSpeed(), 115200);

    uint8_t value = 0;
    EXPECT_TRUE(protocol.LoadCell(64, value));
    EXPECT_EQ(value, link.Sim().Cell(64));

    // Already at the fastest speed: nothing more to do.
    EXPECT_FALSE(protocol.ChangeLinkSpeed(0));

    // Leaving the link returns the ESC to 19200 baud, confirmed, and the
    // stored speed to the setup's: the next connection upgrades again.
    EXPECT_TRUE(protocol.LeaveLink());
    EXPECT_TRUE(WaitFor([this] { return link.Sim().DeviceBaud() == 19200; }));
    EXPECT_EQ(protocol.StoredLinkSpeed(), 19200);
    ASSERT_TRUE(link.OpenPort(19200));
    EXPECT_TRUE(protocol.ChangeLinkSpeed(0));
    EXPECT_EQ(link.Sim().DeviceBaud(), 115200);
}

TEST_F(DeviceProtocolTest, HandshakeAlternatesSpeedsUntilTheEscAnswersAndReportsAMissingPort)
{
    // Put the ESC at 4800 baud: the even attempt at 19200 finds nothing, the
    // odd one at 4800 identifies it.
    link.Sim().SetCell(94, 0x25);
    ASSERT_TRUE(protocol.ChangeLinkSpeed(4800));
    ASSERT_EQ(link.Sim().DeviceBaud(), 4800);

    uint32_t attempt = 0;
    CDeviceProtocol::Identity identity;
    protocol.SetLimits(kQuick);
    EXPECT_EQ(protocol.Handshake(link.PortName(), attempt, identity), CDeviceProtocol::HandshakeResult::NoAnswer);
    protocol.SetLimits(kPatient);
    EXPECT_EQ(attempt, 1U);
    EXPECT_EQ(link.Port().LinkSpeed(), 19200);
    ASSERT_EQ(protocol.Handshake(link.PortName(), attempt, identity), CDeviceProtocol::HandshakeResult::Answered);
    EXPECT_EQ(attempt, 2U);
    EXPECT_EQ(link.Port().LinkSpeed(), 4800);
    EXPECT_EQ((Bytes{identity.type, identity.major, identity.minor, identity.hardware}),
              (Bytes{link.Sim().Cell(64), link.Sim().Cell(65), link.Sim().Cell(66), link.Sim().Cell(70)}));

    // A port that cannot be opened is reported and not counted as an attempt.
    EXPECT_EQ(protocol.Handshake(QStringLiteral("/dev/torv-no-such-port"), attempt, identity),
              CDeviceProtocol::HandshakeResult::PortNotOpened);
    EXPECT_EQ(attempt, 2U);
}

}
