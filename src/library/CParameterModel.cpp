#include "library/CParameterModel.h"

#include "library/CCategoryProperty.h"
#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CDoubleFormat.h"
#include "library/CFormulaTable.h"
#include "library/CPropertyCheckButtonItem.h"
#include "library/CPropertyEditItem.h"
#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertyReadOnlyItem.h"
#include "library/CPropertySpinEditRangeItem.h"
#include "library/CXmlAttributes.h"
#include "link/ICellWriter.h"
#include "library/LibraryLog.h"

#include <QCoreApplication>

#include <muParser.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

constexpr int kNoCell = -1;
constexpr int kPauseMs = 11;
constexpr char kFormulaErrorText[] = "parser error";

bool IsCategory(const pugi::xml_node& element)
{
    return std::strcmp(element.name(), "Category") == 0;
}

// "TORV - %s v %d.%d" filled without handing the (translatable) text to
// printf: the placeholders become %1 %2 %3 and are replaced in one pass.
QString WindowTitle(const QString& name, int r, int s)
{
    QString format = QCoreApplication::translate("CMainDlg", "TORV - %s v %d.%d");
    format.replace(format.indexOf(QLatin1String("%s")), 2, QLatin1String("%1"));
    format.replace(format.indexOf(QLatin1String("%d")), 2, QLatin1String("%2"));
    format.replace(format.indexOf(QLatin1String("%d")), 2, QLatin1String("%3"));
    return format.arg(name, QString::number(r), QString::number(s));
}

std::unique_ptr<IProperty> BuildListRow(const QString& name, const pugi::xml_node& element)
{
    auto row = std::make_unique<CPropertyListItem>(name);
    for (const pugi::xml_node& value : element.children("Value")) {
        const std::optional<QString> text = CXmlAttributes::Text(value, "string");
        if (!text || !CXmlAttributes::Int(value, "val"))
            return nullptr;
        row->AddText(*text);
    }
    return row;
}

std::unique_ptr<IProperty> BuildRangeRow(const QString& name, const pugi::xml_node& element)
{
    const std::optional<double> min = CXmlAttributes::Real(element, "min");
    const std::optional<double> max = CXmlAttributes::Real(element, "max");
    const std::optional<double> step = CXmlAttributes::Real(element, "step");
    if (!min || !max || !step)
        return nullptr;
    const std::optional<double> scale = CXmlAttributes::Real(element, "scale");
    const std::optional<double> offset = CXmlAttributes::Real(element, "offset");
    // A step or scale of 0 (or a value that is no finite number) divides by
    // zero in the arithmetic: such a parameter is malformed and left out.
    for (const std::optional<double>& v : {min, max, step, scale, offset}) {
        if (v && !std::isfinite(*v))
            return nullptr;
    }
    if (*step == 0 || (scale && *scale == 0))
        return nullptr;
    auto row = std::make_unique<CPropertySpinEditRangeItem>(name, *min, *max, *step);
    if (scale)
        row->SetScale(*scale);
    if (offset)
        row->SetOffset(*offset);
    return row;
}

} // namespace

CParameterModel::CParameterModel(CDeviceLibrary& library, CPropertyList& list, CChanMap& image,
                                 ICellWriter& writer, CFormulaTable& formulas)
    : m_library(library)
    , m_list(list)
    , m_image(image)
    , m_writer(writer)
    , m_formulas(formulas)
{
}

std::unique_ptr<IProperty> CParameterModel::BuildValueRow(const pugi::xml_node& element)
{
    const std::optional<QString> name = CXmlAttributes::Text(element, "name");
    const pugi::xml_attribute typeAttr = element.attribute("type");
    const int cell = CXmlAttributes::Int(element, "cell", kNoCell);
    if (!name || !typeAttr || cell == kNoCell || std::strcmp(typeAttr.value(), "formula") == 0)
        return nullptr;
    const char* type = typeAttr.value();
    std::unique_ptr<IProperty> row;
    if (std::strcmp(type, "list") == 0)
        row = BuildListRow(*name, element);
    else if (std::strcmp(type, "check") == 0)
        row = std::make_unique<CPropertyCheckButtonItem>(*name);
    else if (std::strcmp(type, "range") == 0)
        row = BuildRangeRow(*name, element);
    else
        row = std::make_unique<CPropertyEditItem>(*name, QVariant(0));
    if (row)
        row->SetItemData(element);
    return row;
}

