#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

// Cuts the byte stream that arrives at the ESC into frames:
//  - command frames: 'M', letter, arg1, arg2, sum of the first four bytes;
//  - page write frames: 'M', 'u', page lo, page hi, 264 bytes, sum (269 bytes),
//    except 'M','u','p','d',sum, which is the boot loader query;
//  - block send frames: 'M', 'f', 144 bytes, CRC-16 high byte first (148 bytes).
// A byte that cannot start a valid frame is dropped and the search resumes at
// the next byte, so noise and broken frames never stall the stream. A long frame
// that stays incomplete for longer than the stale time is given up as well.
class CSimFrameParser {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kCommandSize = 5;
    static constexpr std::size_t kPageDataSize = 264;
    static constexpr std::size_t kPageWriteSize = kPageDataSize + 5;
    static constexpr std::size_t kBlockDataSize = 144;
    static constexpr std::size_t kBlockSendSize = kBlockDataSize + 4;

    explicit CSimFrameParser(std::chrono::milliseconds staleTime = std::chrono::milliseconds(200));

    // Adds one received byte.
    void Add(uint8_t byte, Clock::time_point at);
    // Takes the next complete frame out of the stream; false when none is complete.
    bool Next(std::vector<uint8_t>& frame);
    // Gives up the first byte of an incomplete frame whose bytes stopped
    // arriving, so that frames hidden behind it can be found by Next.
    void Idle(Clock::time_point now);
    void Clear();
    std::size_t Pending() const { return m_buffer.size(); }
    uint64_t DroppedBytes() const { return m_dropped; }

private:
    enum class Scan { NeedMore, Frame, Drop };
    Scan ScanHead(std::size_t& size) const;

    std::deque<uint8_t> m_buffer;
    std::chrono::milliseconds m_staleTime;
    Clock::time_point m_lastByte{};
    uint64_t m_dropped = 0;
};
