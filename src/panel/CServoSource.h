#pragma once

#include "panel/CTrackPlayer.h"

#include <QtGlobal>

#include <optional>

// Decides the servo value of the next telemetry request, once per handled
// record: the external signal at the ESC's Temp A input when that source is
// on, else the playing track (unless paused), else the slider as the user
// set it. It owns the track player and watches the stream for a lost link.
//
// A request without an answer leaves the ESC's state in doubt: until the
// next record arrives, the servo value sent is 1. When answers stop (the
// link counts as lost), the servo is held at 1: a running playback pauses,
// the external source goes off, and the hold lasts, also once answers
// return, until the user acts (moves the slider, presses Pause, Play or
// Stop, or switches the external source on).
class CServoSource {
public:
    // Consecutive unanswered requests (100 ms each) after which the link
    // counts as lost.
    static constexpr int kDefaultNoAnswerLimit = 3;

    explicit CServoSource(int noAnswerLimit = kDefaultNoAnswerLimit);

    CTrackPlayer& Player() { return m_player; }
    const CTrackPlayer& Player() const { return m_player; }

    // The external source; it cannot be switched on while a track plays.
    // Returns whether it is on afterwards.
    bool SetExternal(bool on);
    bool IsExternal() const { return m_external; }

    // Starts playback (the external source goes off); the value to set,
    // none without a track.
    std::optional<quint8> Play(quint8 sliderPosition);
    // Ends playback; the saved position to set.
    quint8 Stop();
    // Stops playback and the external source at once; the servo goes to 1.
    quint8 Halt();
    // The user's pause switch.
    void SetPaused(bool paused);
    // Before the panel covers itself with a dialog: a running playback
    // pauses and the external source goes off; the servo goes to 1.
    quint8 Idle();
    // The user acted on the servo: a hold ends.
    void Release() { m_held = false; }

    // A record arrived: tempAWord is its word at 20, tickDifference the
    // ticks since the previous handled record. Returns the value to set on
    // the slider, or none to leave the slider as it is. Clears a lost link.
    std::optional<quint8> OnRecord(quint16 tempAWord, quint32 tickDifference);

    // A request went unanswered. True when this one made the link count as
    // lost (the servo is then held at 1, see above).
    bool OnNoAnswer();
    bool IsLinkLost() const { return m_linkLost; }
    // A request went unanswered since the last record.
    bool InDoubt() const { return m_noAnswers > 0; }
    // Held at 1 since the link was lost, until the user acts.
    bool IsHeld() const { return m_held; }
    // The servo value of the next request: 1 in doubt or held, else the
    // slider position.
    quint8 ValueToSend(quint8 sliderPosition) const;
    // Whether the lost link paused the playback (cleared by resuming or
    // stopping it).
    bool PausedByLinkLoss() const { return m_pausedByLoss && m_player.IsPaused(); }

    // The servo position for a Temp A word: floor(w / 12.5 + 0.5), 1..255.
    static quint8 ExternalPosition(quint16 tempAWord);

private:
    CTrackPlayer m_player;
    int m_noAnswerLimit;
    bool m_external = false;
    int m_noAnswers = 0;
    bool m_linkLost = false;
    bool m_held = false;
    bool m_pausedByLoss = false;
};
