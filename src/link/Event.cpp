#include "link/Event.h"

#include <chrono>

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

bool Event::Wait(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (timeoutMs < 0)
        timeoutMs = 0;
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
}