std::unique_ptr<IProperty> CParameterModel::BuildPropertyRow(const pugi::xml_node& element)
{
    const std::optional<QString> name = CXmlAttributes::Text(element, "name");
    const pugi::xml_attribute typeAttr = element.attribute("type");
    if (!name || !typeAttr)
        return nullptr;
    if (std::strcmp(typeAttr.value(), "formula") != 0)
        return BuildValueRow(element);
    // A formula parameter without a formula has nothing to show.
    const std::optional<QString> formula = CXmlAttributes::Text(element, "formula");
    if (!formula)
        return nullptr;
    m_formulas.Add(*formula);
    auto row = std::make_unique<CPropertyReadOnlyItem>(*name);
    row->SetItemData(element);
    return row;
}

void CParameterModel::AddParameterRows(const std::vector<pugi::xml_node>& parameters)
{
    for (const pugi::xml_node& parameter : parameters) {
        std::unique_ptr<IProperty> row = BuildPropertyRow(parameter);
        if (row)
            m_list.AddItem(std::move(row));
    }
}

DeviceFacts CParameterModel::BuildParameterList(const pugi::xml_node& esc, int r, int s)
{
    m_esc = esc;
    m_list.Clear();

    DeviceFacts facts;
    facts.title = WindowTitle(CXmlAttributes::Text(esc, "name", QStringLiteral("???")), r, s);

    const LoggerFacts logger = m_library.LoggerOf(esc, r, s);
    facts.logger = logger.logger;
    facts.loggerBlocks = logger.memBlocks;
    facts.initialDataSize = logger.initialDataSize;

    const pugi::xml_node categories = m_library.Categories();
    facts.grouped = CXmlAttributes::Int(esc, "usecat", 0) != 0 && categories;
    if (facts.grouped)
        BuildGrouped(categories);
    else
        BuildFlat();

    const Capabilities caps = CDeviceLibrary::CapabilitiesOf(esc);
    facts.speedChange = caps.speedChange;
    facts.rangeReads = caps.rangeReads;
    facts.melodies = caps.melodies;
    return facts;
}

void CParameterModel::BuildGrouped(const pugi::xml_node& categories)
{
    m_list.SetCategoriesStyle(true);
    for (const pugi::xml_node& category : CDeviceLibrary::RegularCategories(categories)) {
        const QString name = CXmlAttributes::Text(category, "name", QString());
        const std::vector<pugi::xml_node> parameters = CDeviceLibrary::ParametersOfCategory(m_esc, name);
        if (parameters.empty())
            continue;
        auto categoryRow = std::make_unique<CCategoryProperty>(CXmlAttributes::Text(category, "label", QString()));
        categoryRow->SetItemData(category);
        IProperty* added = m_list.AddItem(std::move(categoryRow));
        AddParameterRows(parameters);
        if (CXmlAttributes::Int(category, "collapsed", 0) != 0)
            m_list.Collapse(added);
    }

    const std::vector<pugi::xml_node> uncategorised = CDeviceLibrary::ParametersWithoutCategory(m_esc);
    const pugi::xml_node defaultCategory = CDeviceLibrary::DefaultCategory(categories);
    if (uncategorised.empty() || !defaultCategory)
        return;
    auto categoryRow = std::make_unique<CCategoryProperty>(CXmlAttributes::Text(defaultCategory, "label", QString()));
    categoryRow->SetItemData(defaultCategory);
    m_list.AddItem(std::move(categoryRow));
    AddParameterRows(uncategorised);
}

void CParameterModel::BuildFlat()
{
    m_list.SetCategoriesStyle(false);
    AddParameterRows(CDeviceLibrary::AllParameters(m_esc));
}

bool CParameterModel::RefreshParameter(const pugi::xml_node& element, bool restore)
{
    if (IsCategory(element))
        return true;
    const std::optional<int> cell = CXmlAttributes::Int(element, "cell");
    if (cell)
        return RefreshCells(element, *cell, restore);
    return RefreshFormula(element);
}

