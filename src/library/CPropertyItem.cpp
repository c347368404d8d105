#include "library/CPropertyItem.h"

#include <QCoreApplication>

CPropertyItem::CPropertyItem(const QString& name, const QVariant& value)
    : CProperty(name)
    , m_value(value)
{
}

QString CPropertyItem::NotInLibrary(const QString& value)
{
    return QCoreApplication::translate("CPropertyItem", "%1 (not in the library)").arg(value);
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
