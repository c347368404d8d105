#include "controls/CMChartCtrl.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

namespace {
// A drag shorter than this is a click, not a zoom.
constexpr int kMinDrag = 3;
}

CMChartCtrl::CMChartCtrl(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 120);
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
    if (ZoomBack()) {
        RecalcLayout();
    }
}

void CMChartCtrl::DoZoomForward()
{
    if (ZoomForward()) {
        RecalcLayout();
    }
}

void CMChartCtrl::DoZoomTo(double from, double to)
{
    ZoomTo(from, to);
    RecalcLayout();
}

QImage CMChartCtrl::Image()
{
    return Render(size(), font());
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
