#pragma once

#include "controls/CAxe.h"

#include <QString>

#include <vector>

// A vertical axis: its maximum at the top pixel. Ticks fall on round
// numbers (1, 2 or 5 times a power of ten).
class CYAxe : public CAxe {
public:
    CYAxe() : CAxe(true) {}

    struct Ticks {
        std::vector<double> values;
        int decimals = 0;  // for "%.*f"
    };
    // Round ticks inside the range, about one per minPixels of the span.
    Ticks MakeTicks(int minPixels) const;
    static QString Label(double value, int decimals);
};
