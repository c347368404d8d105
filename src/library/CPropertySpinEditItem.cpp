#include "library/CPropertySpinEditItem.h"

#include <limits>

CPropertySpinEditItem::CPropertySpinEditItem(const QString& name, const QVariant& value)
    : CPropertyEditItem(name, value)
{
}

bool CPropertySpinEditItem::Spin(int clicks)
{
    bool ok = false;
    const qlonglong moved = Value().toLongLong(&ok) + clicks;
    if (!ok || moved < std::numeric_limits<int>::min() || moved > std::numeric_limits<int>::max())
        return false;
    return SetValue(static_cast<int>(moved));
}
