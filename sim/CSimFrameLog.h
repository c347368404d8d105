#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <string>
#include <vector>

// The frame log of torv-esc-sim --log: one JSON line per frame that reached
// the ESC, in the order the frames arrived, written once its fate is known:
//   {"t_ms":12.345,"baud":19200,"kind":"page","frame":"4D6C000039",
//    "answered":true,"answer_ms":12.702,"answer":"4D...."}
//   {"t_ms":20.001,"baud":4800,"kind":"short","frame":"4D72654005",
//    "answered":false,"why":"speeds differ: TORV 4800, ESC 19200"}
// Times are milliseconds since the log was opened (answer_ms: the answer's
// first byte went out). Each line is flushed, so the file can be followed
// while the simulator runs and survives it being killed.
class CSimFrameLog {
public:
    using Clock = std::chrono::steady_clock;

    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_file.is_open(); }
    // Records a frame as it reached the ESC; returns its number for the calls below (0 when not logging).
    uint64_t Add(const std::vector<uint8_t>& frame, Clock::time_point at, int baud, const char* kind);
    void Answered(uint64_t id, const std::vector<uint8_t>& answer, Clock::time_point at);
    void Unanswered(uint64_t id, const std::string& why);
    // Frames still waiting for their answer are written as unanswered.
    void Settle(const std::string& why);

private:
    struct Entry {
        std::string head;   // the frame's part of the line
        std::string tail;   // what became of it; empty while unknown
    };
    Entry* Find(uint64_t id);
    void Flush();
    double Ms(Clock::time_point at) const;

    std::ofstream m_file;
    Clock::time_point m_start;
    std::deque<Entry> m_waiting;
    uint64_t m_firstWaiting = 1;  // the number of m_waiting.front()
};
