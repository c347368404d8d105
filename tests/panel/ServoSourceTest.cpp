#include "panel/CServoSource.h"

#include <gtest/gtest.h>

namespace {

const CTrack kRamp = {{0, 50, 10, 200}};

TEST(ServoSourceTest, ExternalWordMapsToAPosition)
{
    const struct {
        quint16 word;
        quint8 position;
    } cases[] = {{1250, 100}, {0, 1}, {5000, 255}, {6, 1}, {19, 2}, {3181, 254}, {65535, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(CServoSource::ExternalPosition(c.word), c.position) << c.word;
}

TEST(ServoSourceTest, ExternalBeforeTrackBeforeSlider)
{
    CServoSource source;
    EXPECT_EQ(source.OnRecord(1250, 1), std::nullopt);  // the slider stays as the user set it
    EXPECT_TRUE(source.SetExternal(true));
    EXPECT_EQ(source.OnRecord(1250, 1), 100);

    source.Player().SetTrack(kRamp);
    EXPECT_EQ(source.Play(40), 10);
    EXPECT_FALSE(source.IsExternal());
    EXPECT_FALSE(source.SetExternal(true));  // not while playing
    EXPECT_EQ(source.OnRecord(1250, 25), 105);
    source.Player().TogglePause();
    EXPECT_EQ(source.OnRecord(1250, 25), std::nullopt);
    EXPECT_EQ(source.Stop(), 40);
    EXPECT_TRUE(source.SetExternal(true));
}

TEST(ServoSourceTest, HaltStopsEverythingAtOne)
{
    CServoSource source;
    source.Player().SetTrack(kRamp);
    source.Play(40);
    EXPECT_EQ(source.Halt(), 1);
    EXPECT_FALSE(source.Player().IsPlaying());
    EXPECT_EQ(source.OnRecord(1250, 25), std::nullopt);
}

TEST(ServoSourceTest, LostLinkHoldsOneUntilTheUserResumes)
{
    CServoSource source(3);
    source.Player().SetTrack(kRamp);
    source.Play(1);
    source.OnRecord(0, 10);
    EXPECT_EQ(source.ValueToSend(48), 48);
    EXPECT_FALSE(source.OnNoAnswer());
    EXPECT_EQ(source.ValueToSend(48), 1) << "in doubt from the first miss";
    EXPECT_FALSE(source.OnNoAnswer());
    EXPECT_TRUE(source.OnNoAnswer());
    EXPECT_FALSE(source.OnNoAnswer());  // reported once
    EXPECT_TRUE(source.IsLinkLost());
    EXPECT_TRUE(source.PausedByLinkLoss());

    // Answers return: the link is back, the track stays paused, 1 is sent.
    EXPECT_EQ(source.OnRecord(0, 200), std::nullopt);
    EXPECT_FALSE(source.IsLinkLost());
    EXPECT_TRUE(source.Player().IsPaused());
    EXPECT_EQ(source.ValueToSend(48), 1);
    source.SetPaused(false);
    EXPECT_FALSE(source.PausedByLinkLoss());
    EXPECT_EQ(source.OnRecord(0, 15), 105);
    EXPECT_EQ(source.Player().PlaybackTime(), 25u);
    EXPECT_EQ(source.ValueToSend(105), 105);

    // The external source goes off; the slider releases the hold.
    source.Stop();
    EXPECT_TRUE(source.SetExternal(true));
    for (int i = 0; i < 3; ++i)
        source.OnNoAnswer();
    EXPECT_FALSE(source.IsExternal());
    EXPECT_EQ(source.OnRecord(1250, 1), std::nullopt);
    EXPECT_EQ(source.ValueToSend(100), 1);
    source.Release();
    EXPECT_EQ(source.ValueToSend(100), 100);
}

TEST(ServoSourceTest, AnAnswerBetweenMissesKeepsTheLinkAndTheValue)
{
    CServoSource source(3);
    source.OnNoAnswer();
    source.OnNoAnswer();
    source.OnRecord(0, 1);
    EXPECT_EQ(source.ValueToSend(90), 90);
    EXPECT_FALSE(source.OnNoAnswer());
    EXPECT_FALSE(source.OnNoAnswer());
    EXPECT_FALSE(source.IsLinkLost());
    EXPECT_FALSE(source.IsHeld());
}

}
