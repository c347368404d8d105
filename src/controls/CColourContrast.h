#pragma once

#include <QColor>

// Contrast between two colours as the web's accessibility guidelines
// measure it: the relative luminance of each (sRGB channels linearised,
// weighted 0.2126, 0.7152, 0.0722) and the ratio (lighter + 0.05) /
// (darker + 0.05), from 1 (equal) to 21 (black on white).
class CColourContrast {
public:
    // The contrast a line needs against its background to be read.
    static constexpr double kMinimumLineRatio = 3.0;

    static double RelativeLuminance(const QColor& colour);
    static double Ratio(const QColor& a, const QColor& b);
    // True when the background is nearer white than black.
    static bool IsLight(const QColor& background);

    // The colour itself when it stands out from the background by at least
    // ratio; otherwise the nearest colour of the same hue and saturation,
    // darker on a light background and lighter on a dark one, that does.
    static QColor Readable(const QColor& colour, const QColor& background, double ratio = kMinimumLineRatio);

    // A blend of two colours: 0 gives a, 1 gives b.
    static QColor Mix(const QColor& a, const QColor& b, double share);
};
