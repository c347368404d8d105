#pragma once

#include "CSimProfile.h"

#include <array>
#include <cstdint>
#include <vector>

// Fills a logger memory with the logs that a profile plans: plausible runs of
// a motor (RPM following the throttle, the battery voltage sagging under the
// current, the temperature rising with the load), packed as the logger packs
// them: 264-byte pages of an 8-byte header and 12-bit samples, two per three
// bytes. Pages after the last log stay erased (0xFF).
class CSimLogGenerator {
public:
    static constexpr std::size_t kPageSize = 264;
    static constexpr std::size_t kHeaderSize = 8;

    // The memory of profile.memBlocks pages; cells supply the calibration.
    static std::vector<uint8_t> Build(const CSimProfile& profile, const std::array<uint8_t, 256>& cells);

    // Slots that a log with this mask records per sample.
    static int SlotCount(const CSimProfile& profile, uint16_t mask);
    // Packs 12-bit slot values in pairs into 3 bytes each.
    static std::vector<uint8_t> PackSlots(const std::vector<uint16_t>& slots);
};
