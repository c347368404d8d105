#include "panel/CTrackPlayer.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using Values = std::vector<std::optional<quint8>>;

// Ticks 0-50 ramping 10 to 200, then 50-75 holding 200.
const CTrack kRamp = {{0, 50, 10, 200}, {50, 75, 200, 200}};

Values Steps(CTrackPlayer& player, const std::vector<quint32>& ticks)
{
    Values values;
    for (quint32 t : ticks)
        values.push_back(player.Step(t));
    return values;
}

TEST(TrackPlayerTest, ValueFollowsTheSegmentsLine)
{
    const struct {
        CTrackSegment segment;
        quint32 t;
        quint8 value;
    } cases[] = {
        {{0, 50, 10, 200}, 0, 10},    {{0, 50, 10, 200}, 25, 105},  {{0, 50, 10, 200}, 49, 196},
        {{0, 50, 10, 200}, 50, 200},  {{0, 50, 200, 10}, 1, 196},   {{0, 50, 10, 200}, 80, 255},
        {{0, 50, 200, 10}, 80, 1},    {{10, 20, 5, 6}, 15, 5},      {{10, 10, 5, 9}, 10, 9},
        {{10, 10, 5, 9}, 11, 9},      {{100, 200, 50, 60}, 5, 255},  // time before the start wraps
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTrackPlayer::ValueAt(c.segment, c.t), c.value) << c.segment.start << "-" << c.segment.end << " at " << c.t;
}

TEST(TrackPlayerTest, AtItsEndTheTrackStopsOrWithRepeatStartsOver)
{
    CTrackPlayer player;
    player.SetTrack(kRamp);
    EXPECT_EQ(player.Play(77), 10);
    EXPECT_EQ(Steps(player, {25, 25, 1, 24, 1}), (Values{105, 200, 200, 200, std::nullopt}));
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.SavedPosition(), 77);
    EXPECT_EQ(player.Step(5), std::nullopt);

    // With repeat it starts over without stopping.
    player.ToggleRepeat();
    player.Play(1);
    EXPECT_EQ(Steps(player, {60, 20, 5}), (Values{200, 10, 29}));
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(player.PlaybackTime(), 5u);
}

TEST(TrackPlayerTest, AtMostOneSegmentAdvancesPerRecord)
{
    CTrackPlayer player;
    player.SetTrack({{0, 1, 10, 20}, {1, 2, 20, 30}, {2, 3, 30, 40}, {3, 100, 40, 40}});
    player.Play(1);
    // Ten ticks at once: only the second segment is reached, and its line
    // carried on past its end gives 20 + 9 * 10.
    EXPECT_EQ(player.Step(10), 110);
    EXPECT_EQ(player.CurrentSegment(), 1u);
    EXPECT_EQ(player.Step(0), 110);  // still behind: the next record moves one more (30 + 8 * 10)
    EXPECT_EQ(player.CurrentSegment(), 2u);
}

TEST(TrackPlayerTest, PauseHoldsTimeAndPlayUnpauses)
{
    CTrackPlayer player;
    EXPECT_EQ(player.Play(3), std::nullopt);  // nothing to play yet
    player.SetTrack(kRamp);
    EXPECT_FALSE(player.TogglePause());       // not playing: no pause
    player.Play(3);
    player.Step(10);
    EXPECT_TRUE(player.TogglePause());
    EXPECT_EQ(player.Step(10), std::nullopt);
    EXPECT_EQ(player.PlaybackTime(), 10u);
    EXPECT_EQ(player.Play(40), 10);  // starts over, unpaused, keeps the first saved position
    EXPECT_FALSE(player.IsPaused());
    EXPECT_EQ(player.PlaybackTime(), 0u);
    EXPECT_EQ(player.Stop(), 3);
    EXPECT_FALSE(player.IsPlaying());
}

TEST(TrackPlayerTest, NewTrackWhilePlayingStartsOverAtItsFirstSegment)
{
    CTrackPlayer player;
    player.SetTrack(kRamp);
    EXPECT_EQ(player.SetTrack({}), std::nullopt);  // an empty track is ignored
    EXPECT_EQ(player.Track(), kRamp);
    player.Play(1);
    player.Step(60);
    EXPECT_EQ(player.SetTrack({{0, 10, 30, 40}}), 30);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(player.PlaybackTime(), 0u);
    EXPECT_EQ(player.CurrentSegment(), 0u);
    EXPECT_EQ(player.Step(5), 35);
}

}
