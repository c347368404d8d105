#pragma once

#include <QString>
#include <QVariant>
#include <pugixml.hpp>

#include <cstdint>

class CPropertyList;

// One row of the property list. The row is the model: it holds its label,
// its value and its library element; the list control draws it by its kind
// and opens the matching in-place editor.
class IProperty {
public:
    // Kind codes.
    enum : uint8_t {
        KindCategory = 1,
        KindReadOnly = 2,   // plain and read-only rows (formula results)
        KindEdit = 3,       // integer edit box
        KindList = 4,       // drop-down list
        KindCheck = 6,      // check box toggled in place
        KindSpinEdit = 7,   // edit box with spin buttons
    };

    virtual ~IProperty() = default;

    virtual uint8_t Kind() const = 0;
    virtual void SetOwner(CPropertyList* owner) = 0;
    virtual QString Name() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool IsEnabled() const = 0;
    // The row's library element (a Parameter or Category element).
    virtual void SetItemData(pugi::xml_node element) = 0;
    virtual pugi::xml_node GetItemData() const = 0;
    // The shown value as text; false when the row shows no text.
    virtual bool GetDisplayText(QString& text) const = 0;
    virtual bool GetValue(QVariant& value) const = 0;
    // Commits what an in-place editor holds: the typed text for edit and
    // spin rows, the chosen position (int) for list rows, a bool for check
    // rows. False when the row refuses it (its value is then unchanged).
    virtual bool SetValueFromEditor(const QVariant& editorValue) = 0;
    virtual bool SetValue(const QVariant& value) = 0;
};
