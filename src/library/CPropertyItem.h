#pragma once

#include "library/CProperty.h"

// A row that shows a value as text and is not edited.
class CPropertyItem : public CProperty {
public:
    explicit CPropertyItem(const QString& name, const QVariant& value = QVariant());

    uint8_t Kind() const override { return KindReadOnly; }
    bool GetDisplayText(QString& text) const override;
    bool GetValue(QVariant& value) const override;
    bool SetValue(const QVariant& value) override;

    // A value the device holds but the library does not allow, as the rows
    // show it: "%1 (not in the library)".
    static QString NotInLibrary(const QString& value);

protected:
    const QVariant& Value() const { return m_value; }

private:
    QVariant m_value;
};
