#include "library/CXmlAttributes.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <locale.h>
#include <string>

std::optional<int> CXmlAttributes::LeadingInt(const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text)
        return std::nullopt;
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return value > 0 ? INT_MAX : INT_MIN;
    return static_cast<int>(value);
}

std::optional<double> CXmlAttributes::LeadingReal(const char* text)
{
    if (text == nullptr)
        return std::nullopt;
    // std::from_chars ignores the process locale, so "2.14" reads as 2.14
    // whatever decimal separator the user's locale has. It takes neither
    // leading white space nor a plus sign, so those are skipped here.
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    if (*text == '+' && text[1] != '-')
        ++text;
    double value = 0.0;
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, value);
    if (result.ptr == text || result.ec == std::errc::invalid_argument)
        return std::nullopt;
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone when the number does not fit;
        // the number then reads as strtod has it: an overflow as infinity
        // of its sign, an underflow as the nearest representable value.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
        const std::string number(text, result.ptr);
        return strtod_l(number.c_str(), nullptr, cLocale);
    }
    return value;
}

std::optional<int> CXmlAttributes::Int(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr)
        return std::nullopt;
    return LeadingInt(attr.value());
}

int CXmlAttributes::Int(const pugi::xml_node& node, const char* name, int fallback)
{
    return Int(node, name).value_or(fallback);
}

std::optional<double> CXmlAttributes::Real(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr)
        return std::nullopt;
    return LeadingReal(attr.value());
}

double CXmlAttributes::Real(const pugi::xml_node& node, const char* name, double fallback)
{
    return Real(node, name).value_or(fallback);
}

std::optional<QString> CXmlAttributes::Text(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attr = node.attribute(name);
    if (!attr)
        return std::nullopt;
    return QString::fromUtf8(attr.value());
}

QString CXmlAttributes::Text(const pugi::xml_node& node, const char* name, const QString& fallback)
{
    return Text(node, name).value_or(fallback);
}
