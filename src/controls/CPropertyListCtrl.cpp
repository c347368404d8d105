#include "controls/CPropertyListCtrl.h"

#include "controls/CInplaceSpinEdit.h"
#include "library/CParameterTip.h"
#include "library/CPropertyList.h"
#include "library/CPropertyListItem.h"
#include "library/CPropertySpinEditItem.h"
#include "library/IProperty.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <QStyleOptionButton>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace {

constexpr int kPad = 4;          // text distance from a cell edge
constexpr int kMarkSize = 9;     // the +/- box of category rows
constexpr int kIndent = kMarkSize + 2 * kPad;
constexpr int kSplitGrip = 3;    // half width of the draggable split
// A frameless line edit keeps 2 pixels before its text: this puts the text
// of an open editor where the value was drawn.
constexpr int kEditorTextMargin = kPad - 2;
constexpr double kMinSplit = 0.1;
constexpr double kMaxSplit = 0.9;

bool IsEditorKind(uint8_t kind)
{
    return kind == IProperty::KindEdit || kind == IProperty::KindSpinEdit || kind == IProperty::KindList;
}

}  // namespace

CPropertyListCtrl::CPropertyListCtrl(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_beep([] { QApplication::beep(); })
{
    setObjectName(QStringLiteral("PropertyListCtrl"));
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
}

CPropertyListCtrl::~CPropertyListCtrl()
{
    // The editor is a child of the viewport and goes with it; only make sure
    // its focus-out does not commit into a list that is going away.
    if (m_editor)
        m_editor->removeEventFilter(this);
}

void CPropertyListCtrl::SetList(CPropertyList* list)
{
    if (list == m_list)
        return;
    if (m_list) {
        CancelEditor();
        disconnect(m_list, nullptr, this, nullptr);
    }
    m_list = list;
    UpdateShownRows();
    if (m_list) {
        connect(m_list, &CPropertyList::layoutChanged, this, &CPropertyListCtrl::OnLayoutChanged);
        connect(m_list, &CPropertyList::rowChanged, this, &CPropertyListCtrl::OnRowChanged);
        connect(m_list, &CPropertyList::refused, this, &CPropertyListCtrl::OnRefused);
        connect(m_list, &CPropertyList::closeEditorRequested, this, &CPropertyListCtrl::CancelEditor);
        connect(m_list, &QObject::destroyed, this, &CPropertyListCtrl::OnListDestroyed);
    }
    verticalScrollBar()->setValue(0);
    UpdateScrollBars();
    viewport()->update();
}

void CPropertyListCtrl::SetBeep(Beep beep)
{
    m_beep = std::move(beep);
}

void CPropertyListCtrl::SetSplitRatio(double ratio)
{
    m_splitRatio = std::clamp(ratio, kMinSplit, kMaxSplit);
    PlaceEditor();
    viewport()->update();
}

// ---------------------------------------------------------------- geometry

int CPropertyListCtrl::RowHeight() const
{
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    return std::max({fontMetrics().height() + 6, indicator + 4, 20});
}

void CPropertyListCtrl::SetFilter(const QString& text)
{
    if (text == m_filter)
        return;
    m_filter = text;
    verticalScrollBar()->setValue(0);
    OnLayoutChanged();
}

void CPropertyListCtrl::UpdateShownRows()
{
    m_shown = m_list ? m_list->RowsMatching(m_filter) : std::vector<IProperty*>();
}

IProperty* CPropertyListCtrl::RowAtIndex(int index) const
{
    return index >= 0 && index < ShownCount() ? m_shown[static_cast<size_t>(index)] : nullptr;
}

int CPropertyListCtrl::ShownIndexOf(const IProperty* row) const
{
    const auto found = std::find(m_shown.begin(), m_shown.end(), row);
    return row == nullptr || found == m_shown.end() ? -1 : static_cast<int>(std::distance(m_shown.begin(), found));
}

int CPropertyListCtrl::SelectedIndex() const
{
    return m_list ? ShownIndexOf(m_list->At(m_list->Selected())) : -1;
}

int CPropertyListCtrl::RowAt(const QPoint& viewportPos) const
{
    if (!m_list || viewportPos.y() < 0)
        return -1;
    const int index = (viewportPos.y() + verticalScrollBar()->value()) / RowHeight();
    return index < ShownCount() ? index : -1;
}

QRect CPropertyListCtrl::RowRect(int index) const
{
    const int h = RowHeight();
    return QRect(0, index * h - verticalScrollBar()->value(), viewport()->width(), h);
}

int CPropertyListCtrl::SplitX() const
{
    const int width = viewport()->width();
    return std::clamp(static_cast<int>(width * m_splitRatio), 0, std::max(0, width - 1));
}

QRect CPropertyListCtrl::NameRect(int index) const
{
    QRect rect = RowRect(index);
    rect.setRight(SplitX() - 1);
    return rect;
}

QRect CPropertyListCtrl::ValueRect(int index) const
{
    QRect rect = RowRect(index);
    rect.setLeft(SplitX() + 1);
    return rect;
}

int CPropertyListCtrl::Indent(const IProperty* row) const
{
    if (row->Kind() == IProperty::KindCategory || (m_list && m_list->CategoriesStyle()))
        return kIndent;
    return 0;
}

QRect CPropertyListCtrl::MarkRect(int index) const
{
    const QRect row = RowRect(index);
    return QRect(kPad, row.top() + (row.height() - kMarkSize) / 2, kMarkSize, kMarkSize);
}

bool CPropertyListCtrl::NearSplit(const QPoint& viewportPos) const
{
    if (std::abs(viewportPos.x() - SplitX()) > kSplitGrip)
        return false;
    const IProperty* row = RowAtIndex(RowAt(viewportPos));
    return row == nullptr || row->Kind() != IProperty::KindCategory;
}

void CPropertyListCtrl::UpdateScrollBars()
{
    const int h = RowHeight();
    const int total = ShownCount() * h;
    const int page = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(h);
    bar->setPageStep(std::max(page, h));
    bar->setRange(0, std::max(0, total - page));
}

void CPropertyListCtrl::UpdateRow(int index)
{
    if (index >= 0)
        viewport()->update(RowRect(index));
}

void CPropertyListCtrl::EnsureVisible(int index)
{
    if (index < 0 || index >= ShownCount())
        return;
    const int h = RowHeight();
    const int top = index * h;
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value())
        bar->setValue(top);
    else if (top + h > bar->value() + viewport()->height())
        bar->setValue(top + h - viewport()->height());
}

