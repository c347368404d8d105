#pragma once

#include "CEscSimulator.h"

#include <chrono>
#include <vector>

// The faults waiting for their frame, and the silence one of them started.
// Each fault counts the understood frames of its kind from when it was added
// and strikes once, at its nth one.
class CSimFaults {
public:
    using Clock = std::chrono::steady_clock;

    // What the faults do to one frame and its answer.
    struct Effects {
        int lateMs = 0;
        bool silenced = false;
        bool unplug = false;
        int unplugMs = 0;   // with unplug: how long; 0 until plugged in by hand
        bool corrupt = false;
        bool dropByte = false;
    };

    void Add(const CEscSimulator::Fault& fault);
    // Counts the frame that arrived at `at` and returns what strikes it.
    Effects OnFrame(CEscSimulator::AnswerKind kind, Clock::time_point at);
    void Clear();

private:
    struct Waiting {
        CEscSimulator::Fault fault;
        int remaining = 1;
    };
    std::vector<Waiting> m_waiting;
    Clock::time_point m_silentUntil{};
};
