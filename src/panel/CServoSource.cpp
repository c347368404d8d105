#include "panel/CServoSource.h"

#include <algorithm>
#include <cmath>

CServoSource::CServoSource(int noAnswerLimit)
    : m_noAnswerLimit(std::max(noAnswerLimit, 1))
{
}

bool CServoSource::SetExternal(bool on)
{
    m_external = on && !m_player.IsPlaying();
    if (m_external)
        m_held = false;
    return m_external;
}

std::optional<quint8> CServoSource::Play(quint8 sliderPosition)
{
    const std::optional<quint8> value = m_player.Play(sliderPosition);
    if (value) {
        m_external = false;
        m_held = false;
    }
    m_pausedByLoss = false;
    return value;
}

quint8 CServoSource::Stop()
{
    m_pausedByLoss = false;
    m_held = false;
    return m_player.Stop();
}

quint8 CServoSource::Halt()
{
    m_player.Halt();
    m_external = false;
    m_pausedByLoss = false;
    m_held = false;
    return 1;
}

void CServoSource::SetPaused(bool paused)
{
    m_player.SetPaused(paused);
    m_held = false;
}

quint8 CServoSource::Idle()
{
    m_player.SetPaused(true);
    m_external = false;
    return 1;
}

std::optional<quint8> CServoSource::OnRecord(quint16 tempAWord, quint32 tickDifference)
{
    m_noAnswers = 0;
    m_linkLost = false;
    if (!m_player.IsPaused())
        m_pausedByLoss = false;
    if (m_external)
        return ExternalPosition(tempAWord);
    if (m_player.IsPlaying() && !m_player.IsPaused())
        return m_player.Step(tickDifference);
    return std::nullopt;
}

bool CServoSource::OnNoAnswer()
{
    if (m_linkLost)
        return false;
    if (++m_noAnswers < m_noAnswerLimit)
        return false;
    m_linkLost = true;
    m_held = true;
    m_external = false;
    if (m_player.IsPlaying() && !m_player.IsPaused()) {
        m_player.SetPaused(true);
        m_pausedByLoss = true;
    }
    return true;
}

quint8 CServoSource::ValueToSend(quint8 sliderPosition) const
{
    if (InDoubt() || m_held)
        return 1;
    return sliderPosition == 0 ? 1 : sliderPosition;
}

quint8 CServoSource::ExternalPosition(quint16 tempAWord)
{
    const double position = std::floor(tempAWord / 12.5 + 0.5);
    return static_cast<quint8>(std::clamp(position, 1.0, 255.0));
}
