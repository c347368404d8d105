#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "melody/CMelodyPreview.h"
#include "melody/IMidiOut.h"

// A MIDI output that records every message with the time it was sent. The
// record outlives the output, which the preview closes after each melody.
struct MidiRecord {
    struct Message {
        uint8_t status;
        uint8_t data1;
        uint8_t data2;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Message> messages;
    int opened = 0;
    int closed = 0;
    bool through = false;  // the output plays as ALSA's "Midi Through"
};

class CRecordingMidiOut : public IMidiOut {
public:
    explicit CRecordingMidiOut(std::shared_ptr<MidiRecord> record) : m_record(std::move(record))
    {
        ++m_record->opened;
    }
    ~CRecordingMidiOut() override { ++m_record->closed; }
    void Send(uint8_t status, uint8_t data1, uint8_t data2) override
    {
        m_record->messages.push_back({status, data1, data2, std::chrono::steady_clock::now()});
    }
    bool IsThroughPort() const override { return m_record->through; }

    // An output factory recording into record; with no record, the output
    // cannot be opened.
    static CMelodyPreview::OutputFactory Factory(std::shared_ptr<MidiRecord> record)
    {
        return [record]() -> std::unique_ptr<IMidiOut> {
            if (!record)
                return nullptr;
            return std::make_unique<CRecordingMidiOut>(record);
        };
    }

private:
    std::shared_ptr<MidiRecord> m_record;
};
