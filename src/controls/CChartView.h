#pragma once

#include "controls/CMChartSerie.h"
#include "controls/CXAxe.h"

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
    // The band being dragged, in pixels (none: no band).
    void SetBand(std::optional<std::pair<int, int>> band) { m_band = band; }

    // Paints the whole chart, as laid out, into the painter.
    void Paint(QPainter& painter) const;

    // Lays out for the size and renders into an image.
    QImage Render(const QSize& size, const QFont& font);

private:
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
};

// Encodes the image as PNG and writes it atomically.
bool SavePng(const QImage& image, const QString& path, QString* error = nullptr);

// Renders series into a PNG file of the given size, written atomically.
// Needs a QGuiApplication (an offscreen one serves), no display.
bool RenderChartPng(const std::vector<std::shared_ptr<CMChartSerie>>& series, const QSize& size, const QString& path,
                    QString* error = nullptr);
