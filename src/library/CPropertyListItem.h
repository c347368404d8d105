#pragma once

#include "library/CPropertyItem.h"

#include <QStringList>

#include <optional>

// A row that chooses one of a list of texts. Its value is the 0-based
// position; a new row is at -1 and moves to 0 when its first text is added.
class CPropertyListItem : public CPropertyItem {
public:
    explicit CPropertyListItem(const QString& name);

    uint8_t Kind() const override { return KindList; }

    void AddText(const QString& text);
    const QStringList& Texts() const { return m_texts; }
    int Position() const { return m_position; }

    // The device holds a raw value that no entry stands for: the row shows it
    // as "raw (not in the library)" and holds no position (-1), so that
    // nothing is written back unless the user picks an entry.
    void ShowOutsideLibrary(int raw);
    std::optional<int> OutsideLibrary() const { return m_outside; }

    // The text at the position; no text while the position is outside the list.
    bool GetDisplayText(QString& text) const override;
    bool GetValue(QVariant& value) const override;
    // A position within the list.
    bool SetValue(const QVariant& value) override;
    bool SetValueFromEditor(const QVariant& editorValue) override;

private:
    QStringList m_texts;
    int m_position = -1;
    std::optional<int> m_outside;
};
