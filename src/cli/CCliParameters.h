#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class CPropertyList;
class IProperty;

// The parameter rows as the command line names them: lookup by name, the
// category of a row, and a typed value handed to the row as its in-place
// editor would hand it. The shown value and the cells of a row come from
// CParameterRow.
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

    // Gives the typed value to the row as its editor would; none when the
    // row took it, else the reason it was refused (the row is unchanged).
    static std::optional<QString> Apply(IProperty& row, const QString& text);

private:
    CPropertyList& m_list;
};
