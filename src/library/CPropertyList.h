#pragma once

#include <QObject>
#include <QVariant>
#include <pugixml.hpp>

#include <memory>
#include <vector>

#include "library/IProperty.h"

class CCategoryProperty;

// The rows of the property list, in display order, with category rows that
// collapse (their rows move into the category) and expand (they come back).
// It owns every row. The list control draws it and edits through it; the
// parameter model fills and refreshes it. Notifications carry the row.
class CPropertyList : public QObject {
    Q_OBJECT
public:
    // Notification codes sent through notify().
    enum Notification {
        NotifySelChanged = -3001,
        NotifyChanging = -3002,   // a non-zero answer would cancel; nobody answers
        NotifyChanged = -3003,    // a value was committed (applied or refused)
        NotifyCollapsed = -3004,
        NotifyExpanded = -3005,
    };

    explicit CPropertyList(QObject* parent = nullptr);
    ~CPropertyList() override;

    // Indent rows under category rows.
    void SetCategoriesStyle(bool on);
    bool CategoriesStyle() const { return m_categories; }

    // Appends a row (calls its SetOwner) and returns it.
    IProperty* AddItem(std::unique_ptr<IProperty> row);
    // Removes and destroys every row (including rows held by collapsed categories).
    void Clear();

    // Rows shown in the list, top to bottom.
    int Count() const { return static_cast<int>(m_rows.size()); }
    IProperty* At(int index) const;
    int IndexOf(const IProperty* row) const;   // -1 when not shown

    // Collapse: rows below the category up to the next category row move into
    // it, then NotifyCollapsed. Expand: they come back, then NotifyExpanded.
    bool Collapse(IProperty* category);
    bool Expand(IProperty* category);
    bool Toggle(IProperty* category);
    bool IsCollapsed(const IProperty* category) const;

    // The row whose item data is the element: rows shown and rows held by
    // collapsed categories.
    IProperty* FindByItemData(const pugi::xml_node& element) const;

    // The rows shown in the list whose name contains the text (any letter
    // case), each under its category row; a category stays when one of its
    // rows matches, shown or held while collapsed. An empty text gives every
    // row.
    std::vector<IProperty*> RowsMatching(const QString& text) const;

    // Selection (-1 for none); a change sends NotifySelChanged.
    void Select(int index);
    int Selected() const { return m_selected; }

    // Commits a value to a row: NotifyChanging, then the row's
    // SetValueFromEditor (fromEditor) or SetValue; a refusal emits refused();
    // then NotifyChanged in either case and rowChanged().
    bool CommitValue(IProperty* row, const QVariant& value, bool fromEditor);

    // Asks views to close an open in-place editor.
    void CloseEditor();
    // Asks views to redraw one row.
    void RowUpdated(IProperty* row);

signals:
    void notify(int code, IProperty* row);
    void refused(IProperty* row);          // the row refused a committed value: beep
    void rowChanged(IProperty* row);       // redraw this row
    void layoutChanged();                  // rows added, removed, collapsed or expanded
    void closeEditorRequested();

private:
    bool m_categories = false;
    int m_selected = -1;
    unsigned m_generation = 0;   // counts Clear() calls
    std::vector<std::unique_ptr<IProperty>> m_rows;
};
