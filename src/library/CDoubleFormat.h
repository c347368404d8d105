#pragma once

#include <QString>

#include <optional>

// printf-style formatting of one double with a format text taken from the
// device library. The format is checked before use: it must hold exactly one
// conversion for a double (%e %E %f %F %g %G %a %A, with flags, width and
// precision, optionally the l modifier) besides literal text and %%.
// Anything else (%s, %n, %d, *, two conversions) would be undefined
// behaviour in printf and is refused.
class CDoubleFormat {
public:
    static bool IsValid(const QString& format);
    // nullopt when the format is refused.
    static std::optional<QString> Format(const QString& format, double value);

    // The decimals a value on a grid of step needs: 0.1 -> 1, 0.25 -> 2,
    // 1 or 2 -> 0 (at most 9).
    static int StepDecimals(double step);
    // A value on a grid of step as a person writes it: at most the step's
    // decimals, no trailing zeros (7.8, 12, -0.25), whatever binary noise
    // the arithmetic left (7.800000000000001). The decimal point is the
    // given one: range rows show the user's locale's, as they always did.
    static QString ForStep(double value, double step, QChar decimalPoint = QLatin1Char('.'));
};
