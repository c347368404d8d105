#include "library/CCategoryProperty.h"

#include <utility>

CCategoryProperty::CCategoryProperty(const QString& label)
    : CProperty(label)
{
}

void CCategoryProperty::Hold(std::vector<std::unique_ptr<IProperty>> rows)
{
    m_held = std::move(rows);
    m_collapsed = true;
}

std::vector<std::unique_ptr<IProperty>> CCategoryProperty::Release()
{
    m_collapsed = false;
    return std::exchange(m_held, {});
}
