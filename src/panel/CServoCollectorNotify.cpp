#include "panel/CServoCollectorNotify.h"

#include "base/CTorvMessage.h"
#include "link/CLimitFactor.h"
#include "link/CSerialPort.h"

#include <algorithm>
#include <thread>

namespace {
constexpr size_t kRecordOffset = 6;   // after the echoed request and the answer's 'M'
}

CServoCollectorNotify::CServoCollectorNotify(CSerialPort& port, QObject* target)
    : CPageBytesCollector(kRecordSize)
    , m_port(port)
    , m_target(target)
    , m_ring(kRingSize * kRecordSize, 0)
{
    SetAnswerLimitMs(CLimitFactor::Stretch(kAnswerLimitMs));
}

CServoCollectorNotify::~CServoCollectorNotify() = default;

void CServoCollectorNotify::Reset()
{
    std::lock_guard<std::mutex> lock(m_guard);
    m_deadline = {};
    m_final = Final::None;
    m_finishedEvent.Reset();
    m_length = 0;
}

void CServoCollectorNotify::OnComplete()
{
    // Runs on the reader thread with m_guard held. The pause before the next
    // request counts from the answer's arrival, so the hand-over below is part
    // of it rather than added to it.
    const Clock::time_point resume = Clock::now() + std::chrono::microseconds(m_pauseUs);
    m_deadline = {};
    const size_t slot = m_ringIndex;
    uint8_t* record = m_ring.data() + slot * kRecordSize;
    std::copy_n(m_window.data() + kRecordOffset, kRecordSize, record);
    m_ringIndex = (m_ringIndex + 1) % kRingSize;
    ++m_answers;
    Publish(static_cast<uint32_t>(1 + slot), reinterpret_cast<quintptr>(record));
    if (m_final == Final::Outstanding) {
        EndLocked();
        return;
    }
    // The ESC takes a moment before it listens again.
    if (m_pauseUs > 0)
        std::this_thread::sleep_until(resume);
    SendRequestLocked();
}

void CServoCollectorNotify::Request()
{
    std::lock_guard<std::mutex> lock(m_guard);
    if (m_final == Final::Done)
        return;
    SendRequestLocked();
}

CServoCollectorNotify::Clock::duration CServoCollectorNotify::CheckTimeout(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_guard);
    if (m_deadline == Clock::time_point{})
        return Clock::duration(-1);
    if (now < m_deadline)
        return m_deadline - now;
    m_deadline = {};
    std::copy_n(m_window.data(), m_length, m_missed.data());
    m_missedLength = m_length;
    if (m_final == Final::Outstanding) {
        EndLocked();
        return Clock::duration(-1);
    }
    Publish(0, 0);
    // Whether the ESC took the unanswered request is unknown: the request
    // that asks again carries servo value 1, and so does every later one
    // until the owner sets a value again.
    m_requestByte.store(1);
    SendRequestLocked();
    return m_answerLimit;
}

void CServoCollectorNotify::Finish()
{
    std::lock_guard<std::mutex> lock(m_guard);
    m_requestByte.store(1);
    if (m_final != Final::None)
        return;
    if (m_deadline == Clock::time_point{})
        EndLocked();                    // nothing outstanding: the stream never ran
    else if (m_lastSent == 1)
        m_final = Final::Outstanding;   // the request on its way already says 1
    else
        m_final = Final::Pending;
}

CServoCollectorNotify::Notification CServoCollectorNotify::Newest() const
{
    const uint64_t packed = m_newest.load();
    return Notification{static_cast<uint32_t>(packed >> 32), static_cast<uint32_t>(packed & 0xFFFFFFFFu)};
}

void CServoCollectorNotify::SendRequestLocked()
{
    uint8_t servo = m_requestByte.load();
    if (m_final == Final::Pending) {
        servo = 1;
        m_final = Final::Outstanding;
    }
    m_lastSent = servo;
    m_length = 0;
    m_deadline = Clock::now() + m_answerLimit;
    ++m_requests;
    m_port.SendFrame('T', '-', servo);
}

void CServoCollectorNotify::Publish(uint32_t wParam, quintptr lParam)
{
    ++m_sequence;
    if (m_sequence == 0)
        m_sequence = 1;   // 0 means "nothing posted yet"
    m_newest.store((static_cast<uint64_t>(m_sequence) << 32) | wParam);
    TorvMessages::Post(m_target, TorvMessages::ByteIn(), wParam, lParam);
}

void CServoCollectorNotify::EndLocked()
{
    m_final = Final::Done;
    m_deadline = {};
    m_finishedEvent.Set();
}