QSize CPropertyListCtrl::sizeHint() const
{
    return QSize(320, 12 * RowHeight());
}

// ---------------------------------------------------------------- model signals

void CPropertyListCtrl::OnLayoutChanged()
{
    // An editor whose row left the list (collapsed away or removed) closes;
    // the row is still alive while the list tells us.
    UpdateShownRows();
    if (m_editor && ShownIndexOf(m_editRow) < 0)
        CancelEditor();
    UpdateScrollBars();
    PlaceEditor();
    viewport()->update();
}

void CPropertyListCtrl::OnRowChanged(IProperty* row)
{
    UpdateRow(ShownIndexOf(row));
}

void CPropertyListCtrl::OnRefused(IProperty*)
{
    if (m_beep)
        m_beep();
}

void CPropertyListCtrl::OnListDestroyed()
{
    // The rows are gone already: drop the editor without looking at its row.
    m_list = nullptr;
    m_shown.clear();
    DropEditor();
    UpdateScrollBars();
    viewport()->update();
}

// ---------------------------------------------------------------- drawing

void CPropertyListCtrl::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    if (!m_list)
        return;
    const int h = RowHeight();
    const int scroll = verticalScrollBar()->value();
    const QRect dirty = event->rect();
    const int first = std::max(0, (dirty.top() + scroll) / h);
    const int last = std::min(ShownCount() - 1, (dirty.bottom() + scroll) / h);
    for (int index = first; index <= last; ++index)
        DrawRow(painter, index, RowRect(index));
}

QRect CPropertyListCtrl::NameTextRect(int index, const IProperty* row) const
{
    const QRect rect = RowRect(index);
    const int left = rect.left() + kPad + Indent(row);
    return QRect(left, rect.top(), std::max(0, SplitX() - kPad - left), rect.height());
}

QRect CPropertyListCtrl::ValueTextRect(int index) const
{
    const QRect rect = RowRect(index);
    const int split = SplitX();
    return QRect(split + 1 + kPad, rect.top(), std::max(0, rect.right() - split - 2 * kPad), rect.height());
}

