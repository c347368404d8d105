#include "library/CPropertyListItem.h"

CPropertyListItem::CPropertyListItem(const QString& name)
    : CPropertyItem(name)
{
}

void CPropertyListItem::AddText(const QString& text)
{
    m_texts.append(text);
    if (m_position == -1)
        m_position = 0;
}

void CPropertyListItem::ShowOutsideLibrary(int raw)
{
    m_outside = raw;
    m_position = -1;
}

bool CPropertyListItem::GetDisplayText(QString& text) const
{
    if (m_outside) {
        text = NotInLibrary(QString::number(*m_outside));
        return true;
    }
    if (m_position < 0 || m_position >= m_texts.size())
        return false;
    text = m_texts.at(m_position);
    return true;
}

bool CPropertyListItem::GetValue(QVariant& value) const
{
    value = QVariant(m_position);
    return true;
}

bool CPropertyListItem::SetValue(const QVariant& value)
{
    bool ok = false;
    const int position = value.toInt(&ok);
    if (!ok || position < 0 || position >= m_texts.size())
        return false;
    m_position = position;
    m_outside.reset();
    return true;
}

bool CPropertyListItem::SetValueFromEditor(const QVariant& editorValue)
{
    return SetValue(editorValue);
}
