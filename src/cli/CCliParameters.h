#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class CPropertyList;
class IProperty;

// The parameter rows as the command line names and shows them: lookup by
// name, the shown value as text, the category and the cells of a row, and a
// typed value handed to the row as its in-place editor would hand it.
class CCliParameters {
public:
    explicit CCliParameters(CPropertyList& list) : m_list(list) {}

    // The rows that hold a parameter (no category rows), in list order.
    std::vector<IProperty*> Parameters() const;
    // The parameter called name: an exact match (case ignored) or else the
    // only one whose name begins with it. Null with error set otherwise.
    IProperty* Find(const QString& name, QString& error) const;
    // The label of the category the row is shown under; empty in a flat list.
    QString CategoryOf(const IProperty* row) const;

    // The value as shown: the text for list, number and formula rows, "on"
    // or "off" for check rows.
    static QString ShownText(const IProperty& row);
    // The cells the row's value lives in (the high cell first); empty for
    // formula rows.
    static std::vector<int> CellsOf(const IProperty& row);
    // Whether the row is a setting: it has cells and is not read-only.
    static bool IsSetting(const IProperty& row);

    // Gives the typed value to the row as its editor would; none when the
    // row took it, else the reason it was refused (the row is unchanged).
    static std::optional<QString> Apply(IProperty& row, const QString& text);

private:
    CPropertyList& m_list;
};
