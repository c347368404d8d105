#pragma once

#include "controls/CChartView.h"

#include <QWidget>

#include <optional>

// The chart control: draws a CChartView and turns the mouse into its
// commands. Dragging with the left button across the plot zooms to the
// dragged span; the mouse's back and forward buttons step through the zoom
// stacks; a click on a legend entry shows or hides that series, with Ctrl
// it asks for the style dialog (as does Ctrl-click in the plot, for the
// series whose legend holds the point or -1). The mouse wheel zooms the
// time axis around the cursor; dragging with the middle button, or with
// the left one while Shift is held, pans it. Hovering the plot draws a
// cursor line and reports the values under it. The chart takes its
// colours from the widget's palette.
class CMChartCtrl : public QWidget, public CChartView {
    Q_OBJECT
public:
    explicit CMChartCtrl(QWidget* parent = nullptr);

    // Lays the chart out again (after series or styles changed) and redraws.
    void RecalcLayout();
    // The zoom commands, with a redraw.
    void DoZoomBack();
    void DoZoomForward();
    void DoZoomTo(double from, double to);

    // The chart as an image the size of the control.
    QImage Image();
    void CopyToClipboard();
    bool ExportPng(const QString& path, QString* error = nullptr);

signals:
    // The style dialog is asked for, with a series index or -1.
    void StyleRequested(int serie);
    // The cursor moved: the text for the status bar (empty when it left).
    void CursorTextChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateCursor(int x);

    std::optional<int> m_dragStart;
    // A pan drag: the last x, and whether it has moved the range yet.
    std::optional<int> m_panFrom;
    bool m_panMoved = false;
    // Consecutive wheel turns are one step of the zoom stacks.
    bool m_wheeling = false;
};
