#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The logger's 264-byte memory page: an 8-byte header (log number, sample
// period in 20 ms units, 16-bit channel mask, four bytes not used here) and
// 256 bytes of 12-bit sample slots packed two to three bytes.
namespace LoggerPage {
constexpr std::size_t kSize = 264;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kSampleBytes = kSize - kHeaderSize;

inline uint8_t LogNumber(const uint8_t* page) { return page[0]; }
inline uint8_t Period(const uint8_t* page) { return page[1]; }
inline uint16_t Mask(const uint8_t* page) { return static_cast<uint16_t>(page[2] | (page[3] << 8)); }

// A page whose header is all 0xFF is erased flash: the recorded data ends.
inline bool IsErased(const uint8_t* page)
{
    return std::all_of(page, page + kHeaderSize, [](uint8_t b) { return b == 0xFF; });
}

// Slots a channel tag reads: the run of 1 bits of its low 16 bits counted
// upward from the lowest set one; 0 when none is set (a computed channel).
inline int SlotCountOfTag(uint32_t tag)
{
    tag &= 0xFFFFu;
    if (tag == 0)
        return 0;
    while ((tag & 1u) == 0)
        tag >>= 1;
    int count = 0;
    while ((tag & 1u) != 0) {
        ++count;
        tag >>= 1;
    }
    return count;
}

// Bytes of one sample of all slots: pairs of slots take three bytes.
inline std::size_t GroupSize(int slotCount) { return static_cast<std::size_t>((slotCount + 1) / 2) * 3; }
// Whole groups in the sample area of a page; 0 when there are no slots.
inline std::size_t GroupsPerPage(int slotCount)
{
    const std::size_t group = GroupSize(slotCount);
    return group == 0 ? 0 : kSampleBytes / group;
}

// The even and odd 12-bit slots of a 3-byte pair.
inline int EvenSlot(const uint8_t* pair) { return pair[0] * 16 + pair[1] / 16; }
inline int OddSlot(const uint8_t* pair) { return (pair[1] % 16) * 256 + pair[2]; }

// The logs of a page buffer: maximal runs of consecutive pages with the same
// log number, as (first page, last page), in buffer order.
inline std::vector<std::pair<std::size_t, std::size_t>> SplitLogs(const uint8_t* pages, std::size_t pageCount)
{
    std::vector<std::pair<std::size_t, std::size_t>> logs;
    for (std::size_t p = 0; pages != nullptr && p < pageCount; ++p) {
        if (p > 0 && LogNumber(pages + p * kSize) == LogNumber(pages + (p - 1) * kSize))
            logs.back().second = p;
        else
            logs.emplace_back(p, p);
    }
    return logs;
}
}
