#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <vector>

class CPropertyList;
class CInplaceSpinEdit;
class IProperty;
class QComboBox;
class QLineEdit;
class QPainter;

// A two-column view of a CPropertyList: the row labels on the left, their
// values on the right, with a split that the user drags. Category rows are
// bold with a +/- mark and toggle on a click, Enter or Space; with the
// list's categories style the other rows are indented under them.
//
// Editing: Enter, F2 or a double click opens the in-place editor of the
// selected row (an edit box for edit rows, an edit box with spin arrows for
// spin rows, a drop-down list for list rows); Enter or leaving the editor
// commits through CPropertyList::CommitValue, Escape cancels. Check rows
// toggle in place on a click in the value column, Enter or Space. Values
// that a row refuses make the control beep.
//
// The control never owns the list and draws only the rows in view.
class CPropertyListCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    using Beep = std::function<void()>;

    explicit CPropertyListCtrl(QWidget* parent = nullptr);
    ~CPropertyListCtrl() override;

    // Shows the list (not owned; nullptr shows nothing). Closes an open editor.
    void SetList(CPropertyList* list);
    CPropertyList* List() const { return m_list; }

    // Replaces the beep for refused values (QApplication::beep).
    void SetBeep(Beep beep);

    // The share of the width given to the name column, 0.1 to 0.9.
    void SetSplitRatio(double ratio);
    double SplitRatio() const { return m_splitRatio; }

    // Shows only the rows whose name contains the text, under their
    // categories (CPropertyList::RowsMatching); an empty text shows all.
    void SetFilter(const QString& text);
    QString Filter() const { return m_filter; }
    // The rows in view order, as the filter leaves them.
    const std::vector<IProperty*>& ShownRows() const { return m_shown; }

    int RowHeight() const;
    // The shown row under a viewport point, -1 for none.
    int RowAt(const QPoint& viewportPos) const;
    // Viewport rectangles of a row, of its name and of its value cell.
    QRect RowRect(int index) const;
    QRect NameRect(int index) const;
    QRect ValueRect(int index) const;
    void EnsureVisible(int index);

    // Opens the in-place editor of a row (selecting it); false when the row
    // has no editor (categories, check, read-only and disabled rows).
    bool EditRow(int index);
    // The open in-place editor, nullptr when none.
    QWidget* Editor() const { return m_editor; }
    // Commits what the open editor holds and closes it.
    void CommitEditor();
    // Closes the open editor without committing.
    void CancelEditor();

    // The tooltip of the row under a viewport point.
    QString ToolTipAt(const QPoint& viewportPos) const;
    // The font a row is drawn in: bold for categories and for rows whose
    // value differs from the library default.
    QFont RowFont(const IProperty* row) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    enum class EditorKind { None, Edit, Spin, List };

    void OnLayoutChanged();
    void OnRowChanged(IProperty* row);
    void OnRefused(IProperty* row);
    void OnListDestroyed();

    void UpdateShownRows();
    int ShownCount() const { return static_cast<int>(m_shown.size()); }
    IProperty* RowAtIndex(int index) const;
    int ShownIndexOf(const IProperty* row) const;
    // The shown position of the list's selected row, -1 when it is hidden.
    int SelectedIndex() const;
    int SplitX() const;
    int Indent(const IProperty* row) const;
    QRect MarkRect(int index) const;
    bool NearSplit(const QPoint& viewportPos) const;
    void UpdateScrollBars();
    void UpdateRow(int index);
    void MoveSelection(int index);

    // Category, check and edit actions on a row.
    bool ToggleCategory(IProperty* row);
    bool ToggleCheck(IProperty* row);
    bool Activate(int index, bool byMouse);
    bool Collapse(bool collapse);

    // In-place editors.
    bool OpenEditor(int index, bool byMouse);
    void PlaceEditor();
    void SpinEditorRow(int steps);
    QVariant EditorValue() const;
    void OnListPicked();
    bool IsInEditor(const QWidget* widget) const;
    // Detaches and destroys the editor; the row pointer is returned.
    IProperty* DropEditor();


    QRect NameTextRect(int index, const IProperty* row) const;
    QRect ValueTextRect(int index) const;
    void DrawRow(QPainter& painter, int index, const QRect& rect) const;
    void DrawCategory(QPainter& painter, int index, const IProperty* row, const QRect& rect, bool selected) const;
    void DrawValue(QPainter& painter, const IProperty* row, const QRect& rect, const QColor& textColor) const;

    CPropertyList* m_list = nullptr;
    QString m_filter;
    std::vector<IProperty*> m_shown;
    Beep m_beep;
    double m_splitRatio = 0.5;
    bool m_draggingSplit = false;

    QPointer<QWidget> m_editor;
    EditorKind m_editorKind = EditorKind::None;
    IProperty* m_editRow = nullptr;
    QLineEdit* m_edit = nullptr;
    CInplaceSpinEdit* m_spin = nullptr;
    QComboBox* m_combo = nullptr;
    // The drop-down of the list editor, and whether it has just closed: a
    // pick in it commits at once, a choice made with the keys or the wheel
    // waits for Enter.
    QPointer<QWidget> m_comboPopup;
    bool m_popupJustClosed = false;
    // The spin row's value when its editor opened, to put back on cancel,
    // and whether the arrows have moved it since.
    QVariant m_spinOriginal;
    bool m_spinMoved = false;
};