bool CParameterModel::RefreshCells(const pugi::xml_node& element, int cell, bool restore)
{
    const int high = cell & 0xFF;
    const int loAttr = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell);
    const std::optional<int> def = restore ? CXmlAttributes::Int(element, "default") : std::nullopt;

    if (loAttr == kNoCell) {
        if (def) {
            // Restoring defaults does not check the write, nor pause after it.
            m_image.InvalidateCell(high);
            m_writer.WriteCell(static_cast<uint8_t>(high), static_cast<uint8_t>(*def & 0xFF));
        }
        uint8_t value = 0;
        if (!m_image.GetCell(high, value))
            return false;
        ShowCellValue(element, value);
        return true;
    }

    const int low = loAttr & 0xFF;
    if (def) {
        m_writer.WriteCell(static_cast<uint8_t>(high), static_cast<uint8_t>((static_cast<unsigned>(*def) >> 8) & 0xFF));
        m_image.InvalidateCell(high);
        m_writer.WriteCell(static_cast<uint8_t>(low), static_cast<uint8_t>(*def & 0xFF));
        m_image.InvalidateCell(low);
    }
    uint8_t highValue = 0;
    uint8_t lowValue = 0;
    if (!m_image.GetCell(high, highValue) || !m_image.GetCell(low, lowValue))
        return false;
    ShowCellValue(element, static_cast<uint16_t>(256 * highValue + lowValue));
    return true;
}

bool CParameterModel::RefreshFormula(const pugi::xml_node& element)
{
    const std::optional<QString> formula = CXmlAttributes::Text(element, "formula");
    if (!formula)
        return true;
    mu::Parser* parser = m_formulas.Find(*formula);
    if (parser == nullptr)
        return true;
    double result = 0;
    CFormulaTable::TakeCellReadFailure();
    try {
        result = parser->Eval();
    } catch (const mu::ParserError& e) {
        // Exception - "%s" during evaluating formula "%s"
        qCDebug(lcLibrary).noquote() << QStringLiteral("Exception - \"%1\" during evaluating formula \"%2\"")
                                            .arg(QString::fromStdString(e.GetMsg()), *formula);
        // The row says that it has no value rather than keep an old one that
        // would look like device data. Only a cell the device did not give
        // fails the refresh; a fault of the formula itself is the library's,
        // and the refresh goes on.
        ShowText(element, QString::fromLatin1(kFormulaErrorText));
        return !CFormulaTable::TakeCellReadFailure();
    }
    const QString format = CXmlAttributes::Text(element, "format", QStringLiteral("%f"));
    std::optional<QString> text = CDoubleFormat::Format(format, result);
    if (!text) {
        // A format that is not one printf conversion for a double would be
        // undefined behaviour: the value is shown with the default instead.
        qCDebug(lcLibrary).noquote() << QStringLiteral("Format \"%1\" of formula \"%2\" refused")
                                            .arg(format, *formula);
        text = CDoubleFormat::Format(QStringLiteral("%f"), result);
    }
    return ShowText(element, text.value_or(QString()));
}

bool CParameterModel::RefreshAllParameters(bool restore)
{
    if (restore)
        m_list.CloseEditor();
    m_image.InvalidateCell(-1);
    for (int i = 0; i < m_list.Count(); ++i) {
        if (!RefreshParameter(m_list.At(i)->GetItemData(), restore))
            return false;
    }
    return true;
}

CParameterModel::RestoreReport CParameterModel::RestoreDefaults()
{
    RestoreReport report;
    m_list.CloseEditor();
    m_image.InvalidateCell(-1);
    for (const pugi::xml_node& element : CDeviceLibrary::AllParameters(m_esc)) {
        const IProperty* row = m_list.FindByItemData(element);
        if (row == nullptr)
            continue;
        const std::optional<int> cell = CXmlAttributes::Int(element, "cell");
        const std::optional<int> def = CXmlAttributes::Int(element, "default");
        // What the ESC holds before the default is written over it.
        std::optional<uint16_t> before;
        if (cell && def)
            before = ReadRaw(element, *cell);
        if ((cell && def && !before) || !RefreshParameter(element, true)) {
            report.failedAt = row->Name();
            return report;
        }
        if (!before)
            continue;
        ++report.restored;
        const bool twoCells = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell) != kNoCell;
        const uint16_t wanted = static_cast<uint16_t>(*def & (twoCells ? 0xFFFF : 0xFF));
        if (*before != wanted)
            report.changed << row->Name();
        // The cells were just read back, so the image answers without the device.
        if (ReadRaw(element, *cell) != wanted)
            report.refused << row->Name();
    }
    return report;
}

