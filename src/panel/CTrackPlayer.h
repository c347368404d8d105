#pragma once

#include "panel/CTrackSegment.h"

#include <QtGlobal>

#include <cstddef>
#include <optional>

// Plays a track against the telemetry stream's time base: each handled
// record advances the playback time by its tick difference and gives the
// servo value the track asks for at that time. Idle → loaded → playing ⇄
// paused → loaded again after Stop or the end of the track (unless repeat
// is on, which starts the track over).
class CTrackPlayer {
public:
    // Replaces the track. Playing, paused and repeat stay as they are; a
    // running playback starts over at the new track's first segment, and
    // unless paused the value to drive now is returned (its start value).
    // An empty track is ignored.
    std::optional<quint8> SetTrack(CTrack track);
    const CTrack& Track() const { return m_track; }
    bool HasTrack() const { return !m_track.empty(); }

    bool IsPlaying() const { return m_playing; }
    bool IsPaused() const { return m_paused; }
    bool IsRepeat() const { return m_repeat; }
    quint32 PlaybackTime() const { return m_time; }
    std::size_t CurrentSegment() const { return m_segment; }
    quint8 SavedPosition() const { return m_saved; }

    // Starts playback from the first segment, also while playing (the
    // position saved at the first Play stays) and while paused (it
    // unpauses). sliderPosition is the servo position before playback.
    // Returns the first segment's start value; none without a track.
    std::optional<quint8> Play(quint8 sliderPosition);

    // Ends playback and returns the position saved when it started.
    quint8 Stop();

    // Ends playback without returning to the saved position (used when the
    // servo must go to a safe value instead).
    void Halt();

    // Toggle the pause and repeat switches; return the new state. Pausing
    // does nothing unless playing.
    bool TogglePause();
    bool ToggleRepeat();
    void SetPaused(bool paused);

    // One handled record with the ticks since the previous one (only acts
    // while playing and not paused). Moves at most one segment on; returns
    // the servo value to drive, or none when nothing is to be driven. When
    // the track runs out without repeat, playback ends (IsPlaying() turns
    // false) and the servo keeps its last value.
    std::optional<quint8> Step(quint32 tickDifference);

    // The value of segment at playback time t: the straight line through
    // (start, startValue) and (end, endValue), floored and kept within
    // 1..255 (the playback time may have run past the segment's end). A
    // segment of no ticks gives its end value.
    static quint8 ValueAt(const CTrackSegment& segment, quint32 t);

private:
    CTrack m_track;
    bool m_playing = false;
    bool m_paused = false;
    bool m_repeat = false;
    quint32 m_time = 0;
    std::size_t m_segment = 0;
    quint8 m_saved = 1;
};
