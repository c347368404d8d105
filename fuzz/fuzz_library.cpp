// The device library: an arbitrary buffer parsed as a *.esc document, then
// every look-up TORV makes in a library, the parameter rows built,
// refreshed and written back over a table of cells, and the curves read and
// written over the same cells.

#include "FuzzInput.h"

#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CFormulaTable.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "library/CXmlAttributes.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"
#include "logger/CCurve.h"
#include "logger/CCurveTransfer.h"
#include "library/IProperty.h"

#include <QLoggingCategory>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxDevices = 8;
constexpr size_t kMaxCategories = 16;
constexpr size_t kMaxValueLookups = 8;

// A device whose cells are a fixed table; writes land in the table.
class TableCells : public ICellLoader, public ICellWriter {
public:
    explicit TableCells(CChanMap& image)
        : m_image(image)
    {
        for (size_t i = 0; i < m_cells.size(); ++i)
            m_cells[i] = static_cast<uint8_t>(i * 37 + 11);
        m_cells[64] = 3;
        m_cells[65] = 2;
        m_cells[66] = 4;
    }

    bool LoadCell(int cell, uint8_t& value) override
    {
        if (cell < 0 || cell >= static_cast<int>(m_cells.size()))
            return false;
        value = m_cells[static_cast<size_t>(cell)];
        return true;
    }

    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override
    {
        for (int i = first; i <= last; ++i)
            out[i] = m_cells[static_cast<size_t>(i)];
        return true;
    }

    bool WriteCell(uint8_t cell, uint8_t value) override
    {
        m_cells[cell] = value;
        m_image.InvalidateCell(cell);
        return true;
    }

    void Pause(int) const override {}
    bool Probe() override { return true; }

private:
    CChanMap& m_image;
    std::array<uint8_t, 256> m_cells{};
};

struct Identity {
    int t, r, s;
};

// The identity triples tried on every document: the sample library's
// devices, nothing at all and the largest bytes, plus the ids the document's
// own ESC elements name.
std::vector<Identity> Identities(const CDeviceLibrary& library)
{
    std::vector<Identity> ids = {{3, 2, 4}, {3, 1, 0}, {5, 0, 0}, {0, 0, 0}, {255, 255, 255}};
    size_t seen = 0;
    for (const pugi::xml_node& esc : library.Root().children("ESC")) {
        if (++seen > kMaxDevices)
            break;
        const std::string id = esc.attribute("id").value();
        Identity identity{0, 0, 0};
        int* parts[] = {&identity.t, &identity.r, &identity.s};
        size_t start = 0;
        for (int* part : parts) {
            *part = CXmlAttributes::LeadingInt(id.c_str() + start).value_or(0) & 0xFF;
            const size_t dot = id.find('.', start);
            if (dot == std::string::npos)
                break;
            start = dot + 1;
        }
        ids.push_back(identity);
    }
    return ids;
}

void LookUpValues(const pugi::xml_node& parameter)
{
    for (int raw = 0; raw < static_cast<int>(kMaxValueLookups); ++raw) {
        CDeviceLibrary::ValueOfRaw(parameter, raw);
        CDeviceLibrary::ValueAt(parameter, raw + 1);
    }
    for (const char* name : {"cell", "lo_byte_cell", "default", "min", "max", "step", "scale", "offset"}) {
        CXmlAttributes::Int(parameter, name);
        CXmlAttributes::Real(parameter, name);
    }
}

void ExerciseDevice(CDeviceLibrary& library, const pugi::xml_node& esc, const Identity& id)
{
    CDeviceLibrary::CurveCount(esc);
    CDeviceLibrary::CapabilitiesOf(esc);
    library.LoggerOf(esc, id.r, id.s);

    const pugi::xml_node categories = library.Categories();
    size_t counted = 0;
    for (const pugi::xml_node& category : CDeviceLibrary::RegularCategories(categories)) {
        if (++counted > kMaxCategories)
            break;
        CDeviceLibrary::ParametersOfCategory(esc, CXmlAttributes::Text(category, "name", QString()));
    }
    CDeviceLibrary::DefaultCategory(categories);
    CDeviceLibrary::ParametersWithoutCategory(esc);
    CDeviceLibrary::RefreshParameters(esc);
    for (int cell : {0, 1, 64, 255, 256, -1})
        CDeviceLibrary::ParameterOfCell(esc, cell);
    CDeviceLibrary::ParameterOfPanelTag(esc, QStringLiteral("rpm"));
    CDeviceLibrary::ParameterOfPanelTag(esc, QStringLiteral("a\"b'c"));
    size_t looked = 0;
    for (const pugi::xml_node& parameter : CDeviceLibrary::AllParameters(esc)) {
        if (++looked > kMaxCategories)
            break;
        LookUpValues(parameter);
    }

    CPropertyList list;
    CChanMap image;
    TableCells device(image);
    CFormulaTable formulas;
    image.ResetImage(256, &device, CDeviceLibrary::CapabilitiesOf(esc).rangeReads);
    CFormulaTable::SetCurrentImage(&image);
    CParameterModel model(library, list, image, device, formulas);

    model.BuildParameterList(esc, id.r, id.s);
    model.RefreshAllParameters(false);
    for (int i = 0; i < list.Count(); ++i) {
        IProperty* row = list.At(i);
        CParameterModel::DescriptionOf(row);
        QString text;
        row->GetDisplayText(text);
        model.RawValueOf(*row);
        model.WriteBackParameter(row);
        list.CommitValue(row, QVariant(QStringLiteral("12")), true);
        list.CommitValue(row, QVariant(1), false);
        if (row->Kind() == IProperty::KindCategory) {
            list.Collapse(row);
            model.OnCategoryExpanded(row);
            list.Expand(row);
        }
    }
    model.RefreshAllParameters(true);
    // The single-row builder on every parameter, as the list does it.
    looked = 0;
    for (const pugi::xml_node& parameter : CDeviceLibrary::AllParameters(esc)) {
        if (++looked > kMaxCategories)
            break;
        model.BuildPropertyRow(parameter);
    }
    CFormulaTable::SetCurrentImage(nullptr);

    // Every curve the editor would offer, read and written back with one
    // point moved, over the same cells.
    CCurveTransfer transfer(device, device, &image);
    looked = 0;
    for (const pugi::xml_node& element : CCurve::Elements(esc)) {
        if (++looked > kMaxCategories)
            break;
        QString error;
        const std::optional<CCurve> curve = CCurve::FromElement(element, &error);
        if (!curve)
            continue;
        const CCurveTransfer::Points points = transfer.Read(*curve);
        std::vector<int> values(points.values.begin(), points.values.end());
        values[values.size() / 2] ^= 0x55;
        transfer.Write(*curve, points, values);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The library's debug log would only slow the fuzzer down.
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return true;
    }();
    (void)quiet;

    CDeviceLibrary library;
    if (!library.LoadFromBuffer(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)))) {
        library.ErrorText();
        library.ErrorLine();
        return 0;
    }
    library.IsLoaded();
    library.StartTimeout();
    library.AwakeTimeout();
    library.MemloadTimeout();
    library.VersionText();
    library.Version();
    library.SupportedDevices();

    for (const Identity& id : Identities(library)) {
        library.FindLogger(id.t, id.r, id.s);
        pugi::xml_node esc;
        bool deprecated = false;
        if (library.IdentifyDevice(id.t, id.r, id.s, esc, deprecated))
            ExerciseDevice(library, esc, id);
    }
    return 0;
}
