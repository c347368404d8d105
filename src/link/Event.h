#pragma once

#include <condition_variable>
#include <mutex>

// A manual-reset event: once set it stays set, releasing every waiter,
// until it is reset. Used by the synchronous collectors (set on the serial
// reader thread, waited on by the user-interface thread) and as the
// never-signalled pause event between cell writes.
class Event {
public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set or timeoutMs milliseconds have passed.
    // Returns true when the event is set.
    bool Wait(int timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_set = false;
};
