#include "CSimFrameLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 0x0F]);
    }
    return text;
}

std::string Number(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

// The reasons are the simulator's own plain texts; quotes and backslashes are escaped all the same.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

} // namespace

bool CSimFrameLog::Open(const std::string& path, std::string& error)
{
    m_file.open(path, std::ios::out | std::ios::trunc);
    if (!m_file.is_open()) {
        error = "cannot write the frame log " + path + ": " + std::strerror(errno);
        return false;
    }
    m_start = Clock::now();
    return true;
}

double CSimFrameLog::Ms(Clock::time_point at) const
{
    return std::chrono::duration<double, std::milli>(at - m_start).count();
}

uint64_t CSimFrameLog::Add(const std::vector<uint8_t>& frame, Clock::time_point at, int baud, const char* kind)
{
    if (!IsOpen())
        return 0;
    m_waiting.push_back(Entry{"{\"t_ms\":" + Number(Ms(at)) + ",\"baud\":" + std::to_string(baud) + ",\"kind\":\"" +
                                  kind + "\",\"frame\":\"" + Hex(frame) + "\"",
                              {}});
    return m_firstWaiting + m_waiting.size() - 1;
}

CSimFrameLog::Entry* CSimFrameLog::Find(uint64_t id)
{
    if (id < m_firstWaiting || id - m_firstWaiting >= m_waiting.size())
        return nullptr;
    return &m_waiting[static_cast<std::size_t>(id - m_firstWaiting)];
}

void CSimFrameLog::Answered(uint64_t id, const std::vector<uint8_t>& answer, Clock::time_point at)
{
    if (Entry* entry = Find(id)) {
        entry->tail = ",\"answered\":true,\"answer_ms\":" + Number(Ms(at)) + ",\"answer\":\"" + Hex(answer) + "\"}";
        Flush();
    }
}

void CSimFrameLog::Unanswered(uint64_t id, const std::string& why)
{
    if (Entry* entry = Find(id)) {
        entry->tail = ",\"answered\":false,\"why\":" + Quoted(why) + "}";
        Flush();
    }
}

void CSimFrameLog::Settle(const std::string& why)
{
    for (Entry& entry : m_waiting)
        if (entry.tail.empty())
            entry.tail = ",\"answered\":false,\"why\":" + Quoted(why) + "}";
    Flush();
}

void CSimFrameLog::Flush()
{
    bool wrote = false;
    while (!m_waiting.empty() && !m_waiting.front().tail.empty()) {
        m_file << m_waiting.front().head << m_waiting.front().tail << '\n';
        m_waiting.pop_front();
        ++m_firstWaiting;
        wrote = true;
    }
    if (wrote)
        m_file.flush();
}
