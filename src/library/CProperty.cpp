#include "library/CProperty.h"

#include <QLocale>

#include <cmath>

namespace {

QLocale WithoutGroups(QLocale locale)
{
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QLocale DisplayLocale()
{
    return WithoutGroups(QLocale());
}

} // namespace

CProperty::CProperty(const QString& name)
    : m_name(name)
{
}

bool CProperty::GetDisplayText(QString&) const
{
    return false;
}

bool CProperty::GetValue(QVariant&) const
{
    return false;
}

bool CProperty::SetValueFromEditor(const QVariant&)
{
    return false;
}

bool CProperty::SetValue(const QVariant&)
{
    return false;
}

QString CProperty::VariantText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return DisplayLocale().toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(value.toULongLong());
    default:
        return value.toString();
    }
}

std::optional<double> CProperty::ParseDouble(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = DisplayLocale().toDouble(trimmed, &ok);
    if (!ok)
        value = WithoutGroups(QLocale::c()).toDouble(trimmed, &ok);
    // "nan" and "inf" would slip through every bounds check.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> CProperty::ParseInt(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    int value = DisplayLocale().toInt(trimmed, &ok);
    if (!ok)
        value = WithoutGroups(QLocale::c()).toInt(trimmed, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}
