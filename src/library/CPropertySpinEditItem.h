#pragma once

#include "library/CPropertyEditItem.h"

// An edit row with spin buttons. One click moves an integer value by one.
class CPropertySpinEditItem : public CPropertyEditItem {
public:
    explicit CPropertySpinEditItem(const QString& name, const QVariant& value = QVariant(0));

    uint8_t Kind() const override { return KindSpinEdit; }
    // Moves the value by clicks steps (negative: down); false when refused.
    virtual bool Spin(int clicks);
};