std::optional<uint16_t> CParameterModel::ReadRaw(const pugi::xml_node& element, int cell)
{
    const int loAttr = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell);
    uint8_t high = 0;
    if (!m_image.GetCell(cell & 0xFF, high))
        return std::nullopt;
    if (loAttr == kNoCell)
        return high;
    uint8_t low = 0;
    if (!m_image.GetCell(loAttr & 0xFF, low))
        return std::nullopt;
    return static_cast<uint16_t>(256 * high + low);
}

namespace {

bool IsOutsideLibrary(const IProperty& row)
{
    if (const auto* list = dynamic_cast<const CPropertyListItem*>(&row))
        return list->OutsideLibrary().has_value();
    if (const auto* range = dynamic_cast<const CPropertySpinEditRangeItem*>(&row))
        return range->OutsideLibrary();
    return false;
}

} // namespace

bool CParameterModel::ShowRaw(IProperty* row, const pugi::xml_node& element, uint16_t raw)
{
    switch (row->Kind()) {
    case IProperty::KindCheck:
        return row->SetValue(QVariant(raw != 0));
    case IProperty::KindList: {
        auto* list = dynamic_cast<CPropertyListItem*>(row);
        if (list == nullptr)
            return false;
        const pugi::xml_node value = CDeviceLibrary::ValueOfRaw(element, raw);
        const std::optional<QString> text = CXmlAttributes::Text(value, "string");
        const int position = text ? list->Texts().indexOf(*text) : -1;
        if (position < 0)
            list->ShowOutsideLibrary(raw);
        else
            list->SetValue(QVariant(position));
        return true;
    }
    default:
        return row->SetValue(QVariant(static_cast<int>(raw)));
    }
}

bool CParameterModel::ShowCellValue(const pugi::xml_node& element, uint16_t raw)
{
    IProperty* row = m_list.FindByItemData(element);
    if (row == nullptr)
        return false;
    ShowRaw(row, element, raw);
    if (m_list.IndexOf(row) >= 0)
        m_list.RowUpdated(row);
    return true;
}

QStringList CParameterModel::ValuesOutsideLibrary(const std::array<uint8_t, 128>& cells) const
{
    constexpr int kSettingCells = 64;
    QStringList lines;
    for (const pugi::xml_node& element : CDeviceLibrary::AllParameters(m_esc)) {
        const char* type = element.attribute("type").value();
        if (std::strcmp(type, "list") != 0 && std::strcmp(type, "range") != 0)
            continue;
        const std::optional<int> cell = CXmlAttributes::Int(element, "cell");
        if (!cell)
            continue;
        const int high = *cell & 0xFF;
        const int loAttr = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell);
        const int low = loAttr & 0xFF;
        if (high >= kSettingCells || (loAttr != kNoCell && low >= kSettingCells))
            continue;
        const auto raw = static_cast<uint16_t>(loAttr == kNoCell
                                                   ? cells[static_cast<size_t>(high)]
                                                   : 256 * cells[static_cast<size_t>(high)] + cells[static_cast<size_t>(low)]);
        // A row of its own, built by the same rules as the shown one, tells
        // what the list would show for the value.
        std::unique_ptr<IProperty> row = BuildValueRow(element);
        if (!row || !ShowRaw(row.get(), element, raw) || !IsOutsideLibrary(*row))
            continue;
        QString shown;
        row->GetDisplayText(shown);
        lines << QStringLiteral("%1: %2").arg(CXmlAttributes::Text(element, "name", QString()), shown);
    }
    return lines;
}

