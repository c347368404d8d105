#include <QCoreApplication>

#include <gtest/gtest.h>

#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "melody/CMelodyPreview.h"
#include "melody/RecordingMidiOut.h"

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QCoreApplication>::Register();

using Event = CMelodyPreview::Event;
using Bytes = std::vector<uint8_t>;

TEST(MelodyPreviewTest, NotesBecomeNoteOnAndOffOnChannel8AtTheirLengths)
{
    const struct {
        const char* name;
        Bytes bytes;
        std::vector<Event> events;
        int lengthMs;
    } cases[] = {
        {"whole note 0x01", {0x00, 0x01, 0xFF}, {{0, 0x97, 61, 127}, {127, 0x87, 61, 0}}, 127},
        {"pause of length 8", {0x00, 0x60, 0xFF}, {}, 15},
        {"marked eighth after a half", {0x05, 0x21, 0xE8, 0xFF},
         {{0, 0x97, 61, 127}, {63, 0x87, 61, 0}, {63, 0x97, 68, 0x7F}, {78, 0x87, 68, 0}}, 78},
        {"lead byte only", {0x78, 0xFF}, {}, 0},
        {"ends at the terminator", {0x00, 0x40, 0xFF, 0x01}, {}, 31},
    };
    for (const auto& c : cases) {
        const CMelodyPreview::Schedule schedule = CMelodyPreview::MakeSchedule(c.bytes);
        EXPECT_EQ(schedule.events, c.events) << c.name;
        EXPECT_EQ(schedule.lengthMs, c.lengthMs) << c.name;
    }

    // At most 31 bytes are looked at: 30 notes after the lead byte.
    const CMelodyPreview::Schedule longest = CMelodyPreview::MakeSchedule(Bytes(40, 0x61));
    EXPECT_EQ(longest.events.size(), 60u);
    EXPECT_EQ(longest.lengthMs, 30 * 15);
}

TEST(MelodyPreviewTest, PlaySendsTheMessagesInOrderNoSoonerThanTheirTimes)
{
    auto record = std::make_shared<MidiRecord>();
    CMelodyPreview preview(CRecordingMidiOut::Factory(record));
    bool finished = false;
    QObject::connect(&preview, &CMelodyPreview::finished, [&finished] { finished = true; });

    const Bytes melody = {0x00, 0x41, 0x60, 0x63, 0xFF};  // C4, pause 8, D8
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(preview.Play(melody));
    ASSERT_TRUE(WaitFor([&finished] { return finished; }));
    const auto end = std::chrono::steady_clock::now();

    const CMelodyPreview::Schedule schedule = CMelodyPreview::MakeSchedule(melody);
    ASSERT_EQ(record->messages.size(), schedule.events.size());
    for (size_t i = 0; i < schedule.events.size(); ++i) {
        const MidiRecord::Message& sent = record->messages[i];
        const Event& due = schedule.events[i];
        EXPECT_EQ(Event({due.atMs, sent.status, sent.data1, sent.data2}), due) << i;
        EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(sent.at - start).count(), due.atMs) << i;
    }
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count(), schedule.lengthMs);
    EXPECT_FALSE(preview.Playing());
    EXPECT_EQ(record->closed, 1) << "the output is closed after the melody";
}

TEST(MelodyPreviewTest, StopSilencesTheSoundingNoteAndTheChannel)
{
    auto record = std::make_shared<MidiRecord>();
    CMelodyPreview preview(CRecordingMidiOut::Factory(record));
    bool finished = false;
    QObject::connect(&preview, &CMelodyPreview::finished, [&finished] { finished = true; });
    ASSERT_TRUE(preview.Play({0x00, 0x01, 0x03, 0xFF}));
    preview.Stop();
    ASSERT_EQ(record->messages.size(), 3u);
    EXPECT_EQ(record->messages[1].status, 0x87);
    EXPECT_EQ(record->messages[1].data1, 61);
    EXPECT_EQ(record->messages[2].status, 0xB7);
    EXPECT_EQ(record->messages[2].data1, 123);
    EXPECT_EQ(record->closed, 1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(finished);

    CMelodyPreview silent(CRecordingMidiOut::Factory(nullptr));
    EXPECT_FALSE(silent.Play({0x00, 0x01, 0xFF}));
    EXPECT_FALSE(silent.Playing());
}

}
