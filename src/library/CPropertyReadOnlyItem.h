#pragma once

#include "library/CPropertyItem.h"

// A read-only text row: the result of a formula parameter.
class CPropertyReadOnlyItem : public CPropertyItem {
public:
    explicit CPropertyReadOnlyItem(const QString& name, const QString& text = QString());
};
