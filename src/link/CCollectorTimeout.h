#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>

// The one-shot time-out timer of a notifying collector. It lives on the
// user-interface thread (the thread that creates it). When it expires
// while armed it posts TORV_BYTEIN with wParam 0 and lParam 0 to the target.
//
// Start and Stop run on the user-interface thread. Disarm may run on any
// thread (the collectors call it from the reader thread when an answer
// completes): it clears the armed mark at once, so that no time-out notice
// is posted for this request any more, and has the timer itself killed on
// the timer's thread. Each Start begins a new generation, so a late kill
// meant for an earlier request never stops a newer one.
class CCollectorTimeout : public QObject {
public:
    explicit CCollectorTimeout(QObject* target = nullptr);
    ~CCollectorTimeout() override;

    void SetTarget(QObject* target) { m_target = target; }
    const QPointer<QObject>& Target() const { return m_target; }

    // Starts a new one-shot time-out of limitMs, replacing a running one.
    void Start(int limitMs);
    // Stops the timer; no time-out notice follows.
    void Stop();
    // Thread-safe stop, used on completion.
    void Disarm();

    bool IsArmed() const { return m_armed.load() != 0; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void KillTimer();
    void KillIfGeneration(uint64_t generation);

    QPointer<QObject> m_target;
    int m_timerId = 0;
    uint64_t m_generation = 0;         // user-interface thread only
    std::atomic<uint64_t> m_armed{0};  // the armed generation, 0 when disarmed
};
