#pragma once

#include <QByteArray>
#include <QString>
#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <vector>

// The diagnostic workbook of downloaded logs, an XML Spreadsheet 2003
// document: worksheet "Ini" lists the calibration snapshot cells with the
// names and decoded values the device library gives them and turns the
// library's parameter formulas into spreadsheet formulas over those cells;
// worksheet "Log" lists the raw slot values of every page.
class CLogWorkbook {
public:
    // Builds the document from the ESC element of the device, the snapshot
    // (byte i is cell i) and a buffer of 264-byte pages. False only when the
    // built-in template does not parse.
    static bool Build(pugi::xml_document& document, const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot,
                      const uint8_t* pages, std::size_t pageCount);
    // The document's text.
    static QByteArray Format(const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot, const uint8_t* pages,
                             std::size_t pageCount);
    // Builds and writes it atomically; false (with the reason) on failure.
    static bool Save(const QString& path, const pugi::xml_node& esc, const std::vector<uint8_t>& snapshot,
                     const uint8_t* pages, std::size_t pageCount, QString* error = nullptr);

    // A library formula as a spreadsheet formula: "=" and the formula, with
    // cell(n) turned into Cell_n and cellw(a, b) into (Cell_a+256*Cell_b),
    // letter case ignored. None when a cell index is cellCount or more.
    static std::optional<QString> ConvertFormula(const QString& formula, std::size_t cellCount);
};
