#pragma once

#include <QString>

#include <vector>

#include "library/CChanMap.h"
#include "library/CFormulaTable.h"
#include "library/CParameterFile.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"

class CDeviceSession;
class IProperty;

// The parameters as the device would show them after a parameter file has
// been loaded into it: a second cell image, list and model over the device's
// library entry, whose cells 0..63 come from the file (the cells a load
// writes) and every other cell from the device. Nothing is ever written.
class CFileParameters : private ICellLoader, private ICellWriter {
public:
    // One parameter whose shown value the load would change.
    struct Change {
        QString name;
        QString device;
        QString file;
    };

    // A cell that no row shows but that has a name of its own (a curve
    // point, say); the comparison names its change so.
    struct NamedCell {
        int cell;
        QString name;
    };

    CFileParameters(CDeviceSession& device, const CParameterFile::Image& file,
                    std::vector<NamedCell> namedCells = {});

    // The value the row's parameter would show after the load; none when
    // its cells cannot be had.
    std::optional<QString> ShownText(const IProperty& deviceRow);
    // Everything the load would change: every setting of the device's list
    // whose shown value would change, then every named cell and every
    // other cell the load writes with a new value. Cells that the device's
    // rows only read (live values in formulas) are left out: they are the
    // ESC's, not the file's.
    std::vector<Change> Changes(const std::vector<IProperty*>& deviceRows);

private:
    // The written cells that no row shows, changed by the load: named
    // cells by their names, the rest by number.
    std::vector<Change> CellChanges(const std::vector<IProperty*>& deviceRows);

    bool LoadCell(int cell, uint8_t& value) override;
    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override;
    bool WriteCell(uint8_t cell, uint8_t value) override;
    void Pause(int ms) const override;
    bool Probe() override;

    CChanMap& m_deviceImage;
    CParameterFile::Image m_file;
    std::vector<NamedCell> m_namedCells;
    CChanMap m_image;
    CPropertyList m_list;
    CFormulaTable m_formulas;
    CParameterModel m_model;
};
