#include "library/CPropertyReadOnlyItem.h"

CPropertyReadOnlyItem::CPropertyReadOnlyItem(const QString& name, const QString& text)
    : CPropertyItem(name, text)
{
}
