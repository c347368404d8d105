#include "controls/CCurveCtrl.h"

#include "controls/CColourContrast.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <qdrawutil.h>

#include <algorithm>

CCurveCtrl::CCurveCtrl(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    MakeHandle();
}

void CCurveCtrl::SetPoints(const std::vector<uint8_t>& points, bool fixEnds)
{
    m_points = points;
    m_fixEnds = fixEnds;
    m_dragged = -1;
    m_selected = -1;
    for (int i = 0; i < static_cast<int>(m_points.size()) && m_selected < 0; ++i) {
        if (Movable(i))
            m_selected = i;
    }
    updateGeometry();
    update();
}

void CCurveCtrl::SetLine(bool shown)
{
    m_line = shown;
    update();
}

bool CCurveCtrl::Movable(int i) const
{
    const int n = static_cast<int>(m_points.size());
    if (i < 0 || i >= n)
        return false;
    return !(m_fixEnds && (i == 0 || i == n - 1));
}

int CCurveCtrl::Spacing() const
{
    const int n = static_cast<int>(m_points.size());
    return n > 1 ? (width() - 2 * kMarginX) / (n - 1) : 0;
}

QPoint CCurveCtrl::PointCentre(int i) const
{
    const int value = m_points[static_cast<std::size_t>(i)];
    return QPoint(kMarginX + i * Spacing(), height() - kMarginY - value);
}

int CCurveCtrl::HitTest(const QPoint& pos) const
{
    for (int i = 0; i < static_cast<int>(m_points.size()); ++i) {
        if (!Movable(i))
            continue;
        QRect handle(0, 0, kHandleSize, kHandleSize);
        handle.moveCenter(PointCentre(i));
        if (handle.contains(pos))
            return i;
    }
    return -1;
}

int CCurveCtrl::ValueAt(int y) const
{
    return std::clamp(height() - y - kMarginY, 0, kMaxValue);
}

void CCurveCtrl::SetValue(int i, int value)
{
    if (!Movable(i))
        return;
    const auto v = static_cast<uint8_t>(std::clamp(value, 0, kMaxValue));
    uint8_t& point = m_points[static_cast<std::size_t>(i)];
    if (point == v)
        return;
    point = v;
    update();
    emit changed();
}

QSize CCurveCtrl::sizeHint() const
{
    const int n = std::max(2, static_cast<int>(m_points.size()));
    return QSize(2 * kMarginX + (n - 1) * 3 * kHandleSize, kMaxValue + 1 + 2 * kMarginY);
}

QSize CCurveCtrl::minimumSizeHint() const
{
    // One pixel per unit: the whole range must fit.
    const int n = std::max(2, static_cast<int>(m_points.size()));
    return QSize(2 * kMarginX + (n - 1) * kHandleSize, kMaxValue + 1 + 2 * kMarginY);
}

void CCurveCtrl::MakeHandle()
{
    m_handle = QPixmap(kHandleSize, kHandleSize);
    QPainter painter(&m_handle);
    const QPalette& pal = palette();
    qDrawShadePanel(&painter, 0, 0, kHandleSize, kHandleSize, pal, false, 1, &pal.brush(QPalette::Button));
}

void CCurveCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        MakeHandle();
    QWidget::changeEvent(event);
}

void CCurveCtrl::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CCurveCtrl::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void CCurveCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

QString CCurveCtrl::ReadOut() const
{
    const int point = m_dragged >= 0 ? m_dragged : m_selected;
    if (point < 0 || point >= static_cast<int>(m_points.size()))
        return {};
    return tr("Point %1 of %2: %3")
        .arg(point + 1)
        .arg(m_points.size())
        .arg(m_points[static_cast<std::size_t>(point)]);
}

QColor CCurveCtrl::GridColour(const QPalette& palette)
{
    // Light on a light face, dark on a dark one: 18 % of the way from the
    // background to the text.
    return CColourContrast::Mix(palette.color(QPalette::Base), palette.color(QPalette::Text), 0.18);
}

