#pragma once

#include <cstdint>

// An open MIDI output that takes short messages: a status byte and two data
// bytes. Destroying it closes the output.
class IMidiOut {
public:
    virtual ~IMidiOut() = default;
    virtual void Send(uint8_t status, uint8_t data1, uint8_t data2) = 0;
    // True for a port that only passes the messages on (ALSA's "Midi
    // Through"): nothing sounds unless a synthesizer listens behind it.
    virtual bool IsThroughPort() const { return false; }
};
