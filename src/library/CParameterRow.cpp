#include "library/CParameterRow.h"

#include <QVariant>

#include "library/CXmlAttributes.h"
#include "library/IProperty.h"

namespace {
constexpr int kNoCell = -1;
}

QString CParameterRow::ShownText(const IProperty& row)
{
    if (row.Kind() == IProperty::KindCheck) {
        QVariant value;
        row.GetValue(value);
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    }
    QString text;
    row.GetDisplayText(text);
    return text;
}

std::vector<int> CParameterRow::CellsOf(const IProperty& row)
{
    return CellsOf(row.GetItemData());
}

std::vector<int> CParameterRow::CellsOf(const pugi::xml_node& element)
{
    const std::optional<int> cell = CXmlAttributes::Int(element, "cell");
    if (!cell)
        return {};
    std::vector<int> cells{*cell & 0xFF};
    const int low = CXmlAttributes::Int(element, "lo_byte_cell", kNoCell);
    if (low != kNoCell)
        cells.push_back(low & 0xFF);
    return cells;
}

bool CParameterRow::IsSetting(const IProperty& row)
{
    return row.Kind() != IProperty::KindReadOnly && row.Kind() != IProperty::KindCategory && !CellsOf(row).empty();
}
