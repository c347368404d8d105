#pragma once


#include <QString>
#include <QStringList>
#include <pugixml.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class CChanMap;
class CDeviceLibrary;
class CFormulaTable;
class CPropertyList;
class ICellWriter;
class IProperty;

// What building the parameter list found out about the device.
struct DeviceFacts {
    QString title;                // "TORV - %s v %d.%d"
    pugi::xml_node logger;        // the device's Logger element, or none
    unsigned loggerBlocks = 0;    // mem_blocks; above 0: the device has a logger
    unsigned initialDataSize = 0; // inidata, 128 by default; 0 without a logger
    bool speedChange = false;     // caps S
    bool rangeReads = false;      // caps R
    bool melodies = false;        // caps M
    bool grouped = false;         // the list was built by categories
};

// The parameters of the connected ESC over the cell image: builds the rows
// of the property list from the ESC element, shows cell values in them,
// refreshes them from the device, restores defaults, and writes edited
// values back. It owns nothing; the main window owns the parts.
class CParameterModel {
public:
    enum class WriteResult {
        NothingWritten,   // the row has no cell, or its value codes to nothing
        Written,          // written and read back
        WriteFailed,      // a cell write failed: the link must be dropped
        DoesNotFit,       // the value needs more than the row's cells hold: nothing written
    };

    CParameterModel(CDeviceLibrary& library, CPropertyList& list, CChanMap& image, ICellWriter& writer,
                    CFormulaTable& formulas);
    CParameterModel(const CParameterModel&) = delete;
    CParameterModel& operator=(const CParameterModel&) = delete;

    // The row for a Parameter element, or none when the element is not a
    // usable parameter. Formula parameters get their expression compiled.
    std::unique_ptr<IProperty> BuildPropertyRow(const pugi::xml_node& element);
    // The row of a list, check, range or plain number parameter by the same
    // rules, without touching any table: none for formula and unusable
    // parameters. A stand-in row tells what the list would show for a value.
    static std::unique_ptr<IProperty> BuildValueRow(const pugi::xml_node& element);
    // Hands a raw cell value to a row of the element; a list value that no
    // entry stands for makes the row show the number as not in the library.
    static bool ShowRaw(IProperty* row, const pugi::xml_node& element, uint16_t raw);

    // Fills the list for a newly identified device (identity bytes R, S),
    // flat or grouped by categories, and remembers the ESC element.
    DeviceFacts BuildParameterList(const pugi::xml_node& esc, int r, int s);
    pugi::xml_node EscElement() const { return m_esc; }
    void SetEscElement(const pugi::xml_node& esc) { m_esc = esc; }

    // Re-reads one parameter (writing its default first when restore is
    // set) and shows it. False only when a cell cannot be read (also one that
    // a formula reads); a formula that fails in itself shows "parser error"
    // in its row and counts as refreshed.
    bool RefreshParameter(const pugi::xml_node& element, bool restore);
    // Clears every loaded bit and refreshes the rows shown in the list, top
    // to bottom (rows of collapsed categories are skipped); stops at the
    // first cell that cannot be read.
    bool RefreshAllParameters(bool restore);

    // What RestoreDefaults did, by parameter name.
    struct RestoreReport {
        int restored = 0;     // parameters whose default was written
        QStringList changed;  // of these, the ones whose cells held another value
        QStringList refused;  // of these, the ones whose cells do not hold the default after
        QString failedAt;     // the parameter whose cells could not be read; empty when complete
    };
    // Writes the default of every parameter that has one, rows held by
    // collapsed categories included, and refreshes every row from the
    // device, in document order; stops at the first cell that cannot be read.
    RestoreReport RestoreDefaults();

    // Shows a raw value (one cell, or 256 * high + low) in the element's row.
    // A value the library does not allow (a list value without an entry, a
    // range value beyond its limits) is shown as it is, marked "(not in the
    // library)".
    bool ShowCellValue(const pugi::xml_node& element, uint16_t raw);

    // For a parameter file about to be loaded: one line "name: value (not in
    // the library)" per list or range setting in cells 0..63 whose value the
    // library does not allow; empty when every value is allowed.
    QStringList ValuesOutsideLibrary(const std::array<uint8_t, 128>& cells) const;
    bool ShowText(const pugi::xml_node& element, const QString& text);

    // The raw value that the row's value codes to; none when nothing is to
    // be written (a list position without an integer Value[p + 1]).
    std::optional<int> RawValueOf(const IProperty& row) const;

    // Writes the row's value to its cells (the high cell first for two-cell
    // values), pausing 11 ms after each write, then reads the cells back and
    // shows what the device reports.
    WriteResult WriteBackParameter(IProperty* row);

    // Re-reads the parameters named by an expanded category.
    bool OnCategoryExpanded(IProperty* row);

    // The description of the row's element, if it has one.
    static std::optional<QString> DescriptionOf(const IProperty* row);

private:
    bool RefreshCells(const pugi::xml_node& element, int cell, bool restore);
    bool RefreshFormula(const pugi::xml_node& element);
    void AddParameterRows(const std::vector<pugi::xml_node>& parameters);
    void BuildGrouped(const pugi::xml_node& categories);
    void BuildFlat();
    uint8_t ReadBack(int cell, uint8_t written);
    // The raw value of the element's cells (256 * high + low for two cells).
    std::optional<uint16_t> ReadRaw(const pugi::xml_node& element, int cell);
    void Pause();

    CDeviceLibrary& m_library;
    CPropertyList& m_list;
    CChanMap& m_image;
    ICellWriter& m_writer;
    CFormulaTable& m_formulas;
    pugi::xml_node m_esc;
};
