#include "controls/CMChartCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>

namespace {
// A drag shorter than this is a click, not a zoom.
constexpr int kMinDrag = 3;
// One notch of the wheel (120 eighths of a degree) narrows the shown time
// to this share, or widens it by its inverse.
constexpr double kNotchZoom = 0.8;
}

CMChartCtrl::CMChartCtrl(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
    SetColours(palette());
}

void CMChartCtrl::RecalcLayout()
{
    Layout(size(), font());
    if (Cursor())
        emit CursorTextChanged(CursorText(*Cursor()));
    update();
}

void CMChartCtrl::DoZoomBack()
{
    m_wheeling = false;
    if (ZoomBack()) {
        RecalcLayout();
    }
}

void CMChartCtrl::DoZoomForward()
{
    m_wheeling = false;
    if (ZoomForward()) {
        RecalcLayout();
    }
}

void CMChartCtrl::DoZoomTo(double from, double to)
{
    m_wheeling = false;
    ZoomTo(from, to);
    RecalcLayout();
}

QImage CMChartCtrl::Image()
{
    return Render(size(), font(), devicePixelRatioF());
}

void CMChartCtrl::CopyToClipboard()
{
    QApplication::clipboard()->setImage(Image());
}

bool CMChartCtrl::ExportPng(const QString& path, QString* error)
{
    // The picture the user sees, zoom included, as Copy gives it.
    return SavePng(Image(), path, error);
}

void CMChartCtrl::paintEvent(QPaintEvent*)
{
    if (LayoutSize() != size())
        Layout(size(), font());
    QPainter painter(this);
    Paint(painter);
}

void CMChartCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout(size(), font());
}

void CMChartCtrl::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::BackButton) {
        DoZoomBack();
        return;
    }
    if (event->button() == Qt::ForwardButton) {
        DoZoomForward();
        return;
    }
    m_wheeling = false;
    const bool shift = (event->modifiers() & Qt::ShiftModifier) != 0;
    if ((event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && shift)) &&
        PlotRect().contains(at)) {
        m_panFrom = at.x();
        m_panMoved = false;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const bool ctrl = (event->modifiers() & Qt::ControlModifier) != 0;
    const int legend = LegendAt(at);
    if (legend >= 0) {
        if (ctrl) {
            emit StyleRequested(legend);
        } else {
            Series()[static_cast<std::size_t>(legend)]->SetVisible(!Series()[static_cast<std::size_t>(legend)]->Visible());
            RecalcLayout();
        }
        return;
    }
    if (PlotRect().contains(at)) {
        if (ctrl) {
            emit StyleRequested(-1);
            return;
        }
        m_dragStart = at.x();
    }
}

void CMChartCtrl::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (m_panFrom && at.x() != *m_panFrom) {
        // The time under the grabbed point follows the mouse.
        const double perPixel = (Maximum() - Minimum()) / std::max(1, PlotRect().width() - 1);
        PanBy((*m_panFrom - at.x()) * perPixel, !m_panMoved);
        m_panMoved = true;
        m_panFrom = at.x();
        RecalcLayout();
    }
    if (m_dragStart) {
        SetBand(std::make_pair(*m_dragStart, std::clamp(at.x(), PlotRect().left(), PlotRect().right())));
        update();
    }
    if (PlotRect().contains(at))
        UpdateCursor(at.x());
    else if (Cursor()) {
        SetCursor(std::nullopt);
        emit CursorTextChanged(QString());
        update();
    }
}

void CMChartCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_panFrom && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_panFrom.reset();
        unsetCursor();
        return;
    }
    if (event->button() != Qt::LeftButton || !m_dragStart)
        return;
    const int start = *m_dragStart;
    const int end = std::clamp(event->position().toPoint().x(), PlotRect().left(), PlotRect().right());
    m_dragStart.reset();
    SetBand(std::nullopt);
    if (std::abs(end - start) >= kMinDrag)
        DoZoomTo(PixelToValue(std::min(start, end)), PixelToValue(std::max(start, end)));
    else
        update();
}

void CMChartCtrl::wheelEvent(QWheelEvent* event)
{
    const QPoint at = event->position().toPoint();
    const int notches = event->angleDelta().y();
    if (!PlotRect().contains(at) || notches == 0) {
        event->ignore();
        return;
    }
    event->accept();
    // Turning away from the user narrows the span; a fine-grained wheel
    // sends fractions of a notch.
    ZoomAround(PixelToValue(at.x()), std::pow(kNotchZoom, notches / 120.0), !m_wheeling);
    m_wheeling = true;
    RecalcLayout();
    UpdateCursor(at.x());
}

void CMChartCtrl::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        SetColours(palette());
        update();
    }
}

void CMChartCtrl::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (Cursor()) {
        SetCursor(std::nullopt);
        emit CursorTextChanged(QString());
        update();
    }
}

void CMChartCtrl::UpdateCursor(int x)
{
    const double time = PixelToValue(x);
    SetCursor(time);
    emit CursorTextChanged(CursorText(time));
    update();
}