void CPropertyListCtrl::DrawRow(QPainter& painter, int index, const QRect& rect) const
{
    const IProperty* row = RowAtIndex(index);
    const bool selected = index == SelectedIndex();
    if (row->Kind() == IProperty::KindCategory) {
        DrawCategory(painter, index, row, rect, selected);
        return;
    }

    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
                                       : hasFocus() ? QPalette::Active
                                                    : QPalette::Inactive;
    const bool greyed = !isEnabled() || !row->IsEnabled() || row->Kind() == IProperty::KindReadOnly;
    if (selected)
        painter.fillRect(rect, palette().brush(group, QPalette::Highlight));

    QColor textColor = palette().color(group, QPalette::Text);
    if (selected) {
        textColor = palette().color(group, QPalette::HighlightedText);
    } else if (greyed) {
        // Halfway to the background: clearly greyed, still easy to read.
        const QColor base = palette().color(group, QPalette::Base);
        textColor = QColor((textColor.red() + base.red()) / 2, (textColor.green() + base.green()) / 2,
                           (textColor.blue() + base.blue()) / 2);
    }

    const int split = SplitX();
    const QRect nameRect = NameTextRect(index, row);
    painter.setPen(textColor);
    const QFont rowFont = RowFont(row);
    painter.setFont(rowFont);
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(rowFont).elidedText(row->Name(), Qt::ElideRight, std::max(0, nameRect.width())));

    DrawValue(painter, row, ValueTextRect(index), textColor);
    painter.setFont(font());

    const QColor grid = palette().color(QPalette::Midlight);
    painter.setPen(grid);
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.drawLine(split, rect.top(), split, rect.bottom());
}

void CPropertyListCtrl::DrawValue(QPainter& painter, const IProperty* row, const QRect& rect,
                                  const QColor& textColor) const
{
    if (row->Kind() == IProperty::KindCheck) {
        QVariant value;
        const bool checked = row->GetValue(value) && value.toBool();
        QStyleOptionButton option;
        option.initFrom(this);
        const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
        const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
        option.rect = QRect(rect.left(), rect.top() + (rect.height() - h) / 2, w, h);
        option.state = (checked ? QStyle::State_On : QStyle::State_Off);
        if (isEnabled() && row->IsEnabled())
            option.state |= QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        return;
    }
    QString text;
    if (!row->GetDisplayText(text))
        return;
    painter.setPen(textColor);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(painter.font()).elidedText(text, Qt::ElideRight, std::max(0, rect.width())));
}

void CPropertyListCtrl::DrawCategory(QPainter& painter, int index, const IProperty* row, const QRect& rect,
                                     bool selected) const
{
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
                                       : hasFocus() ? QPalette::Active
                                                    : QPalette::Inactive;
    painter.fillRect(rect, palette().brush(group, selected ? QPalette::Highlight : QPalette::Button));
    const QColor textColor = palette().color(group, selected ? QPalette::HighlightedText : QPalette::ButtonText);

    // The +/- mark: plus while the category holds its rows.
    const QRect mark = MarkRect(index);
    painter.setPen(textColor);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(mark.adjusted(0, 0, -1, -1));
    const int cx = mark.left() + kMarkSize / 2;
    const int cy = mark.top() + kMarkSize / 2;
    painter.drawLine(mark.left() + 2, cy, mark.right() - 2, cy);
    if (m_list->IsCollapsed(row))
        painter.drawLine(cx, mark.top() + 2, cx, mark.bottom() - 2);

    const QFont rowFont = RowFont(row);
    painter.setFont(rowFont);
    const QRect textRect(rect.left() + kPad + kIndent, rect.top(), rect.width() - kIndent - 2 * kPad,
                         rect.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(rowFont).elidedText(row->Name(), Qt::ElideRight, std::max(0, textRect.width())));
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
}

// Categories, and rows whose value differs from the library default, are
// drawn bold.
QFont CPropertyListCtrl::RowFont(const IProperty* row) const
{
    QFont rowFont = font();
    rowFont.setBold(row->Kind() == IProperty::KindCategory || CParameterTip::DiffersFromDefault(*row));
    return rowFont;
}

// A label or value cut short by its column shows in full as a tooltip,
// above what the row's parameter says about itself.
QString CPropertyListCtrl::ToolTipAt(const QPoint& viewportPos) const
{
    const int index = RowAt(viewportPos);
    const IProperty* row = RowAtIndex(index);
    if (!row)
        return {};
    QStringList lines;
    const QFontMetrics metrics(RowFont(row));
    if (row->Kind() == IProperty::KindCategory || viewportPos.x() < SplitX()) {
        const int width = row->Kind() == IProperty::KindCategory
                              ? RowRect(index).width() - kIndent - 2 * kPad
                              : NameTextRect(index, row).width();
        if (metrics.horizontalAdvance(row->Name()) > width)
            lines << row->Name();
    } else {
        QString text;
        if (row->Kind() != IProperty::KindCheck && row->GetDisplayText(text)
            && metrics.horizontalAdvance(text) > ValueTextRect(index).width())
            lines << text;
    }
    const QString tip = CParameterTip::Text(*row);
    if (!tip.isEmpty())
        lines << tip;
    return lines.join(QLatin1Char('\n'));
}

