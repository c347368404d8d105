#include "controls/CColourContrast.h"

#include <algorithm>
#include <cmath>

namespace {
double Linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}
}

double CColourContrast::RelativeLuminance(const QColor& colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) + 0.0722 * Linear(rgb.blueF());
}

double CColourContrast::Ratio(const QColor& a, const QColor& b)
{
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool CColourContrast::IsLight(const QColor& background)
{
    return Ratio(background, Qt::black) >= Ratio(background, Qt::white);
}

QColor CColourContrast::Readable(const QColor& colour, const QColor& background, double ratio)
{
    const QColor rgb = colour.toRgb();
    if (Ratio(rgb, background) >= ratio)
        return rgb;
    // Luminance rises with HSL lightness at a fixed hue and saturation, so
    // the lightness that just reaches the ratio is found by bisection
    // between the colour's own and the far end (black or white). The
    // result is taken in whole 8-bit channels, as it will be drawn.
    const bool darken = IsLight(background);
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    float alpha = 1;
    rgb.getHslF(&hue, &saturation, &lightness, &alpha);
    auto at = [&](double l) {
        QColor c = QColor::fromHslF(hue, saturation, static_cast<float>(std::clamp(l, 0.0, 1.0)), alpha).toRgb();
        return QColor(c.red(), c.green(), c.blue(), c.alpha());
    };
    double good = darken ? 0.0 : 1.0;  // black or white always reaches 3:1 on one side
    double bad = lightness;
    for (int step = 0; step < 24; ++step) {
        const double middle = (good + bad) / 2;
        if (Ratio(at(middle), background) >= ratio)
            good = middle;
        else
            bad = middle;
    }
    return at(good);
}

QColor CColourContrast::Mix(const QColor& a, const QColor& b, double share)
{
    const QColor x = a.toRgb();
    const QColor y = b.toRgb();
    auto blend = [share](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * share)); };
    return QColor(blend(x.red(), y.red()), blend(x.green(), y.green()), blend(x.blue(), y.blue()));
}
