#pragma once

#include "library/CProperty.h"

// A row with a check box toggled in place; it shows no text.
class CPropertyCheckButtonItem : public CProperty {
public:
    explicit CPropertyCheckButtonItem(const QString& name, bool checked = false);

    uint8_t Kind() const override { return KindCheck; }
    bool IsChecked() const { return m_checked; }

    bool GetValue(QVariant& value) const override;
    // Any non-zero number or true checks the row.
    bool SetValue(const QVariant& value) override;
    bool SetValueFromEditor(const QVariant& editorValue) override;

private:
    bool m_checked;
};
