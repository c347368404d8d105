#include "library/CPropertyItem.h"

CPropertyItem::CPropertyItem(const QString& name, const QVariant& value)
    : CProperty(name)
    , m_value(value)
{
}

bool CPropertyItem::GetDisplayText(QString& text) const
{
    text = VariantText(m_value);
    return true;
}

bool CPropertyItem::GetValue(QVariant& value) const
{
    value = m_value;
    return true;
}

bool CPropertyItem::SetValue(const QVariant& value)
{
    m_value = value;
    return true;
}
