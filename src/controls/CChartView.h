#pragma once

#include "controls/CMChartSerie.h"
#include "controls/CXAxe.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QImage;
class QPainter;
class QPalette;

// What the chart control draws, without a window: the series, each against
// its own vertical axis, over one time axis (this object), the legend, the
// visible time range with its back and forward stacks, and the layout.
// It paints into any QPainter, so that a chart can be rendered into an
// image without a display.
class CChartView : public CXAxe {
public:
    using Range = std::pair<double, double>;

    static constexpr int kInset = 5;  // plot inset from the edges

    // Series.
    void AddSerie(std::shared_ptr<CMChartSerie> serie) { m_series.push_back(std::move(serie)); }
    void ClearSeries();
    const std::vector<std::shared_ptr<CMChartSerie>>& Series() const { return m_series; }

    // The time range of all visible series: smallest x start to largest
    // x end (0 to 1 when none is visible).
    Range FullRange() const;
    // The range shown: the full range until zoomed.
    Range ViewRange() const;

    // Zooming: ZoomTo pushes the shown range onto the back stack and
    // empties the forward stack; back and forward move the shown range
    // between the stacks and do nothing when theirs is empty. ResetZoom
    // shows the full range with both stacks empty.
    void ZoomTo(double from, double to);
    // Shows a range, moved into the full range and made no wider than it
    // and no narrower than a few samples. A new step pushes the
    // shown range onto the back stack and empties the forward stack;
    // the later steps of one gesture (wheel turns, a pan drag) do not.
    void ShowRange(double from, double to, bool newStep);
    // Zooms the time axis by factor (below 1 narrows) around a time, which
    // keeps its place on the axis.
    void ZoomAround(double time, double factor, bool newStep);
    // Moves the shown range by a time, within the full range.
    void PanBy(double seconds, bool newStep);
    bool ZoomBack();
    bool ZoomForward();
    void ResetZoom();
    const std::vector<Range>& BackStack() const { return m_back; }
    const std::vector<Range>& ForwardStack() const { return m_forward; }

    // Lays out legend, axes and plot for a client of this size, sets every
    // series's vertical range from its scale mode and the time axis's range
    // to the shown one.
    void Layout(const QSize& size, const QFont& font);
    const QRect& PlotRect() const { return m_plot; }
    const QSize& LayoutSize() const { return m_size; }

    // Index of the series whose legend entry holds the point, or -1.
    int LegendAt(const QPoint& point) const;

    // The cursor line at a time (none: no cursor).
    void SetCursor(std::optional<double> time) { m_cursor = time; }
    std::optional<double> Cursor() const { return m_cursor; }
    // "t = 12.34 s" and each visible series's "name: value" at that time.
    QString CursorText(double time) const;
    // A value with four significant digits, in plain notation from 0.001
    // to ten million ("0.4132", "12.50", "4021"), else in exponent form.
    static QString FormatValue(double value);

    // The chart's colours follow a palette: its Base as background, its
    // Text for labels, grid and frame blended between the two. Until one
    // is set, black on white.
    void SetColours(const QPalette& palette);
    const QColor& Background() const { return m_background; }
    // The colour a series is drawn in: its own, darkened or lightened in
    // its hue until it stands out 3:1 from the background.
    QColor DrawnColour(const CMChartSerie& serie) const;
    // The band being dragged, in pixels (none: no band).
    void SetBand(std::optional<std::pair<int, int>> band) { m_band = band; }

    // Paints the whole chart, as laid out, into the painter.
    void Paint(QPainter& painter) const;

    // Lays out for the size and renders into an image of that size in
    // logical pixels, with devicePixelRatio physical pixels to each.
    QImage Render(const QSize& size, const QFont& font, double devicePixelRatio = 1.0);

private:
    // The narrowest span a zoom may show.
    double MinimumSpan() const;
    // The series lines, decimated per physical pixel column.
    void PaintSeries(QPainter& painter) const;

    std::vector<std::shared_ptr<CMChartSerie>> m_series;
    std::optional<Range> m_view;
    std::vector<Range> m_back;
    std::vector<Range> m_forward;
    QSize m_size;
    QFont m_font;
    QRect m_plot;
    QRect m_legendArea;
    std::vector<std::pair<int, int>> m_axisSpans;  // per series: left and right pixel of its axis, or (0, 0)
    std::optional<double> m_cursor;
    std::optional<std::pair<int, int>> m_band;
    QColor m_background{Qt::white};
    QColor m_text{Qt::black};
};

// Encodes the image as PNG and writes it atomically.
bool SavePng(const QImage& image, const QString& path, QString* error = nullptr);

// Renders series into a PNG file of the given size, written atomically.
// Needs a QGuiApplication (an offscreen one serves), no display.
bool RenderChartPng(const std::vector<std::shared_ptr<CMChartSerie>>& series, const QSize& size, const QString& path,
                    QString* error = nullptr);
