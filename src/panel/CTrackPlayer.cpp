#include "panel/CTrackPlayer.h"

#include <algorithm>
#include <cmath>
#include <utility>

std::optional<quint8> CTrackPlayer::SetTrack(CTrack track)
{
    if (track.empty())
        return std::nullopt;
    m_track = std::move(track);
    if (!m_playing)
        return std::nullopt;
    m_time = 0;
    m_segment = 0;
    if (m_paused)
        return std::nullopt;
    return static_cast<quint8>(m_track.front().startValue);
}

std::optional<quint8> CTrackPlayer::Play(quint8 sliderPosition)
{
    if (m_track.empty())
        return std::nullopt;
    if (!m_playing)
        m_saved = sliderPosition;
    m_playing = true;
    m_paused = false;
    m_time = 0;
    m_segment = 0;
    return static_cast<quint8>(m_track.front().startValue);
}

quint8 CTrackPlayer::Stop()
{
    m_playing = false;
    m_paused = false;
    return m_saved;
}

void CTrackPlayer::Halt()
{
    m_playing = false;
    m_paused = false;
}

bool CTrackPlayer::TogglePause()
{
    SetPaused(!m_paused);
    return m_paused;
}

void CTrackPlayer::SetPaused(bool paused)
{
    m_paused = paused && m_playing;
}

bool CTrackPlayer::ToggleRepeat()
{
    m_repeat = !m_repeat;
    return m_repeat;
}

std::optional<quint8> CTrackPlayer::Step(quint32 tickDifference)
{
    if (!m_playing || m_paused || m_track.empty())
        return std::nullopt;
    m_time += tickDifference;
    if (m_track[m_segment].end < m_time)
        ++m_segment;
    if (m_segment >= m_track.size()) {
        if (m_repeat) {
            m_time = 0;
            m_segment = 0;
            return static_cast<quint8>(m_track.front().startValue);
        }
        m_playing = false;
        m_paused = false;
        m_segment = 0;
        return std::nullopt;
    }
    return ValueAt(m_track[m_segment], m_time);
}

quint8 CTrackPlayer::ValueAt(const CTrackSegment& segment, quint32 t)
{
    const quint32 length = segment.end - segment.start;
    if (length == 0)
        return static_cast<quint8>(std::clamp<quint16>(segment.endValue, 1, 255));
    const quint32 elapsed = t - segment.start;
    const double a = segment.startValue;
    const double b = segment.endValue;
    const double value = std::floor(a + double(elapsed) * (b - a) / double(length));
    return static_cast<quint8>(std::clamp(value, 1.0, 255.0));
}
