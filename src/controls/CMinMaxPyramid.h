#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// A series of values with the minimum and maximum of every aligned block of
// 16, 32, 64, ... values, so that the extremes of any index range come out
// of a few dozen look-ups however long the range. The blocks take about an
// eighth of the memory of the values themselves.
class CMinMaxPyramid {
public:
    CMinMaxPyramid() = default;
    explicit CMinMaxPyramid(std::vector<double> values);

    const std::vector<double>& Values() const { return m_values; }
    std::size_t Size() const { return m_values.size(); }

    // Minimum and maximum of values [first, last); an empty range gives
    // (+inf, -inf).
    std::pair<double, double> MinMax(std::size_t first, std::size_t last) const;

private:
    static constexpr std::size_t kBaseShift = 4;  // blocks of 16 values at level 0

    struct Extremes {
        double min;
        double max;
    };

    std::vector<double> m_values;
    std::vector<std::vector<Extremes>> m_levels;
};
