#pragma once

#include "library/CPropertyItem.h"

// A row edited in an in-place edit box. The typed text is converted to the
// type of the value it holds (a 32-bit integer for plain number parameters);
// text that does not convert is refused.
class CPropertyEditItem : public CPropertyItem {
public:
    explicit CPropertyEditItem(const QString& name, const QVariant& value = QVariant(0));

    uint8_t Kind() const override { return KindEdit; }
    bool SetValueFromEditor(const QVariant& editorValue) override;
};
