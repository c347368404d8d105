#include "link/CCollectorTimeout.h"

#include "base/CTorvMessage.h"

#include <QMetaObject>
#include <QThread>
#include <QTimerEvent>

CCollectorTimeout::CCollectorTimeout(QObject* target)
    : m_target(target)
{
}

CCollectorTimeout::~CCollectorTimeout()
{
    Stop();
}

void CCollectorTimeout::Start(int limitMs)
{
    Stop();
    ++m_generation;
    m_armed.store(m_generation);
    m_timerId = startTimer(limitMs < 0 ? 0 : limitMs, Qt::PreciseTimer);
    if (m_timerId == 0)
        m_armed.store(0);
}

void CCollectorTimeout::Stop()
{
    m_armed.store(0);
    KillTimer();
}

void CCollectorTimeout::Disarm()
{
    const uint64_t generation = m_armed.exchange(0);
    if (generation == 0)
        return;
    if (QThread::currentThread() == thread()) {
        KillIfGeneration(generation);
        return;
    }
    // killTimer must run on the timer's own thread; the queued call is
    // dropped if this object is destroyed first.
    QMetaObject::invokeMethod(this, [this, generation] { KillIfGeneration(generation); }, Qt::QueuedConnection);
}

void CCollectorTimeout::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timerId) {
        QObject::timerEvent(event);
        return;
    }
    KillTimer();
    uint64_t expected = m_generation;
    if (expected != 0 && m_armed.compare_exchange_strong(expected, 0))
        TorvMessages::Post(m_target, TorvMessages::ByteIn(), 0, 0);
}

void CCollectorTimeout::KillTimer()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}

void CCollectorTimeout::KillIfGeneration(uint64_t generation)
{
    if (generation == m_generation)
        KillTimer();
}
