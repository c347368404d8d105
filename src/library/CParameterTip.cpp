#include "library/CParameterTip.h"

#include "library/CParameterModel.h"
#include "library/CParameterRow.h"
#include "library/CProperty.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertySpinEditRangeItem.h"
#include "library/CXmlAttributes.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <memory>

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("CParameterTip", text);
}

QString WithUnit(const QString& value, const QString& unit)
{
    return unit.isEmpty() ? value : QStringLiteral("%1 %2").arg(value, unit);
}

QString Number(double value)
{
    return CProperty::VariantText(QVariant(value));
}

} // namespace

QString CParameterTip::Unit(const QString& name)
{
    static const QRegularExpression trailingBracket(QStringLiteral("\\(([^()]+)\\)\\s*$"));
    const QRegularExpressionMatch match = trailingBracket.match(name);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

// The value as a pilot reads it, with on and off in the pilot's language.
QString CParameterTip::ShownText(const IProperty& row)
{
    const QString text = CParameterRow::ShownText(row);
    if (row.Kind() != IProperty::KindCheck)
        return text;
    return text == QLatin1String("on") ? Tr("on") : Tr("off");
}

std::optional<QString> CParameterTip::DefaultText(const pugi::xml_node& element)
{
    const std::optional<int> fallback = CXmlAttributes::Int(element, "default");
    if (!fallback)
        return std::nullopt;
    // A stand-in row built by the list's own rules shows the default as the
    // list would, on the same grid and with the same texts.
    std::unique_ptr<IProperty> standIn = CParameterModel::BuildValueRow(element);
    if (!standIn)
        return std::nullopt;
    // The cells hold what restore defaults writes: a byte, or 16 bits for two cells.
    const bool twoCells = CXmlAttributes::Int(element, "lo_byte_cell", -1) != -1;
    const auto raw = static_cast<uint16_t>(*fallback & (twoCells ? 0xFFFF : 0xFF));
    if (!CParameterModel::ShowRaw(standIn.get(), element, raw))
        return std::nullopt;
    return ShownText(*standIn);
}

bool CParameterTip::DiffersFromDefault(const IProperty& row)
{
    if (row.Kind() == IProperty::KindCategory || row.Kind() == IProperty::KindReadOnly)
        return false;
    const std::optional<QString> fallback = DefaultText(row.GetItemData());
    return fallback && *fallback != ShownText(row);
}

QString CParameterTip::AllowedValues(const IProperty& row, const QString& unit)
{
    if (const auto* list = dynamic_cast<const CPropertyListItem*>(&row))
        return Tr("Values: %1").arg(list->Texts().join(QStringLiteral(", ")));
    if (const auto* range = dynamic_cast<const CPropertySpinEditRangeItem*>(&row)) {
        return Tr("Range: %1 to %2, step %3")
            .arg(Number(range->Min()), WithUnit(Number(range->Max()), unit), WithUnit(Number(range->Step()), unit));
    }
    switch (row.Kind()) {
    case IProperty::KindCheck:
        return Tr("Values: on or off");
    case IProperty::KindEdit: {
        const bool twoCells = CXmlAttributes::Int(row.GetItemData(), "lo_byte_cell", -1) != -1;
        return Tr("Range: 0 to %1, step 1").arg(WithUnit(QString::number(twoCells ? 65535 : 255), unit));
    }
    case IProperty::KindReadOnly:
        return Tr("Read from the ESC; not editable");
    default:
        return {};
    }
}

QString CParameterTip::Text(const IProperty& row)
{
    const pugi::xml_node element = row.GetItemData();
    if (!element)
        return {};
    QStringList lines;
    if (const std::optional<QString> description = CXmlAttributes::Text(element, "description"))
        lines << *description;
    if (row.Kind() == IProperty::KindCategory)
        return lines.join(QLatin1Char('\n'));

    // Lists and check boxes show no unit beside their values.
    const bool numeric = row.Kind() == IProperty::KindEdit || row.Kind() == IProperty::KindSpinEdit;
    const QString unit = numeric ? Unit(row.Name()) : QString();
    const QString allowed = AllowedValues(row, unit);
    if (!allowed.isEmpty())
        lines << allowed;
    if (const std::optional<QString> fallback = DefaultText(element)) {
        const QString text = WithUnit(*fallback, unit);
        lines << (*fallback == ShownText(row) ? Tr("Default: %1").arg(text)
                                              : Tr("Default: %1 (changed)").arg(text));
    }
    return lines.join(QLatin1Char('\n'));
}
