#include "library/CPropertyCheckButtonItem.h"

CPropertyCheckButtonItem::CPropertyCheckButtonItem(const QString& name, bool checked)
    : CProperty(name)
    , m_checked(checked)
{
}

bool CPropertyCheckButtonItem::GetValue(QVariant& value) const
{
    value = QVariant(m_checked);
    return true;
}

bool CPropertyCheckButtonItem::SetValue(const QVariant& value)
{
    if (!value.isValid())
        return false;
    m_checked = value.toBool();
    return true;
}

bool CPropertyCheckButtonItem::SetValueFromEditor(const QVariant& editorValue)
{
    return SetValue(editorValue);
}
