#include "melody/midi/CRtMidiOut.h"

#include <QLoggingCategory>

#include <RtMidi.h>

#include <string>

namespace {
Q_LOGGING_CATEGORY(lcMidi, "torv.melody")

// RtMidi reports warnings through this callback instead of printing them.
void LogRtMidiError(RtMidiError::Type, const std::string& text, void*)
{
    qCDebug(lcMidi) << "MIDI:" << text.c_str();
}
}

CRtMidiOut::CRtMidiOut(std::unique_ptr<RtMidiOut> out) : m_out(std::move(out)) {}

CRtMidiOut::~CRtMidiOut()
{
    try {
        m_out->closePort();
    } catch (const RtMidiError& error) {
        qCDebug(lcMidi) << "MIDI close:" << error.getMessage().c_str();
    }
}

std::unique_ptr<IMidiOut> CRtMidiOut::Open()
{
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "TORV");
        out->setErrorCallback(&LogRtMidiError, nullptr);
        if (out->getPortCount() == 0) {
            qCDebug(lcMidi) << "MIDI: no output port";
            return nullptr;
        }
        out->openPort(0, "TORV preview");
        if (!out->isPortOpen())
            return nullptr;
        return std::unique_ptr<IMidiOut>(new CRtMidiOut(std::move(out)));
    } catch (const RtMidiError& error) {
        qCDebug(lcMidi) << "MIDI open:" << error.getMessage().c_str();
        return nullptr;
    }
}

void CRtMidiOut::Send(uint8_t status, uint8_t data1, uint8_t data2)
{
    const unsigned char message[3] = {status, data1, data2};
    try {
        m_out->sendMessage(message, sizeof message);
    } catch (const RtMidiError& error) {
        qCDebug(lcMidi) << "MIDI send:" << error.getMessage().c_str();
    }
}
