#pragma once

#include <QLineEdit>

class CPropertyListCtrl;

// The filter field above the property list: what is typed narrows the list
// to the rows whose name contains it. Ctrl+K or "/" in the window puts the
// keys here; Escape clears the text (a second Escape goes back to the
// list), and Down or Enter goes on to the list.
class CPropertyFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    CPropertyFilterEdit(CPropertyListCtrl* list, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FocusField();

    CPropertyListCtrl* m_list;
};
