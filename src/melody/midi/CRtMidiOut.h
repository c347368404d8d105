#pragma once

#include <QString>

#include <memory>

#include "melody/IMidiOut.h"

class RtMidiOut;

// The computer's MIDI output: the first output port of the ALSA sequencer,
// through RtMidi.
class CRtMidiOut : public IMidiOut {
public:
    ~CRtMidiOut() override;
    CRtMidiOut(const CRtMidiOut&) = delete;
    CRtMidiOut& operator=(const CRtMidiOut&) = delete;

    // Opens the first output port; none when there is no port or the
    // sequencer cannot be reached (the reason then goes to the log).
    static std::unique_ptr<IMidiOut> Open();

    void Send(uint8_t status, uint8_t data1, uint8_t data2) override;

private:
    explicit CRtMidiOut(std::unique_ptr<RtMidiOut> out);

    std::unique_ptr<RtMidiOut> m_out;
};