bool CPropertyListCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = ToolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport(), RowRect(RowAt(help->pos())));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---------------------------------------------------------------- actions

void CPropertyListCtrl::MoveSelection(int index)
{
    if (!m_list || ShownCount() == 0)
        return;
    index = std::clamp(index, 0, ShownCount() - 1);
    const int previous = SelectedIndex();
    m_list->Select(m_list->IndexOf(RowAtIndex(index)));
    EnsureVisible(index);
    UpdateRow(previous);
    UpdateRow(index);
}

bool CPropertyListCtrl::ToggleCategory(IProperty* row)
{
    return m_list && row && row->Kind() == IProperty::KindCategory && m_list->Toggle(row);
}

bool CPropertyListCtrl::ToggleCheck(IProperty* row)
{
    if (!m_list || !row || row->Kind() != IProperty::KindCheck || !row->IsEnabled())
        return false;
    QVariant value;
    const bool checked = row->GetValue(value) && value.toBool();
    m_list->CommitValue(row, !checked, false);
    return true;
}

bool CPropertyListCtrl::Activate(int index, bool byMouse)
{
    IProperty* row = RowAtIndex(index);
    if (!row)
        return false;
    switch (row->Kind()) {
    case IProperty::KindCategory:
        return ToggleCategory(row);
    case IProperty::KindCheck:
        return ToggleCheck(row);
    default:
        return OpenEditor(index, byMouse);
    }
}

// Collapses (or expands) the selected category; Left on a row under a
// category moves the selection up to its category.
bool CPropertyListCtrl::Collapse(bool collapse)
{
    if (!m_list)
        return false;
    const int selected = SelectedIndex();
    IProperty* row = RowAtIndex(selected);
    if (!row)
        return false;
    if (row->Kind() == IProperty::KindCategory) {
        if (m_list->IsCollapsed(row) == collapse)
            return false;
        return collapse ? m_list->Collapse(row) : m_list->Expand(row);
    }
    if (!collapse)
        return false;
    for (int index = selected - 1; index >= 0; --index) {
        if (RowAtIndex(index)->Kind() == IProperty::KindCategory) {
            MoveSelection(index);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- keyboard and mouse

void CPropertyListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (!m_list || ShownCount() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int selected = SelectedIndex();
    const int pageRows = std::max(1, viewport()->height() / RowHeight() - 1);
    switch (event->key()) {
    case Qt::Key_Up:
        MoveSelection(selected < 0 ? 0 : selected - 1);
        break;
    case Qt::Key_Down:
        MoveSelection(selected < 0 ? 0 : selected + 1);
        break;
    case Qt::Key_PageUp:
        MoveSelection(selected < 0 ? 0 : selected - pageRows);
        break;
    case Qt::Key_PageDown:
        MoveSelection(selected < 0 ? 0 : selected + pageRows);
        break;
    case Qt::Key_Home:
        MoveSelection(0);
        break;
    case Qt::Key_End:
        MoveSelection(ShownCount() - 1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!Activate(selected, false))
            event->ignore();
        break;
    case Qt::Key_F2:
        OpenEditor(selected, false);
        break;
    case Qt::Key_Space: {
        IProperty* row = RowAtIndex(selected);
        if (row && row->Kind() == IProperty::KindCategory)
            ToggleCategory(row);
        else
            ToggleCheck(row);
        break;
    }
    case Qt::Key_Left:
    case Qt::Key_Minus:
        Collapse(true);
        break;
    case Qt::Key_Right:
    case Qt::Key_Plus:
        Collapse(false);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
}

void CPropertyListCtrl::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && NearSplit(pos)) {
        m_draggingSplit = true;
        return;
    }
    const int index = RowAt(pos);
    if (!m_list || index < 0 || (event->button() != Qt::LeftButton && event->button() != Qt::RightButton))
        return;
    MoveSelection(index);
    if (event->button() != Qt::LeftButton)
        return;
    IProperty* row = RowAtIndex(index);
    if (row->Kind() == IProperty::KindCategory)
        ToggleCategory(row);
    else if (row->Kind() == IProperty::KindCheck && pos.x() > SplitX())
        ToggleCheck(row);
}

void CPropertyListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_draggingSplit) {
        if (viewport()->width() > 0)
            SetSplitRatio(static_cast<double>(pos.x()) / viewport()->width());
        return;
    }
    if (NearSplit(pos))
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
}

void CPropertyListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_draggingSplit = false;
}

void CPropertyListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click: categories and check boxes take it
    // as one more click; other rows open their editor.
    const QPoint pos = event->position().toPoint();
    const int index = RowAt(pos);
    if (event->button() != Qt::LeftButton || index < 0 || NearSplit(pos))
        return;
    MoveSelection(index);
    Activate(index, true);
}

void CPropertyListCtrl::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CPropertyListCtrl::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CPropertyListCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        CancelEditor();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        UpdateScrollBars();
    QAbstractScrollArea::changeEvent(event);
}

void CPropertyListCtrl::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    PlaceEditor();
}

void CPropertyListCtrl::scrollContentsBy(int, int)
{
    viewport()->update();
    PlaceEditor();
}

// ---------------------------------------------------------------- in-place editors

bool CPropertyListCtrl::EditRow(int index)
{
    return OpenEditor(index, false);
}

bool CPropertyListCtrl::OpenEditor(int index, bool byMouse)
{
    if (!m_list || !isEnabled())
        return false;
    IProperty* row = RowAtIndex(index);
    if (m_editor && m_editRow == row)
        return true;
    // Committing an open editor may change the list: look the row up again.
    CommitEditor();
    row = RowAtIndex(index);
    if (!row || !row->IsEnabled() || !IsEditorKind(row->Kind()))
        return false;

    MoveSelection(index);
    QString text;
    row->GetDisplayText(text);
    switch (row->Kind()) {
    case IProperty::KindEdit: {
        m_edit = new QLineEdit(viewport());
        m_edit->setObjectName(QStringLiteral("InplacePropertyEdit"));
        m_edit->setFrame(false);
        m_edit->setTextMargins(kEditorTextMargin, 0, 0, 0);
        m_edit->setText(text);
        m_edit->selectAll();
        m_editor = m_edit;
        m_editorKind = EditorKind::Edit;
        break;
    }
    case IProperty::KindSpinEdit: {
        m_spin = new CInplaceSpinEdit(viewport());
        m_spin->setFrame(false);
        m_spin->SetTextMargin(kEditorTextMargin);
        m_spin->SetText(text);
        m_spin->SetSpinHandler([this](int steps) { SpinEditorRow(steps); });
        m_spinOriginal = QVariant();
        row->GetValue(m_spinOriginal);
        m_spinMoved = false;
        m_editor = m_spin;
        m_editorKind = EditorKind::Spin;
        break;
    }
    default: {
        m_combo = new QComboBox(viewport());
        m_combo->setObjectName(QStringLiteral("InplacePropertyList"));
        m_combo->setFrame(false);
        if (const auto* list = dynamic_cast<const CPropertyListItem*>(row)) {
            m_combo->addItems(list->Texts());
            m_combo->setCurrentIndex(list->Position());
        } else if (!text.isEmpty()) {
            m_combo->addItem(text);
        }
        connect(m_combo, &QComboBox::activated, this, &CPropertyListCtrl::OnListPicked);
        m_comboPopup = m_combo->view()->window();
        m_comboPopup->installEventFilter(this);
        // The drop-down's list has the focus while it is open.
        m_combo->view()->installEventFilter(this);
        m_editor = m_combo;
        m_editorKind = EditorKind::List;
        break;
    }
    }
    m_editRow = row;
    m_editor->installEventFilter(this);
    PlaceEditor();
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
    if (m_combo && byMouse)
        m_combo->showPopup();
    return true;
}

void CPropertyListCtrl::PlaceEditor()
{
    if (!m_editor || !m_list)
        return;
    const int index = ShownIndexOf(m_editRow);
    if (index < 0)
        return;
    m_editor->setGeometry(ValueRect(index).adjusted(0, 0, 0, -1));
}

