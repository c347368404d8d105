#include "library/CDoubleFormat.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include <QLocale>

namespace {

// Widths and precisions beyond this make no sense for a shown value and
// would only make the output huge.
constexpr int kMaxField = 512;

// Reads digits at text[i], advancing i; false when the number is too big.
bool ReadField(const QByteArray& text, int& i)
{
    int value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        if (value > kMaxField)
            return false;
        ++i;
    }
    return true;
}

bool IsValidFormat(const QByteArray& text)
{
    int conversions = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        ++i;
        if (i < text.size() && text[i] == '%')
            continue;
        while (i < text.size() && std::strchr("-+ #0", text[i]) != nullptr)
            ++i;
        if (!ReadField(text, i))
            return false;
        if (i < text.size() && text[i] == '.') {
            ++i;
            if (!ReadField(text, i))
                return false;
        }
        if (i < text.size() && text[i] == 'l')
            ++i;
        if (i >= text.size() || std::strchr("eEfFgGaA", text[i]) == nullptr)
            return false;
        ++conversions;
    }
    return conversions == 1;
}

// Formats with the C notation (a dot as decimal point) whatever LC_NUMERIC
// the process runs with: Qt applies the user's locale at start-up.
class CNumericLocale {
public:
    CNumericLocale()
        : m_c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr)))
        , m_previous(m_c != nullptr ? uselocale(m_c) : nullptr)
    {
    }
    ~CNumericLocale()
    {
        if (m_c != nullptr) {
            uselocale(m_previous);
            freelocale(m_c);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_c;
    locale_t m_previous;
};

} // namespace

bool CDoubleFormat::IsValid(const QString& format)
{
    const QByteArray text = format.toUtf8();
    return !text.contains('\0') && IsValidFormat(text);
}

std::optional<QString> CDoubleFormat::Format(const QString& format, double value)
{
    if (!IsValid(format))
        return std::nullopt;
    const QByteArray text = format.toUtf8();
    const CNumericLocale numericLocale;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(nullptr, 0, text.constData(), value);
    if (length < 0)
        return std::nullopt;
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), text.constData(), value);
#pragma GCC diagnostic pop
    return QString::fromUtf8(buffer.data(), length);
}

int CDoubleFormat::StepDecimals(double step)
{
    constexpr int kMaxDecimals = 9;
    step = std::abs(step);
    if (!std::isfinite(step) || step == 0.0)
        return kMaxDecimals;
    double scaled = step;
    for (int decimals = 0; decimals < kMaxDecimals; ++decimals, scaled *= 10) {
        // A step read from text (0.1) is not exact in binary: allow for the
        // last bits of the mantissa.
        if (std::abs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, scaled))
            return decimals;
    }
    return kMaxDecimals;
}

QString CDoubleFormat::ForStep(double value, double step, QChar decimalPoint)
{
    // Beyond 1e15 the 'f' form would show digits a double does not hold.
    if (!std::isfinite(value) || std::abs(value) >= 1e15)
        return QString::number(value, 'g', QLocale::FloatingPointShortest);
    QString text = QString::number(value, 'f', StepDecimals(step));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    text.replace(QLatin1Char('.'), decimalPoint);
    return text;
}
