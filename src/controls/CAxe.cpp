#include "controls/CAxe.h"

#include <cmath>
#include <limits>

namespace {
int ClampToInt(double pixel)
{
    constexpr double kLimit = 1e9;  // far outside any widget, still an int
    if (std::isnan(pixel))
        return 0;
    return static_cast<int>(pixel < -kLimit ? -kLimit : (pixel > kLimit ? kLimit : pixel));
}
}

void CAxe::SetRange(double minimum, double maximum)
{
    m_min = minimum;
    m_max = maximum;
}

void CAxe::SetPixelSpan(int first, int last)
{
    m_first = first;
    m_last = last;
}

double CAxe::ValueToPixelF(double value) const
{
    const double from = FromValue();
    const double to = ToValue();
    if (to == from)
        return m_first;
    return m_first + (value - from) / (to - from) * (m_last - m_first);
}

int CAxe::ValueToPixel(double value) const
{
    return ClampToInt(std::floor(ValueToPixelF(value)));
}

double CAxe::PixelToValue(int pixel) const
{
    const double from = FromValue();
    const double to = ToValue();
    if (m_last == m_first)
        return from;
    return from + static_cast<double>(pixel - m_first) / (m_last - m_first) * (to - from);
}
