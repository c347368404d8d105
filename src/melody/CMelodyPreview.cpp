#include "melody/CMelodyPreview.h"

#include "melody/CMelody.h"

#include <algorithm>

CMelodyPreview::Schedule CMelodyPreview::MakeSchedule(const std::vector<uint8_t>& bytes)
{
    Schedule schedule;
    int at = 0;
    const size_t end = std::min(bytes.size(), kMaxBytes);
    for (size_t i = 1; i < end && bytes[i] != CMelody::kTerminator; ++i) {
        const uint8_t note = bytes[i];
        const int pitch = note & 0x1F;
        const int length = kWholeNoteMs >> ((note >> CMelody::kLengthShift) & 3);
        if (pitch != 0) {
            const auto key = static_cast<uint8_t>(kBaseNote + pitch);
            schedule.events.push_back({at, kNoteOn, key, kVelocity});
            schedule.events.push_back({at + length, kNoteOff, key, 0});
        }
        at += length;
    }
    schedule.lengthMs = at;
    return schedule;
}

CMelodyPreview::CMelodyPreview(OutputFactory openOutput, QObject* parent)
    : QObject(parent), m_openOutput(std::move(openOutput))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CMelodyPreview::Tick);
}

CMelodyPreview::~CMelodyPreview()
{
    Stop();
}

bool CMelodyPreview::Play(const std::vector<uint8_t>& bytes)
{
    Stop();
    m_output = m_openOutput ? m_openOutput() : nullptr;
    if (m_output == nullptr)
        return false;
    m_lastThrough = m_output->IsThroughPort();
    m_schedule = MakeSchedule(bytes);
    m_next = 0;
    m_sounding = -1;
    m_clock.start();
    Tick();
    return true;
}

void CMelodyPreview::Tick()
{
    if (m_output == nullptr)
        return;
    // Every message is due at its time from the start, so a late timer
    // never stretches the rest of the melody.
    const qint64 now = m_clock.elapsed();
    while (m_next < m_schedule.events.size() && m_schedule.events[m_next].atMs <= now) {
        const Event& event = m_schedule.events[m_next++];
        m_output->Send(event.status, event.data1, event.data2);
        m_sounding = event.status == kNoteOn ? event.data1 : -1;
    }
    const qint64 due = m_next < m_schedule.events.size() ? m_schedule.events[m_next].atMs : m_schedule.lengthMs;
    if (now < due) {
        m_timer.start(static_cast<int>(due - now));
        return;
    }
    Close();
    emit finished();
}

void CMelodyPreview::Stop()
{
    if (m_output == nullptr)
        return;
    if (m_sounding >= 0)
        m_output->Send(kNoteOff, static_cast<uint8_t>(m_sounding), 0);
    m_output->Send(kControl, kAllNotesOff, 0);
    Close();
}

void CMelodyPreview::Close()
{
    m_timer.stop();
    m_output.reset();
    m_sounding = -1;
}
