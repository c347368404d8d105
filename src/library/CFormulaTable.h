#pragma once

#include <QString>

#include <map>
#include <memory>

namespace mu {
class Parser;
}

class CChanMap;

// Parameter formulas: each formula text maps to one compiled expression with
// the cell functions
//   cell(x)     value of cell floor(x), 0..255
//   cellw(a, b) cell floor(a) + 256 * cell floor(b)  (a: low byte, b: high byte)
//   floor(x)    the largest integer not above x
// cell and cellw read the current cell image (the main window publishes it);
// without one, or when a cell cannot be read (numbers outside 0..255
// included), they raise the parser error "parser error". Entries are only
// added; adding a text that is present keeps the entry.
class CFormulaTable {
public:
    CFormulaTable();
    ~CFormulaTable();
    CFormulaTable(const CFormulaTable&) = delete;
    CFormulaTable& operator=(const CFormulaTable&) = delete;

    // The expression for the text, compiled and inserted when new.
    mu::Parser& Add(const QString& formula);
    // nullptr when the text has no entry.
    mu::Parser* Find(const QString& formula) const;
    int Count() const { return static_cast<int>(m_entries.size()); }

    // The cell image that cell and cellw read; nullptr for none.
    static void SetCurrentImage(CChanMap* image);
    static CChanMap* CurrentImage();

    // Whether a cell function met a cell that the image could not read (the
    // device did not answer) since the last call; clears the mark. It tells
    // a device failure from a fault of the formula itself.
    static bool TakeCellReadFailure();

    // A new parser with the cell functions defined and no variables.
    static std::unique_ptr<mu::Parser> NewParser();

private:
    std::map<QString, std::unique_ptr<mu::Parser>> m_entries;
};
