#include "controls/CPropertyFilterEdit.h"

#include "controls/CPropertyListCtrl.h"

#include <QKeyEvent>
#include <QShortcut>

CPropertyFilterEdit::CPropertyFilterEdit(CPropertyListCtrl* list, QWidget* parent)
    : QLineEdit(parent)
    , m_list(list)
{
    setObjectName(QStringLiteral("propertyFilter"));
    setPlaceholderText(tr("Filter settings (Ctrl+K or /)"));
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textChanged, m_list, &CPropertyListCtrl::SetFilter);
    // Window-wide, but only while the field is shown: the help text page
    // has no list to filter. Fields that take text keep "/" for themselves.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_K), QKeySequence(Qt::Key_Slash)}) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &CPropertyFilterEdit::FocusField);
    }
}

void CPropertyFilterEdit::FocusField()
{
    setFocus(Qt::ShortcutFocusReason);
    selectAll();
}

bool CPropertyFilterEdit::event(QEvent* event)
{
    // Escape belongs to the field (it clears it or goes back to the list),
    // not to the window, which would close.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void CPropertyFilterEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (text().isEmpty())
            m_list->setFocus(Qt::OtherFocusReason);
        else
            clear();
        return;
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_list->setFocus(Qt::OtherFocusReason);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}
