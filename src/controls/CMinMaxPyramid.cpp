#include "controls/CMinMaxPyramid.h"

#include <algorithm>
#include <limits>

CMinMaxPyramid::CMinMaxPyramid(std::vector<double> values) : m_values(std::move(values))
{
    const std::size_t block = std::size_t{1} << kBaseShift;
    std::vector<Extremes> level;
    level.reserve(m_values.size() / block + 1);
    for (std::size_t at = 0; at < m_values.size(); at += block) {
        const auto end = m_values.begin() + static_cast<std::ptrdiff_t>(std::min(at + block, m_values.size()));
        const auto [lo, hi] = std::minmax_element(m_values.begin() + static_cast<std::ptrdiff_t>(at), end);
        level.push_back({*lo, *hi});
    }
    while (level.size() > 1) {
        std::vector<Extremes> up;
        up.reserve(level.size() / 2 + 1);
        for (std::size_t i = 0; i < level.size(); i += 2) {
            Extremes e = level[i];
            if (i + 1 < level.size()) {
                e.min = std::min(e.min, level[i + 1].min);
                e.max = std::max(e.max, level[i + 1].max);
            }
            up.push_back(e);
        }
        m_levels.push_back(std::move(level));
        level = std::move(up);
    }
    if (!level.empty())
        m_levels.push_back(std::move(level));
}

std::pair<double, double> CMinMaxPyramid::MinMax(std::size_t first, std::size_t last) const
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    last = std::min(last, m_values.size());
    if (first >= last)
        return {lo, hi};
    auto take = [&](double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    };
    const std::size_t mask = (std::size_t{1} << kBaseShift) - 1;
    // The loose ends outside whole blocks are read value by value.
    while (first < last && (first & mask) != 0)
        take(m_values[first++]);
    while (last > first && (last & mask) != 0)
        take(m_values[--last]);
    std::size_t b0 = first >> kBaseShift;
    std::size_t b1 = last >> kBaseShift;
    for (std::size_t level = 0; b0 < b1 && level < m_levels.size(); ++level) {
        const std::vector<Extremes>& blocks = m_levels[level];
        if ((b0 & 1) != 0) {
            lo = std::min(lo, blocks[b0].min);
            hi = std::max(hi, blocks[b0].max);
            ++b0;
        }
        if ((b1 & 1) != 0) {
            --b1;
            lo = std::min(lo, blocks[b1].min);
            hi = std::max(hi, blocks[b1].max);
        }
        b0 >>= 1;
        b1 >>= 1;
    }
    return {lo, hi};
}
