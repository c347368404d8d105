#pragma once

#include <QString>
#include <pugixml.hpp>

#include <optional>

class IProperty;

// What a parameter row says about itself: its description, the values it
// allows, its library default, and whether the value it shows differs from
// that default. Units come from the parameter's name, where the library
// writes them in a closing bracket ("Timing (deg)").
class CParameterTip {
public:
    // The tooltip of a row, one fact per line; empty when the row's element
    // tells nothing.
    static QString Text(const IProperty& row);

    // The row shows a value other than its library default. Rows without a
    // default, formula rows and category rows never differ.
    static bool DiffersFromDefault(const IProperty& row);

    // The text the row would show for the library default (a check row:
    // "on" or "off"), without unit; none when the parameter has no default.
    static std::optional<QString> DefaultText(const pugi::xml_node& element);

    // The unit written at the end of a parameter name in brackets, empty
    // when there is none.
    static QString Unit(const QString& name);

private:
    static QString ShownText(const IProperty& row);
    static QString AllowedValues(const IProperty& row, const QString& unit);
};
