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
};
