#include "library/CDoubleFormat.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

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
