#include "cli/CCliParameters.h"

#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertySpinEditRangeItem.h"
#include "library/CXmlAttributes.h"

namespace {
std::optional<bool> ParseSwitch(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("on") || t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes"))
        return true;
    if (t == QLatin1String("off") || t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no"))
        return false;
    return std::nullopt;
}

QString Number(double value)
{
    return QString::number(value, 'g', 12);
}
}

std::vector<IProperty*> CCliParameters::Parameters() const
{
    std::vector<IProperty*> rows;
    for (int i = 0; i < m_list.Count(); ++i) {
        IProperty* row = m_list.At(i);
        if (row->Kind() != IProperty::KindCategory)
            rows.push_back(row);
    }
    return rows;
}

IProperty* CCliParameters::Find(const QString& name, QString& error) const
{
    std::vector<IProperty*> prefixed;
    for (IProperty* row : Parameters()) {
        if (row->Name().compare(name, Qt::CaseInsensitive) == 0)
            return row;
        if (row->Name().startsWith(name, Qt::CaseInsensitive))
            prefixed.push_back(row);
    }
    if (prefixed.size() == 1)
        return prefixed.front();
    if (prefixed.empty()) {
        error = QStringLiteral("no parameter called \"%1\" (see: torv-cli show)").arg(name);
    } else {
        QStringList names;
        for (const IProperty* row : prefixed)
            names.append(QStringLiteral("\"%1\"").arg(row->Name()));
        error = QStringLiteral("\"%1\" names more than one parameter: %2").arg(name, names.join(QStringLiteral(", ")));
    }
    return nullptr;
}

QString CCliParameters::CategoryOf(const IProperty* row) const
{
    QString category;
    for (int i = 0; i < m_list.Count(); ++i) {
        const IProperty* at = m_list.At(i);
        if (at->Kind() == IProperty::KindCategory)
            category = at->Name();
        if (at == row)
            return category;
    }
    return QString();
}

std::optional<QString> CCliParameters::Apply(IProperty& row, const QString& text)
{
    switch (row.Kind()) {
    case IProperty::KindList: {
        const auto& list = dynamic_cast<CPropertyListItem&>(row);
        const QStringList& texts = list.Texts();
        for (int i = 0; i < texts.size(); ++i) {
            if (texts.at(i).compare(text.trimmed(), Qt::CaseInsensitive) == 0 && row.SetValueFromEditor(i))
                return std::nullopt;
        }
        return QStringLiteral("\"%1\" is not one of: %2").arg(text, texts.join(QStringLiteral(" | ")));
    }
    case IProperty::KindCheck: {
        const std::optional<bool> on = ParseSwitch(text);
        if (on && row.SetValueFromEditor(*on))
            return std::nullopt;
        return QStringLiteral("\"%1\" is not on, off, 1 or 0").arg(text);
    }
    case IProperty::KindSpinEdit:
        if (row.SetValueFromEditor(text))
            return std::nullopt;
        if (const auto* range = dynamic_cast<const CPropertySpinEditRangeItem*>(&row)) {
            return QStringLiteral("\"%1\" is outside %2 .. %3 (step %4)")
                .arg(text, Number(range->Min()), Number(range->Max()), Number(range->Step()));
        }
        return QStringLiteral("\"%1\" is not a number").arg(text);
    case IProperty::KindEdit:
        if (row.SetValueFromEditor(text))
            return std::nullopt;
        return QStringLiteral("\"%1\" is not a whole number").arg(text);
    default:
        return QStringLiteral("it is read-only");
    }
}
