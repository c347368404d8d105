#include "library/CPropertyList.h"

#include "library/CCategoryProperty.h"

#include <algorithm>
#include <iterator>

namespace {

CCategoryProperty* AsCategory(IProperty* row)
{
    if (row == nullptr || row->Kind() != IProperty::KindCategory)
        return nullptr;
    return dynamic_cast<CCategoryProperty*>(row);
}

} // namespace

CPropertyList::CPropertyList(QObject* parent)
    : QObject(parent)
{
}

CPropertyList::~CPropertyList() = default;

void CPropertyList::SetCategoriesStyle(bool on)
{
    m_categories = on;
}

IProperty* CPropertyList::AddItem(std::unique_ptr<IProperty> row)
{
    if (!row)
        return nullptr;
    row->SetOwner(this);
    m_rows.push_back(std::move(row));
    emit layoutChanged();
    return m_rows.back().get();
}

void CPropertyList::Clear()
{
    // Rows may be looked at by views until the list has told them; destroy
    // them only after the model no longer refers to them.
    std::vector<std::unique_ptr<IProperty>> rows = std::move(m_rows);
    m_rows.clear();
    m_selected = -1;
    ++m_generation;
    emit layoutChanged();
}

IProperty* CPropertyList::At(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_rows[static_cast<size_t>(index)].get();
}

int CPropertyList::IndexOf(const IProperty* row) const
{
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [row](const std::unique_ptr<IProperty>& r) { return r.get() == row; });
    return found == m_rows.end() ? -1 : static_cast<int>(std::distance(m_rows.begin(), found));
}

bool CPropertyList::Collapse(IProperty* category)
{
    CCategoryProperty* cat = AsCategory(category);
    const int index = IndexOf(category);
    if (cat == nullptr || index < 0 || cat->IsCollapsed())
        return false;
    const auto first = m_rows.begin() + index + 1;
    const auto last = std::find_if(first, m_rows.end(), [](const std::unique_ptr<IProperty>& r) {
        return r->Kind() == IProperty::KindCategory;
    });
    const int moved = static_cast<int>(std::distance(first, last));
    std::vector<std::unique_ptr<IProperty>> held(std::make_move_iterator(first), std::make_move_iterator(last));
    m_rows.erase(first, last);
    cat->Hold(std::move(held));

    // A selected row that went into the category leaves the selection on it.
    if (m_selected > index && m_selected <= index + moved)
        m_selected = index;
    else if (m_selected > index + moved)
        m_selected -= moved;
    emit layoutChanged();
    emit notify(NotifyCollapsed, category);
    return true;
}

bool CPropertyList::Expand(IProperty* category)
{
    CCategoryProperty* cat = AsCategory(category);
    const int index = IndexOf(category);
    if (cat == nullptr || index < 0 || !cat->IsCollapsed())
        return false;
    std::vector<std::unique_ptr<IProperty>> held = cat->Release();
    const int moved = static_cast<int>(held.size());
    m_rows.insert(m_rows.begin() + index + 1, std::make_move_iterator(held.begin()),
                  std::make_move_iterator(held.end()));
    if (m_selected > index)
        m_selected += moved;
    emit layoutChanged();
    emit notify(NotifyExpanded, category);
    return true;
}

bool CPropertyList::Toggle(IProperty* category)
{
    return IsCollapsed(category) ? Expand(category) : Collapse(category);
}

bool CPropertyList::IsCollapsed(const IProperty* category) const
{
    const auto* cat = dynamic_cast<const CCategoryProperty*>(category);
    return cat != nullptr && cat->IsCollapsed();
}

IProperty* CPropertyList::FindByItemData(const pugi::xml_node& element) const
{
    if (!element)
        return nullptr;
    for (const std::unique_ptr<IProperty>& row : m_rows) {
        if (row->GetItemData() == element)
            return row.get();
        if (const auto* cat = dynamic_cast<const CCategoryProperty*>(row.get())) {
            for (const std::unique_ptr<IProperty>& held : cat->Held()) {
                if (held->GetItemData() == element)
                    return held.get();
            }
        }
    }
    return nullptr;
}

namespace {

bool NameContains(const IProperty& row, const QString& text)
{
    return row.Name().contains(text, Qt::CaseInsensitive);
}

bool HoldsMatch(const IProperty& category, const QString& text)
{
    const auto* cat = dynamic_cast<const CCategoryProperty*>(&category);
    if (cat == nullptr)
        return false;
    return std::any_of(cat->Held().begin(), cat->Held().end(),
                       [&text](const std::unique_ptr<IProperty>& row) { return NameContains(*row, text); });
}

} // namespace

std::vector<IProperty*> CPropertyList::RowsMatching(const QString& text) const
{
    std::vector<IProperty*> rows;
    const QString wanted = text.trimmed();
    // The category row waiting for its first matching row.
    IProperty* category = nullptr;
    for (const std::unique_ptr<IProperty>& row : m_rows) {
        if (wanted.isEmpty()) {
            rows.push_back(row.get());
        } else if (row->Kind() == IProperty::KindCategory) {
            category = row.get();
            if (HoldsMatch(*category, wanted)) {
                rows.push_back(category);
                category = nullptr;
            }
        } else if (NameContains(*row, wanted)) {
            if (category != nullptr)
                rows.push_back(category);
            category = nullptr;
            rows.push_back(row.get());
        }
    }
    return rows;
}

void CPropertyList::Select(int index)
{
    if (index < 0 || index >= Count())
        index = -1;
    if (index == m_selected)
        return;
    m_selected = index;
    emit notify(NotifySelChanged, At(index));
}

bool CPropertyList::CommitValue(IProperty* row, const QVariant& value, bool fromEditor)
{
    if (row == nullptr)
        return false;
    emit notify(NotifyChanging, row);
    const bool applied = fromEditor ? row->SetValueFromEditor(value) : row->SetValue(value);
    if (!applied)
        emit refused(row);
    // The handler of NotifyChanged may empty the list (a failed write drops
    // the link), which destroys the row: redraw it only if it still exists.
    const unsigned generation = m_generation;
    emit notify(NotifyChanged, row);
    if (generation == m_generation && IndexOf(row) >= 0)
        emit rowChanged(row);
    return applied;
}

void CPropertyList::CloseEditor()
{
    emit closeEditorRequested();
}

void CPropertyList::RowUpdated(IProperty* row)
{
    emit rowChanged(row);
}
