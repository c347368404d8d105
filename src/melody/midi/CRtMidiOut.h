#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "melody/IMidiOut.h"

class RtMidiOut;

// The computer's MIDI output: an output port of the ALSA sequencer, through
// RtMidi. The first port that makes sound is taken; ALSA's "Midi Through"
// port only when there is no other.
class CRtMidiOut : public IMidiOut {
public:
    ~CRtMidiOut() override;
    CRtMidiOut(const CRtMidiOut&) = delete;
    CRtMidiOut& operator=(const CRtMidiOut&) = delete;

    // The port to open among the port names: the first that is no through
    // port, else the first through port; -1 when there is none.
    static int ChoosePort(const std::vector<std::string>& names);
    static bool IsThroughName(const std::string& name);

    // Opens the chosen output port; none when there is no port or the
    // sequencer cannot be reached (the reason then goes to the log).
    static std::unique_ptr<IMidiOut> Open();

    void Send(uint8_t status, uint8_t data1, uint8_t data2) override;
    bool IsThroughPort() const override { return m_through; }
    const std::string& PortName() const { return m_portName; }

private:
    CRtMidiOut(std::unique_ptr<RtMidiOut> out, std::string portName);

    std::unique_ptr<RtMidiOut> m_out;
    std::string m_portName;
    bool m_through;
};