bool CParameterModel::ShowText(const pugi::xml_node& element, const QString& text)
{
    IProperty* row = m_list.FindByItemData(element);
    if (row == nullptr)
        return false;
    row->SetValue(QVariant(text));
    if (m_list.IndexOf(row) >= 0)
        m_list.RowUpdated(row);
    return true;
}

std::optional<int> CParameterModel::RawValueOf(const IProperty& row) const
{
    QVariant value;
    if (!row.GetValue(value))
        return std::nullopt;
    const pugi::xml_node element = row.GetItemData();
    if (row.Kind() == IProperty::KindList) {
        const pugi::xml_node entry = CDeviceLibrary::ValueAt(element, value.toInt() + 1);
        return CXmlAttributes::Int(entry, "val");
    }
    if (value.typeId() == QMetaType::Bool) {
        const bool twoCells = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell) != kNoCell;
        return value.toBool() ? (twoCells ? 65535 : 1) : 0;
    }
    bool ok = false;
    const int raw = value.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return raw;
}

void CParameterModel::Pause()
{
    m_writer.Pause(kPauseMs);
}

uint8_t CParameterModel::ReadBack(int cell, uint8_t written)
{
    uint8_t value = 0;
    return m_image.GetCell(cell, value) ? value : written;
}

CParameterModel::WriteResult CParameterModel::WriteBackParameter(IProperty* row)
{
    // Read-only rows (formula results) never write.
    if (row == nullptr || row->Kind() == IProperty::KindReadOnly)
        return WriteResult::NothingWritten;
    const pugi::xml_node element = row->GetItemData();
    const std::optional<int> cell = CXmlAttributes::Int(element, "cell");
    if (!cell)
        return WriteResult::NothingWritten;
    const int loAttr = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell);
    const std::optional<int> raw = RawValueOf(*row);
    if (!raw)
        return WriteResult::NothingWritten;

    // A number beyond what the cells hold would arrive cut to its low bits
    // (300 in one cell becomes 44): refuse it rather than write another value.
    const int limit = loAttr == kNoCell ? 0xFF : 0xFFFF;
    if (*raw < 0 || *raw > limit)
        return WriteResult::DoesNotFit;

    const int high = *cell & 0xFF;
    if (loAttr == kNoCell) {
        const auto byte = static_cast<uint8_t>(*raw & 0xFF);
        if (!m_writer.WriteCell(static_cast<uint8_t>(high), byte))
            return WriteResult::WriteFailed;
        // The read-back must ask the device, not the image.
        m_image.InvalidateCell(high);
        Pause();
        ShowCellValue(element, ReadBack(high, byte));
        return WriteResult::Written;
    }

    const int low = loAttr & 0xFF;
    const auto highByte = static_cast<uint8_t>((static_cast<unsigned>(*raw) >> 8) & 0xFF);
    const auto lowByte = static_cast<uint8_t>(*raw & 0xFF);
    if (!m_writer.WriteCell(static_cast<uint8_t>(high), highByte))
        return WriteResult::WriteFailed;
    m_image.InvalidateCell(high);
    Pause();
    if (!m_writer.WriteCell(static_cast<uint8_t>(low), lowByte))
        return WriteResult::WriteFailed;
    m_image.InvalidateCell(low);
    Pause();
    const uint8_t highValue = ReadBack(high, highByte);
    const uint8_t lowValue = ReadBack(low, lowByte);
    ShowCellValue(element, static_cast<uint16_t>(256 * highValue + lowValue));
    return WriteResult::Written;
}

bool CParameterModel::OnCategoryExpanded(IProperty* row)
{
    if (row == nullptr || !m_esc)
        return false;
    const QString name = CXmlAttributes::Text(row->GetItemData(), "name", QString());
    bool all = true;
    for (const pugi::xml_node& parameter : CDeviceLibrary::ParametersOfCategory(m_esc, name))
        all = RefreshParameter(parameter, false) && all;
    return all;
}

std::optional<QString> CParameterModel::DescriptionOf(const IProperty* row)
{
    if (row == nullptr)
        return std::nullopt;
    return CXmlAttributes::Text(row->GetItemData(), "description");
}
