#include "CSimFrameParser.h"

#include "SimCrc16.h"

#include <algorithm>

namespace {

uint8_t SumOf(const std::deque<uint8_t>& bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<uint8_t>(sum);
}

} // namespace

CSimFrameParser::CSimFrameParser(std::chrono::milliseconds staleTime)
    : m_staleTime(staleTime)
{
}

void CSimFrameParser::Clear()
{
    m_buffer.clear();
}

void CSimFrameParser::Add(uint8_t byte, Clock::time_point at)
{
    m_buffer.push_back(byte);
    m_lastByte = at;
}

void CSimFrameParser::Idle(Clock::time_point now)
{
    if (m_buffer.empty() || now - m_lastByte < m_staleTime)
        return;
    m_buffer.pop_front();
    ++m_dropped;
    m_lastByte = now;
}

CSimFrameParser::Scan CSimFrameParser::ScanHead(std::size_t& size) const
{
    if (m_buffer.front() != 'M')
        return Scan::Drop;
    if (m_buffer.size() < 2)
        return Scan::NeedMore;
    const uint8_t letter = m_buffer[1];
    if (letter == 'f') {
        size = kBlockSendSize;
        if (m_buffer.size() < size)
            return Scan::NeedMore;
        std::vector<uint8_t> head(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(size - 2));
        const uint16_t crc = SimCrc16(head.data(), head.size());
        const uint16_t sent = static_cast<uint16_t>(m_buffer[size - 2] << 8 | m_buffer[size - 1]);
        return crc == sent ? Scan::Frame : Scan::Drop;
    }
    if (m_buffer.size() < kCommandSize)
        return Scan::NeedMore;
    if (letter == 'u') {
        // 'M','u','p','d' with a good sum is the boot loader query; any other
        // 'u' is a page write (a write to page 0x6470 lies far beyond any logger).
        if (m_buffer[2] == 'p' && m_buffer[3] == 'd' && SumOf(m_buffer, 4) == m_buffer[4]) {
            size = kCommandSize;
            return Scan::Frame;
        }
        size = kPageWriteSize;
        if (m_buffer.size() < size)
            return Scan::NeedMore;
        return SumOf(m_buffer, size - 1) == m_buffer[size - 1] ? Scan::Frame : Scan::Drop;
    }
    size = kCommandSize;
    return SumOf(m_buffer, 4) == m_buffer[4] ? Scan::Frame : Scan::Drop;
}

bool CSimFrameParser::Next(std::vector<uint8_t>& frame)
{
    while (!m_buffer.empty()) {
        std::size_t size = 0;
        switch (ScanHead(size)) {
        case Scan::NeedMore:
            return false;
        case Scan::Drop:
            m_buffer.pop_front();
            ++m_dropped;
            break;
        case Scan::Frame:
            frame.assign(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(size));
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(size));
            return true;
        }
    }
    return false;
}
