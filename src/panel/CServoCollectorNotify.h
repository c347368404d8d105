#pragma once

#include "link/CPageBytesCollector.h"
#include "link/Event.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class CSerialPort;

// The collector of the telemetry stream. Each request 'M', 'T', '-', S, sum
// carries the servo value S the ESC is to apply; the answer is a block of 64
// record bytes (window of 72 bytes, the page collector's completion rule).
//
// On completion, on the serial reader thread, it cancels the answer
// time-out, copies the record into the next slot of its ring of 1024
// records, posts TORV_BYTEIN to its target (wParam 1 + slot, lParam the slot's
// address), lets the pause pass and writes the next request itself. So the
// stream never waits for the user-interface thread.
//
// Every request arms the answer time-out. The request sent after a time-out
// carries servo value 1: the ESC's state is in doubt until the owner, told of
// the missing answer, sets the value again. A Qt timer cannot be started from
// the reader thread, so the time-out is a deadline that both threads set
// and clear under the collector's lock; the owner checks it on its own
// thread with CheckTimeout, which posts TORV_BYTEIN with wParam 0 and sends
// a new request when it has passed.
//
// The newest notification is also kept as a sequence number with its
// wParam, so that the receiver can skip every older one still queued.
//
// Finishing: after Finish, the next request sent (or the outstanding one,
// when it already carries 1) carries servo value 1 and is the last; its
// answer or its time-out ends the stream and sets Finished().
//
// No allocation after construction, apart from the posted events.
class CServoCollectorNotify : public CPageBytesCollector {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr size_t kRecordSize = 64;
    static constexpr size_t kRingSize = 1024;
    static constexpr int kAnswerLimitMs = 100;
    static constexpr int kPauseUs = 1000;

    // The newest notification posted: its sequence number (0: none yet)
    // and its wParam (0: no answer, else 1 + ring slot).
    struct Notification {
        uint32_t sequence = 0;
        uint32_t wParam = 0;
    };

    explicit CServoCollectorNotify(CSerialPort& port, QObject* target = nullptr);
    ~CServoCollectorNotify() override;

    void SetTarget(QObject* target) { m_target = target; }
    // The answer time-out (kAnswerLimitMs stretched by TORV_LIMIT_FACTOR)
    // and the pause after each answer (tests and the benchmark may change
    // them; the product keeps the defaults).
    void SetAnswerLimitMs(int ms) { m_answerLimit = std::chrono::milliseconds(ms < 1 ? 1 : ms); }
    int AnswerLimitMs() const
    {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(m_answerLimit).count());
    }
    void SetPauseUs(int us) { m_pauseUs = us < 0 ? 0 : us; }

    // The servo value of the next request; 0 is sent as 1. Any thread.
    void SetRequestByte(uint8_t value) { m_requestByte.store(value == 0 ? 1 : value); }
    uint8_t RequestByte() const { return m_requestByte.load(); }

    // Disarms the time-out, forgets a finishing stream and empties the window.
    void Reset() override;
    void OnComplete() override;

    // User-interface thread: empties the window, arms the time-out and
    // writes a request with the current request byte.
    void Request();
    // User-interface thread: when the armed deadline has passed, keeps a
    // copy of the receive window (MissedWindow), posts the no-answer
    // notification and sends a new request with servo value 1 (or, for the
    // last request of a finishing stream, ends it). Returns the time until
    // the deadline now armed, or a negative duration when none is armed.
    Clock::duration CheckTimeout(Clock::time_point now);

    // User-interface thread: makes the stream's last request carry servo
    // value 1 (see above).
    void Finish();
    // Set when the last request of a finishing stream was answered or timed out.
    bool Finished() const { return m_finishedEvent.IsSet(); }
    bool WaitFinished(int ms) const { return m_finishedEvent.Wait(ms); }

    Notification Newest() const;
    // The 64 bytes of a ring slot. The reader thread writes a slot again
    // only 1024 answers later.
    const uint8_t* Slot(size_t slot) const { return m_ring.data() + (slot % kRingSize) * kRecordSize; }
    // The receive window as it was when the last time-out expired.
    const uint8_t* MissedWindow() const { return m_missed.data(); }
    size_t MissedLength() const { return m_missedLength; }

    uint64_t RequestsSent() const { return m_requests.load(); }
    uint64_t AnswersReceived() const { return m_answers.load(); }

private:
    enum class Final { None, Pending, Outstanding, Done };

    // Both run with m_guard held.
    void SendRequestLocked();
    void Publish(uint32_t wParam, quintptr lParam);
    void EndLocked();

    CSerialPort& m_port;
    QPointer<QObject> m_target;
    std::vector<uint8_t> m_ring;
    size_t m_ringIndex = 0;
    std::atomic<uint8_t> m_requestByte{1};
    std::atomic<uint64_t> m_newest{0};    // sequence << 32 | wParam
    uint32_t m_sequence = 0;              // guarded by m_guard
    Clock::time_point m_deadline{};       // guarded; epoch: not armed
    Clock::duration m_answerLimit = std::chrono::milliseconds(kAnswerLimitMs);
    int m_pauseUs = kPauseUs;
    uint8_t m_lastSent = 0;               // guarded: the servo value of the outstanding request
    Final m_final = Final::None;          // guarded
    Event m_finishedEvent;
    std::array<uint8_t, kRecordSize + 8> m_missed{};
    size_t m_missedLength = 0;
    std::atomic<uint64_t> m_requests{0};
    std::atomic<uint64_t> m_answers{0};
};
