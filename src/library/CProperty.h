#pragma once

#include "library/IProperty.h"

#include <optional>

// Base of every row: the label, the enabled flag, the owning list and the
// library element. It shows no value and refuses every value.
class CProperty : public IProperty {
public:
    explicit CProperty(const QString& name);

    void SetOwner(CPropertyList* owner) override { m_owner = owner; }
    CPropertyList* Owner() const { return m_owner; }
    QString Name() const override { return m_name; }
    void SetEnabled(bool enabled) override { m_enabled = enabled; }
    bool IsEnabled() const override { return m_enabled; }
    void SetItemData(pugi::xml_node element) override { m_element = element; }
    pugi::xml_node GetItemData() const override { return m_element; }
    bool GetDisplayText(QString& text) const override;
    bool GetValue(QVariant& value) const override;
    bool SetValueFromEditor(const QVariant& editorValue) override;
    bool SetValue(const QVariant& value) override;

    // A value as the list shows it: integers in decimal, doubles in their
    // shortest form with the locale's decimal separator, text as it stands.
    static QString VariantText(const QVariant& value);
    // Typed text to a number: the locale's notation first, then the C notation.
    static std::optional<double> ParseDouble(const QString& text);
    static std::optional<int> ParseInt(const QString& text);

private:
    CPropertyList* m_owner = nullptr;
    QString m_name;
    bool m_enabled = true;
    pugi::xml_node m_element;
};
