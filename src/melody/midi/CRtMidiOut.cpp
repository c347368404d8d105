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

CRtMidiOut::CRtMidiOut(std::unique_ptr<RtMidiOut> out, std::string portName)
    : m_out(std::move(out)), m_portName(std::move(portName)), m_through(IsThroughName(m_portName))
{
}

bool CRtMidiOut::IsThroughName(const std::string& name)
{
    return QString::fromStdString(name).contains(QLatin1String("Midi Through"), Qt::CaseInsensitive);
}

int CRtMidiOut::ChoosePort(const std::vector<std::string>& names)
{
    int through = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!IsThroughName(names[i]))
            return static_cast<int>(i);
        if (through < 0)
            through = static_cast<int>(i);
    }
    return through;
}

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
        std::vector<std::string> names;
        for (unsigned i = 0; i < out->getPortCount(); ++i)
            names.push_back(out->getPortName(i));
        const int port = ChoosePort(names);
        if (port < 0) {
            qCDebug(lcMidi) << "MIDI: no output port";
            return nullptr;
        }
        const std::string& name = names[static_cast<std::size_t>(port)];
        out->openPort(static_cast<unsigned>(port), "TORV preview");
        if (!out->isPortOpen())
            return nullptr;
        qCDebug(lcMidi) << "MIDI: playing on" << name.c_str();
        return std::unique_ptr<IMidiOut>(new CRtMidiOut(std::move(out), name));
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
