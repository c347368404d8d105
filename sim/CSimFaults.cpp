#include "CSimFaults.h"

#include <algorithm>

void CSimFaults::Add(const CEscSimulator::Fault& fault)
{
    m_waiting.push_back(Waiting{fault, std::max(1, fault.nth)});
}

void CSimFaults::Clear()
{
    m_waiting.clear();
    m_silentUntil = Clock::time_point{};
}

CSimFaults::Effects CSimFaults::OnFrame(CEscSimulator::AnswerKind kind, Clock::time_point at)
{
    using Action = CEscSimulator::Fault::Action;
    Effects effects;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        const CEscSimulator::Fault& fault = it->fault;
        if (fault.kind != CEscSimulator::AnswerKind::Any && fault.kind != kind) {
            ++it;
            continue;
        }
        if (--it->remaining > 0) {
            ++it;
            continue;
        }
        const int ms = std::max(0, fault.ms);
        switch (fault.action) {
        case Action::Late:
            effects.lateMs += ms;
            break;
        case Action::Silence:
            m_silentUntil = std::max(m_silentUntil, at + std::chrono::milliseconds(ms));
            break;
        case Action::Unplug:
            effects.unplug = true;
            effects.unplugMs = std::max(effects.unplugMs, ms);
            break;
        case Action::Corrupt:
            effects.corrupt = true;
            break;
        case Action::DropByte:
            effects.dropByte = true;
            break;
        }
        it = m_waiting.erase(it);
    }
    effects.silenced = at < m_silentUntil;
    return effects;
}
