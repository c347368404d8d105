#include "panel/CTelemetryStream.h"

#include "base/CTorvMessage.h"
#include "link/CBytesCollector.h"
#include "link/CSerialPort.h"
#include "panel/PanelLog.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
using Clock = CServoCollectorNotify::Clock;

int CeilMs(Clock::duration d)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return static_cast<int>(std::clamp<long long>(ms, 1, 60000));
}
}

CTelemetryStream::CTelemetryStream(CSerialPort& port, QObject* parent)
    : QObject(parent)
    , m_port(port)
    , m_collector(port, this)
{
    m_timeoutCheck.setSingleShot(true);
    m_timeoutCheck.setTimerType(Qt::PreciseTimer);
    connect(&m_timeoutCheck, &QTimer::timeout, this, &CTelemetryStream::OnTimeoutCheck);
}

CTelemetryStream::~CTelemetryStream()
{
    Stop();
}

bool CTelemetryStream::Start()
{
    if (m_running || !m_port.IsOpen())
        return false;
    TorvMessages::RegisterAll();
    m_collector.SetTarget(this);
    m_collector.SetRequestByte(1);
    m_first = true;
    m_previousCounter = 0;
    m_elapsed = 0;
    m_missesInARow = 0;
    m_stopped = false;
    m_handledSequence = m_collector.Newest().sequence;
    QCoreApplication::removePostedEvents(this, TorvMessages::ByteIn());
    m_port.SetCollector(&m_collector);
    m_running = true;
    m_collector.Request();
    ScheduleTimeoutCheck(std::chrono::milliseconds(m_collector.AnswerLimitMs()));
    return true;
}

void CTelemetryStream::Stop()
{
    if (!m_running)
        return;
    m_timeoutCheck.stop();
    // The motor is told to stop before the stream ends: wait for the answer
    // to the last request (servo value 1) or for its time-out. Should the
    // request on its way carry another value, one more request follows it.
    m_collector.Finish();
    const Clock::time_point giveUp =
        Clock::now() + 3 * std::chrono::milliseconds(m_collector.AnswerLimitMs()) + std::chrono::milliseconds(100);
    while (!m_collector.Finished()) {
        const Clock::time_point now = Clock::now();
        if (now >= giveUp)
            break;
        const Clock::duration left = m_collector.CheckTimeout(now);
        if (m_collector.Finished() || left < Clock::duration::zero())
            break;
        m_collector.WaitFinished(std::min(CeilMs(left), CeilMs(giveUp - now)));
    }
    m_port.ResetCollector();
    m_collector.Reset();
    m_running = false;
    QCoreApplication::removePostedEvents(this, TorvMessages::ByteIn());
}

bool CTelemetryStream::event(QEvent* event)
{
    if (event->type() != TorvMessages::ByteIn())
        return QObject::event(event);
    // Only the newest notification counts; the ones still queued are older
    // or the same.
    QCoreApplication::removePostedEvents(this, TorvMessages::ByteIn());
    if (!m_running)
        return true;
    const CServoCollectorNotify::Notification newest = m_collector.Newest();
    if (newest.sequence == m_handledSequence)
        return true;
    m_handledSequence = newest.sequence;
    if (newest.wParam == 0)
        HandleMiss();
    else
        HandleRecord(m_collector.Slot(newest.wParam - 1));
    return true;
}

void CTelemetryStream::OnTimeoutCheck()
{
    if (m_running)
        ScheduleTimeoutCheck(m_collector.CheckTimeout(Clock::now()));
}

void CTelemetryStream::ScheduleTimeoutCheck(Clock::duration left)
{
    // Nothing armed only happens for a moment; look again a time-out later.
    if (left < Clock::duration::zero())
        left = std::chrono::milliseconds(m_collector.AnswerLimitMs());
    m_timeoutCheck.start(CeilMs(left));
}

void CTelemetryStream::HandleRecord(const uint8_t* record)
{
    const uint8_t counter = record[kCounterByte];
    const int difference = m_first ? 0 : TickDifference(m_previousCounter, counter);
    m_elapsed += static_cast<uint32_t>(difference);
    m_first = false;
    m_previousCounter = counter;
    m_missesInARow = 0;
    ++m_handled;
    SetStopped(false);
    emit RecordHandled(QByteArray(reinterpret_cast<const char*>(record), kRecordSize), difference, m_elapsed);
}

void CTelemetryStream::HandleMiss()
{
    ++m_missed;
    const QString pool = CBytesCollector::DumpInline(m_collector.MissedWindow(), m_collector.MissedLength());
    qCDebug(lcPanel).noquote() << QString::asprintf("Servo %d - %d page download fault, %d bytes received",
                                                    m_collector.RequestByte(), m_previousCounter,
                                                    static_cast<int>(m_collector.MissedLength()));
    qCDebug(lcPanel).noquote() << pool.trimmed();
    emit AnswerMissing(pool.trimmed());
    if (++m_missesInARow >= kMissesUntilStopped)
        SetStopped(true);
}

void CTelemetryStream::SetStopped(bool stopped)
{
    if (stopped == m_stopped)
        return;
    m_stopped = stopped;
    emit AnswersStoppedChanged(stopped);
}
