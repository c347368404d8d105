#include "logger/CEraseSequence.h"

#include <algorithm>

CEraseSequence::CEraseSequence(uint32_t pageCount)
{
    // The request carries the page as 16 bits.
    const uint32_t pages = std::min<uint32_t>(pageCount, 65535);
    const uint32_t step = pages / kSteps;
    if (step == 0) {
        m_requests.push_back(0);
        return;
    }
    for (int i = 1; i < kSteps; ++i)
        m_requests.push_back(static_cast<uint16_t>(pages - static_cast<uint32_t>(i) * step));
    m_requests.push_back(0);
}

uint16_t CEraseSequence::Start()
{
    m_sent = 1;
    m_done = false;
    m_stopped = false;
    return m_requests.front();
}

std::optional<uint16_t> CEraseSequence::OnEcho()
{
    if (m_done || m_stopped || m_sent == 0)
        return std::nullopt;
    if (m_sent >= m_requests.size()) {
        m_done = true;
        return std::nullopt;
    }
    if (m_stop && m_stop()) {
        m_stopped = true;
        return std::nullopt;
    }
    return m_requests[m_sent++];
}

int CEraseSequence::Position() const
{
    if (m_done)
        return 0;
    if (m_sent == 0)
        return kSteps;
    // Each answered request moves the bar back by one; a single request
    // covers all eight.
    const std::size_t answered = m_sent - 1;
    return static_cast<int>(kSteps - answered * static_cast<std::size_t>(kSteps) / m_requests.size());
}
