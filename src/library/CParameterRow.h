#pragma once

#include <QString>

#include <vector>

#include <pugixml.hpp>

class IProperty;

// What a parameter row is made of, as the file comparison, the undo steps and
// the command line see it: its cells, whether it is a setting, and its shown
// value as text.
class CParameterRow {
public:
    // The value as shown: the text for list, number and formula rows, "on"
    // or "off" for check rows.
    static QString ShownText(const IProperty& row);
    // The cells the row's value lives in (the high cell first); empty for
    // formula rows.
    static std::vector<int> CellsOf(const IProperty& row);
    // The same for a parameter element of the device library.
    static std::vector<int> CellsOf(const pugi::xml_node& element);
    // Whether the row is a setting: it has cells and is not read-only.
    static bool IsSetting(const IProperty& row);
};
