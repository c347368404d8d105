#pragma once

#include "panel/CTrackSegment.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

// Reads track files (*.tplay): plain text, one segment a line,
//
//   seconds [, start value [, end value]]
//
// Lines starting with '#' are comments; fields are separated by ',' and
// empty fields are skipped, so a line without any field is no segment.
// Each field converts by its leading number only (a field without one
// gives 0). The duration becomes ticks of 20 ms (see Ticks); a value keeps
// its low 16 bits, then 0 counts as 1 and anything above 255 as 255. A
// missing start value is 1, a missing end value equals the start value.
class CTrackFile {
public:
    // The longest line read; the rest of a longer line is ignored.
    static constexpr int kMaxLineLength = 1023;
    // Seconds per tick.
    static constexpr double kTickSeconds = 0.02;

    // The segments of the file at path, none when it cannot be opened or
    // read. A readable file may give an empty track.
    static std::optional<CTrack> Read(const QString& path);

    // The segments of the text; nothing beyond its last byte is read.
    static CTrack Parse(QByteArrayView text);

    // Ticks of a duration in seconds: floor(seconds / 0.02) in double
    // precision, so 0.02 s is 1 tick, 0.7 s is 35 and 1 s is 50.
    // Negative durations and NaN give 0; durations beyond the tick
    // counter's range give its largest value.
    static quint32 Ticks(double seconds);
    // A value as the track plays it, 1..255.
    static quint16 Value(qint64 number);

    // The leading number of a field as the standard conversions read it:
    // white space, an optional sign, then a decimal number (with fraction
    // and exponent for ParseDouble, which also knows "inf" and "nan").
    // A field without one gives 0.
    static double ParseDouble(QByteArrayView field);
    // Integers beyond the 32-bit range count as its nearest end.
    static qint64 ParseInteger(QByteArrayView field);
};