void CCurveCtrl::DrawGrid(QPainter& painter) const
{
    painter.setPen(QPen(GridColour(palette()), 1));
    const int bottom = height() - kMarginY;
    for (int value = kGridStep; value < kMaxValue; value += kGridStep)
        painter.drawLine(kMarginX, bottom - value, width() - kMarginX, bottom - value);
}

void CCurveCtrl::DrawReadOut(QPainter& painter) const
{
    const QString text = ReadOut();
    if (text.isEmpty())
        return;
    const QPalette& pal = palette();
    const QFontMetrics metrics(font());
    QRect box = metrics.boundingRect(text).adjusted(-3, -1, 3, 1);
    box.moveTopLeft(QPoint(kMarginX, kMarginY));
    // The face shows through a little: the curve under the read-out stays visible.
    QColor face = pal.color(QPalette::Base);
    face.setAlpha(210);
    painter.fillRect(box, face);
    painter.setPen(pal.color(QPalette::Text));
    painter.drawText(box, Qt::AlignCenter, text);
}

void CCurveCtrl::paintEvent(QPaintEvent*)
{
    const int n = static_cast<int>(m_points.size());
    if (n == 0)
        return;
    QPainter painter(this);
    const QPalette& pal = palette();
    const int top = kMarginY;
    const int bottom = height() - kMarginY;

    DrawGrid(painter);

    painter.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DotLine));
    for (int i = 0; i < n; ++i) {
        const int x = PointCentre(i).x();
        painter.drawLine(x, top, x, bottom);
    }
    if (m_line && n > 1) {
        painter.setPen(QPen(pal.color(QPalette::Dark), 1, Qt::DashLine));
        painter.drawLine(PointCentre(0), PointCentre(n - 1));
    }
    QPolygon line;
    for (int i = 0; i < n; ++i)
        line << PointCentre(i);
    painter.setPen(QPen(pal.color(QPalette::Text), 1));
    painter.drawPolyline(line);

    for (int i = 0; i < n; ++i) {
        QRect handle(0, 0, kHandleSize, kHandleSize);
        handle.moveCenter(PointCentre(i));
        painter.drawPixmap(handle.topLeft(), m_handle);
        if (i == m_selected && hasFocus())
            painter.fillRect(handle.adjusted(2, 2, -2, -2), pal.color(QPalette::Highlight));
    }
    DrawReadOut(painter);
}

void CCurveCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int hit = HitTest(event->position().toPoint());
    if (hit < 0)
        return;
    m_dragged = hit;
    m_selected = hit;
    // The press grabs the mouse until its release: the drag goes on
    // outside the control.
    update();
}

void CCurveCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragged >= 0)
        SetValue(m_dragged, ValueAt(event->position().toPoint().y()));
}

void CCurveCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragged < 0 || event->button() != Qt::LeftButton)
        return;
    SetValue(m_dragged, ValueAt(event->position().toPoint().y()));
    m_dragged = -1;
}

void CCurveCtrl::SelectNext(int step)
{
    const int n = static_cast<int>(m_points.size());
    for (int i = m_selected + step; i >= 0 && i < n; i += step) {
        if (Movable(i)) {
            m_selected = i;
            update();
            return;
        }
    }
}

void CCurveCtrl::keyPressEvent(QKeyEvent* event)
{
    if (m_selected < 0 || m_dragged >= 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int value = m_points[static_cast<std::size_t>(m_selected)];
    switch (event->key()) {
    case Qt::Key_Left:
        SelectNext(-1);
        break;
    case Qt::Key_Right:
        SelectNext(1);
        break;
    case Qt::Key_Up:
        SetValue(m_selected, value + 1);
        break;
    case Qt::Key_Down:
        SetValue(m_selected, value - 1);
        break;
    case Qt::Key_PageUp:
        SetValue(m_selected, value + kPageStep);
        break;
    case Qt::Key_PageDown:
        SetValue(m_selected, value - kPageStep);
        break;
    case Qt::Key_Home:
        SetValue(m_selected, kMaxValue);
        break;
    case Qt::Key_End:
        SetValue(m_selected, 0);
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}
