#include "panel/CTrackFile.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// White space as the C library's conversions skip it.
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips leading white space and an optional sign; true when the sign is '-'.
bool SkipSpaceAndSign(QByteArrayView field, qsizetype& pos)
{
    while (pos < field.size() && IsSpace(field[pos]))
        ++pos;
    if (pos < field.size() && (field[pos] == '+' || field[pos] == '-'))
        return field[pos++] == '-';
    return false;
}

// Case-insensitive: does the text at pos start with the lower-case word?
bool StartsWithWord(QByteArrayView text, qsizetype pos, const char* word)
{
    for (qsizetype i = 0; word[i] != '\0'; ++i) {
        if (pos + i >= text.size())
            return false;
        char c = text[pos + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

// Splits the text into lines at '\n'. A line drops a trailing '\r' (text
// written with CR LF line ends), everything from a NUL byte on, and
// everything after its first kMaxLineLength characters.
template <typename Visit>
void ForEachLine(QByteArrayView text, Visit visit)
{
    qsizetype begin = 0;
    while (begin < text.size()) {
        qsizetype end = begin;
        while (end < text.size() && text[end] != '\n')
            ++end;
        QByteArrayView line = text.sliced(begin, end - begin);
        if (!line.isEmpty() && line.back() == '\r')
            line.chop(1);
        for (qsizetype i = 0; i < line.size(); ++i) {
            if (line[i] == '\0') {
                line.truncate(i);
                break;
            }
        }
        if (line.size() > CTrackFile::kMaxLineLength)
            line.truncate(CTrackFile::kMaxLineLength);
        visit(line);
        begin = end + 1;
    }
}

}

std::optional<CTrack> CTrackFile::Read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return Parse(text);
}

CTrack CTrackFile::Parse(QByteArrayView text)
{
    CTrack track;
    quint32 start = 0;
    ForEachLine(text, [&](QByteArrayView line) {
        if (!line.isEmpty() && line.front() == '#')
            return;
        // Up to three non-empty fields between commas.
        QByteArrayView fields[3];
        int count = 0;
        qsizetype begin = 0;
        while (begin <= line.size() && count < 3) {
            qsizetype end = begin;
            while (end < line.size() && line[end] != ',')
                ++end;
            if (end > begin)
                fields[count++] = line.sliced(begin, end - begin);
            begin = end + 1;
        }
        if (count == 0)
            return;

        CTrackSegment segment;
        // The sum of all durations stays within the tick counter: a
        // duration that would carry it past its end is cut to what is left.
        const quint32 ticks = std::min(Ticks(ParseDouble(fields[0])), std::numeric_limits<quint32>::max() - start);
        segment.start = start;
        segment.end = start + ticks;
        segment.startValue = count >= 2 ? Value(ParseInteger(fields[1])) : 1;
        segment.endValue = count >= 3 ? Value(ParseInteger(fields[2])) : segment.startValue;
        track.push_back(segment);
        start = segment.end;
    });
    return track;
}

quint32 CTrackFile::Ticks(double seconds)
{
    // floor(seconds / 0.02), divided in double precision as the duration was
    // read: 0.02 s is 1 tick, 0.7 s is 35, 0.06 s is 3.
    const double ticks = std::floor(seconds / kTickSeconds);
    // Converting a double outside the target's range is undefined:
    // NaN and negative durations give no ticks, huge ones the largest count.
    if (!(ticks > 0))
        return 0;
    if (ticks >= static_cast<double>(std::numeric_limits<quint32>::max()))
        return std::numeric_limits<quint32>::max();
    return static_cast<quint32>(ticks);
}

quint16 CTrackFile::Value(qint64 number)
{
    const quint16 low = static_cast<quint16>(static_cast<quint64>(number) & 0xFFFFu);
    if (low == 0)
        return 1;
    return low > 255 ? 255 : low;
}

double CTrackFile::ParseDouble(QByteArrayView field)
{
    qsizetype pos = 0;
    const bool negative = SkipSpaceAndSign(field, pos);
    const double sign = negative ? -1.0 : 1.0;

    if (StartsWithWord(field, pos, "inf"))
        return sign * std::numeric_limits<double>::infinity();
    if (StartsWithWord(field, pos, "nan"))
        return std::numeric_limits<double>::quiet_NaN();

    // The longest prefix of the form digits [. digits] [e [sign] digits],
    // with at least one digit before the exponent.
    const qsizetype numberBegin = pos;
    qsizetype digits = 0;
    // Decimal magnitude of the mantissa: how many places its first non-zero
    // digit stands before (positive) or after (not positive) the point.
    qint64 magnitude = 0;
    bool seenNonZero = false;
    while (pos < field.size() && IsDigit(field[pos])) {
        if (field[pos] != '0')
            seenNonZero = true;
        if (seenNonZero)
            ++magnitude;
        ++pos;
        ++digits;
    }
    if (pos < field.size() && field[pos] == '.') {
        ++pos;
        while (pos < field.size() && IsDigit(field[pos])) {
            if (!seenNonZero) {
                if (field[pos] != '0')
                    seenNonZero = true;
                else
                    --magnitude;
            }
            ++pos;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (pos < field.size() && (field[pos] == 'e' || field[pos] == 'E')) {
        qsizetype e = pos + 1;
        bool negativeExponent = false;
        if (e < field.size() && (field[e] == '+' || field[e] == '-')) {
            negativeExponent = field[e] == '-';
            ++e;
        }
        if (e < field.size() && IsDigit(field[e])) {
            qint64 exponent = 0;
            while (e < field.size() && IsDigit(field[e])) {
                exponent = std::min<qint64>(exponent * 10 + (field[e] - '0'), 1'000'000'000);
                ++e;
            }
            magnitude += negativeExponent ? -exponent : exponent;
            pos = e;
        }
    }
    if (!seenNonZero)
        return 0;

    const char* first = field.data() + numberBegin;
    const char* last = field.data() + pos;
    double value = 0;
    const std::from_chars_result result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    else if (result.ec != std::errc())
        value = 0;
    return sign * value;
}

qint64 CTrackFile::ParseInteger(QByteArrayView field)
{
    qsizetype pos = 0;
    const bool negative = SkipSpaceAndSign(field, pos);
    // Accumulated as a magnitude that stops just past the 32-bit range.
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    while (pos < field.size() && IsDigit(field[pos])) {
        magnitude = std::min(magnitude * 10 + (field[pos] - '0'), kLimit);
        ++pos;
    }
    if (negative)
        return -magnitude;
    return std::min(magnitude, kLimit - 1);
}
