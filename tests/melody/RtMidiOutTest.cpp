#include "melody/midi/CRtMidiOut.h"

#include <QCoreApplication>
#include <QFile>

#include <RtMidi.h>

#include <gtest/gtest.h>

#include "common/TestApplication.h"
#include "common/WaitFor.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register();

const std::string kThrough = "Midi Through:Midi Through Port-0 14:0";

TEST(RtMidiOut, ThePreviewTakesThePortThatMakesSoundAndMidiThroughOnlyWhenAlone)
{
    const struct {
        const char* name;
        std::vector<std::string> ports;
        int chosen;
    } cases[] = {
        {"a synthesizer after Midi Through", {kThrough, "FLUID Synth (4242):Synth input port (4242:0) 128:0"}, 1},
        {"a device before Midi Through", {"UM-ONE:UM-ONE MIDI 1 24:0", kThrough}, 0},
        {"Midi Through alone", {kThrough}, 0},
        {"no port", {}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CRtMidiOut::ChoosePort(c.ports), c.chosen) << c.name;
    EXPECT_TRUE(CRtMidiOut::IsThroughName(kThrough));
    EXPECT_FALSE(CRtMidiOut::IsThroughName("TiMidity:TiMidity port 0 128:0"));
}

// Runs only where an ALSA sequencer exists: a virtual input port stands in
// for a synthesizer, so a port that makes sound is always there.
TEST(RtMidiOut, PlaysOnTheSequencerWhereThereIsOne)
{
    if (!QFile::exists(QStringLiteral("/dev/snd/seq")))
        GTEST_SKIP() << "no ALSA sequencer (/dev/snd/seq) on this machine";
    std::unique_ptr<RtMidiIn> synth;
    try {
        synth = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "TORV test synth");
        synth->openVirtualPort("synth input");
    } catch (const RtMidiError& error) {
        GTEST_SKIP() << "the ALSA sequencer cannot be used: " << error.getMessage();
    }

    const std::unique_ptr<IMidiOut> out = CRtMidiOut::Open();
    ASSERT_NE(out, nullptr) << "no output although a port exists";
    EXPECT_FALSE(out->IsThroughPort());
    const std::string& port = static_cast<CRtMidiOut&>(*out).PortName();
    out->Send(0x97, 61, 0x7F);
    out->Send(0x87, 61, 0);
    // Another sound port of the desktop may come first; then it got the notes.
    if (port.find("TORV test synth") == std::string::npos)
        GTEST_SKIP() << "the preview chose " << port;

    std::vector<std::vector<unsigned char>> received;
    const bool both = WaitFor([&] {
        std::vector<unsigned char> message;
        synth->getMessage(&message);
        if (!message.empty())
            received.push_back(message);
        return received.size() >= 2;
    }, 10000);
    ASSERT_TRUE(both) << "the synthesizer port received " << received.size() << " of 2 messages";
    EXPECT_EQ(received[0], (std::vector<unsigned char>{0x97, 61, 0x7F}));
    // ALSA may deliver a note-off as a note-on with velocity 0.
    EXPECT_EQ(received[1][1], 61);
    EXPECT_EQ(received[1][2], 0);
}

} // namespace