// The arrows move the row's own value (a text typed before goes in first),
// and the editor shows where it went. Cancelling puts the old value back.
void CPropertyListCtrl::SpinEditorRow(int steps)
{
    auto* row = dynamic_cast<CPropertySpinEditItem*>(m_editRow);
    if (!row || !m_spin) {
        OnRefused(m_editRow);
        return;
    }
    m_spinMoved = true;
    bool ok = true;
    if (m_spin->IsTextEdited())
        ok = row->SetValueFromEditor(m_spin->text());
    if (ok)
        ok = row->Spin(steps);
    if (!ok)
        OnRefused(row);
    QString text;
    row->GetDisplayText(text);
    m_spin->SetText(text);
    if (m_list)
        m_list->RowUpdated(row);
}

void CPropertyListCtrl::OnListPicked()
{
    // The combo box also reports choices made with the arrow keys or the
    // wheel as activated; only a pick that closed the drop-down commits.
    if (m_popupJustClosed)
        CommitEditor();
}

QVariant CPropertyListCtrl::EditorValue() const
{
    switch (m_editorKind) {
    case EditorKind::Edit:
        return m_edit->text();
    case EditorKind::Spin:
        return m_spin->text();
    case EditorKind::List:
        return m_combo->currentIndex();
    case EditorKind::None:
        break;
    }
    return {};
}

bool CPropertyListCtrl::IsInEditor(const QWidget* widget) const
{
    // Walks past window borders, unlike QWidget::isAncestorOf.
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (widget == m_editor)
            return true;
    }
    return false;
}

IProperty* CPropertyListCtrl::DropEditor()
{
    QPointer<QWidget> editor = m_editor;
    IProperty* row = m_editRow;
    const bool hadFocus = IsInEditor(QApplication::focusWidget());
    if (m_comboPopup)
        m_comboPopup->removeEventFilter(this);
    if (m_combo)
        m_combo->view()->removeEventFilter(this);
    m_comboPopup = nullptr;
    m_popupJustClosed = false;
    m_editor = nullptr;
    m_editRow = nullptr;
    m_edit = nullptr;
    m_spin = nullptr;
    m_combo = nullptr;
    m_editorKind = EditorKind::None;
    m_spinMoved = false;
    m_spinOriginal = QVariant();
    if (editor) {
        editor->removeEventFilter(this);
        editor->disconnect(this);
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
        editor->hide();
        editor->deleteLater();
    }
    viewport()->update();
    return row;
}

void CPropertyListCtrl::CommitEditor()
{
    if (!m_editor)
        return;
    const EditorKind kind = m_editorKind;
    const QVariant value = EditorValue();
    IProperty* row = DropEditor();
    if (!m_list || !row)
        return;
    // A drop-down list with nothing chosen has nothing to commit.
    if (kind == EditorKind::List && value.toInt() < 0)
        return;
    m_list->CommitValue(row, value, true);
}

void CPropertyListCtrl::CancelEditor()
{
    if (!m_editor)
        return;
    const bool restore = m_editorKind == EditorKind::Spin && m_spinMoved && m_spinOriginal.isValid();
    const QVariant original = m_spinOriginal;
    IProperty* row = DropEditor();
    if (restore && row && m_list) {
        row->SetValue(original);
        m_list->RowUpdated(row);
    }
}

bool CPropertyListCtrl::eventFilter(QObject* watched, QEvent* event)
{
    if (m_comboPopup && watched == m_comboPopup && event->type() == QEvent::Hide) {
        // A pick hides the drop-down and then reports the choice at once;
        // the flag is gone again when the event loop next runs.
        m_popupJustClosed = true;
        QTimer::singleShot(0, this, [this] { m_popupJustClosed = false; });
        return QAbstractScrollArea::eventFilter(watched, event);
    }
    if (m_combo && (watched == m_combo->view() || watched == m_comboPopup) &&
        event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // Escape in the open drop-down closes only the drop-down (as the key
        // press that follows does); no window shortcut may take it, and
        // the edit stays open.
        event->accept();
        return true;
    }
    if (!m_editor || watched != m_editor)
        return QAbstractScrollArea::eventFilter(watched, event);

    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // Escape belongs to the open editor (it cancels the edit), not to a
        // window shortcut such as the main window's close.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            CommitEditor();
            return true;
        case Qt::Key_Escape:
            CancelEditor();
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving the editor commits it; the focus moving to a part of it,
        // such as its drop-down (a window of its own), does not count.
        const auto* focus = static_cast<QFocusEvent*>(event);
        if (focus->reason() != Qt::PopupFocusReason && !IsInEditor(QApplication::focusWidget()))
            CommitEditor();
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}
