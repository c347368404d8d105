#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The median of a series of measurements (the upper one of an even count).
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
    return values[mid];
}
