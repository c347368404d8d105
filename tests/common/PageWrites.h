#pragma once

#include <cstddef>
#include <map>
#include <vector>

#include "CEscSimulator.h"

// The logger pages whose last write frame ('M', 'u', page, 264 bytes, sum)
// the simulated ESC did not take (unplugged, or at another line speed).
inline std::vector<std::size_t> PagesNotTaken(const std::vector<CEscSimulator::Frame>& frames)
{
    std::map<std::size_t, bool> taken;
    for (const CEscSimulator::Frame& frame : frames) {
        if (frame.bytes.size() == 269 && frame.bytes[1] == 'u')
            taken[frame.bytes[2] + 256u * frame.bytes[3]] = frame.understood;
    }
    std::vector<std::size_t> lost;
    for (const auto& [page, understood] : taken) {
        if (!understood)
            lost.push_back(page);
    }
    return lost;
}
