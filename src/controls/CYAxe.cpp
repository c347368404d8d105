#include "controls/CYAxe.h"

#include <algorithm>
#include <cmath>

CYAxe::Ticks CYAxe::MakeTicks(int minPixels) const
{
    Ticks ticks;
    const double span = Maximum() - Minimum();
    const int count = std::max(1, PixelLength() / std::max(1, minPixels));
    if (!(span > 0) || !std::isfinite(span))
        return ticks;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw)
            break;
    }
    ticks.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    const double first = std::ceil(Minimum() / step - 1e-9) * step;
    for (double v = first; v <= Maximum() + step * 1e-9 && ticks.values.size() < 1000; v += step)
        ticks.values.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return ticks;
}

QString CYAxe::Label(double value, int decimals)
{
    return QString::asprintf("%.*f", decimals, value);
}
