#pragma once

#include <QString>
#include <pugixml.hpp>

#include <optional>

// Reading rules for device library attributes. Integers are read from the
// leading characters (optional white space, optional sign, digits) and stop
// at the first other character, so "3.1.2" reads as 3; reals likewise as a
// leading decimal floating-point number; a real too large for a double reads
// as an infinity of its sign, one too small as 0 or the nearest denormal.
// An absent attribute and one that does not begin with a number both count
// as not given.
class CXmlAttributes {
public:
    static std::optional<int> Int(const pugi::xml_node& node, const char* name);
    static int Int(const pugi::xml_node& node, const char* name, int fallback);
    static std::optional<double> Real(const pugi::xml_node& node, const char* name);
    static double Real(const pugi::xml_node& node, const char* name, double fallback);
    static std::optional<QString> Text(const pugi::xml_node& node, const char* name);
    static QString Text(const pugi::xml_node& node, const char* name, const QString& fallback);

    // The same rules applied to a plain string.
    static std::optional<int> LeadingInt(const char* text);
    static std::optional<double> LeadingReal(const char* text);
};
