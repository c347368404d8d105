#include "library/CPropertyEditItem.h"

CPropertyEditItem::CPropertyEditItem(const QString& name, const QVariant& value)
    : CPropertyItem(name, value)
{
}

bool CPropertyEditItem::SetValueFromEditor(const QVariant& editorValue)
{
    const QString text = editorValue.toString();
    switch (Value().typeId()) {
    case QMetaType::Int: {
        const std::optional<int> number = ParseInt(text);
        return number && SetValue(*number);
    }
    case QMetaType::Double: {
        const std::optional<double> number = ParseDouble(text);
        return number && SetValue(*number);
    }
    default:
        return SetValue(text);
    }
}
