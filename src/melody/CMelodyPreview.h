#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "melody/CMelody.h"
#include "melody/IMidiOut.h"

// Plays an encoded melody on a MIDI output: for every note a note-on on
// channel 8, the note's length, and its note-off; a pause only waits. A note
// lasts 127 ms shifted right by its length code (127, 63, 31, 15 ms). The
// lead byte is not played. The messages are sent from a timer, each at its
// time counted from the start, so the caller's event loop keeps running.
class CMelodyPreview : public QObject {
    Q_OBJECT
public:
    static constexpr uint8_t kNoteOn = 0x97;   // note on, channel 8
    static constexpr uint8_t kNoteOff = 0x87;  // note off, channel 8
    static constexpr uint8_t kControl = 0xB7;  // control change, channel 8
    static constexpr uint8_t kAllNotesOff = 123;
    static constexpr int kBaseNote = 60;
    static constexpr int kWholeNoteMs = 127;
    // The note-on velocity of every note, marked or not: 127, the loudest a
    // MIDI data byte can ask for (plain notes were once sent as 0xFF, which
    // is no valid data byte).
    static constexpr uint8_t kVelocity = 0x7F;
    // The most bytes of a melody looked at, lead byte included.
    static constexpr size_t kMaxBytes = CMelody::kMaxBytes;

    struct Event {
        int atMs = 0;  // from the start of the melody
        uint8_t status = 0;
        uint8_t data1 = 0;
        uint8_t data2 = 0;
        bool operator==(const Event& other) const
        {
            return atMs == other.atMs && status == other.status && data1 == other.data1 && data2 == other.data2;
        }
    };
    struct Schedule {
        std::vector<Event> events;
        int lengthMs = 0;  // the melody's end, after its last note or pause
    };

    // The messages of the melody and their times: the bytes from index 1 up
    // to a 0xFF byte or index 31.
    static Schedule MakeSchedule(const std::vector<uint8_t>& bytes);

    // Opens the MIDI output for one preview; none when it cannot be opened.
    using OutputFactory = std::function<std::unique_ptr<IMidiOut>()>;

    explicit CMelodyPreview(OutputFactory openOutput, QObject* parent = nullptr);
    ~CMelodyPreview() override;

    // Stops a preview still playing, opens the output and starts the melody.
    // False when the output cannot be opened: nothing is played then.
    bool Play(const std::vector<uint8_t>& bytes);
    // Silences the sounding note and every note of the channel, and closes
    // the output. Nothing happens when no preview plays.
    void Stop();
    bool Playing() const { return m_output != nullptr; }
    // The output of the last Play only passes the messages on ("Midi
    // Through"): nothing may be heard.
    bool LastOutputWasThrough() const { return m_lastThrough; }

signals:
    // The melody has played to its end (not sent after Stop).
    void finished();

private:
    void Tick();
    void Close();

    OutputFactory m_openOutput;
    std::unique_ptr<IMidiOut> m_output;
    Schedule m_schedule;
    size_t m_next = 0;
    int m_sounding = -1;  // the note whose note-off is still due
    bool m_lastThrough = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
