#include "link/CWindowBytesCollector.h"

#include "base/CTorvMessage.h"

CWindowBytesCollector::CWindowBytesCollector(size_t capacity, QObject* target)
    : CBytesCollector(capacity)
    , m_target(target)
{
}

bool CWindowBytesCollector::IsComplete() const
{
    return m_length >= 8 && m_length == m_window.size() && ShortAnswerValid(m_window.data());
}

void CWindowBytesCollector::OnComplete()
{
    const uint8_t* w = m_window.data();
    const quintptr wParam = (quintptr(w[1]) << 16) | (quintptr(w[3]) << 8) | quintptr(w[2]);
    TorvMessages::Post(m_target, TorvMessages::EchoIn(), wParam, w[6], m_window);
}
