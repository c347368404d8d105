#include "controls/CChartView.h"

#include "base/CAtomicFile.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int kSwatch = 10;
constexpr int kLegendGap = 14;
constexpr int kTickLength = 4;
constexpr int kMinYLabelDistance = 28;

QColor ToQColor(int colour)
{
    return QColor(CMChartSerie::Red(colour), CMChartSerie::Green(colour), CMChartSerie::Blue(colour));
}
}

void CChartView::ClearSeries()
{
    m_series.clear();
    m_axisSpans.clear();
    m_cursor.reset();
}

CChartView::Range CChartView::FullRange() const
{
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const auto& serie : m_series) {
        if (!serie->Visible() || serie->Size() == 0)
            continue;
        lo = std::min(lo, serie->XStart());
        hi = std::max(hi, serie->XEnd());
    }
    if (!(hi > lo))
        return {0, 1};
    return {lo, hi};
}

CChartView::Range CChartView::ViewRange() const
{
    return m_view ? *m_view : FullRange();
}

void CChartView::ZoomTo(double from, double to)
{
    if (from > to)
        std::swap(from, to);
    if (!(to > from))
        return;
    m_back.push_back(ViewRange());
    m_forward.clear();
    m_view = Range{from, to};
}

bool CChartView::ZoomBack()
{
    if (m_back.empty())
        return false;
    m_forward.push_back(ViewRange());
    m_view = m_back.back();
    m_back.pop_back();
    return true;
}

bool CChartView::ZoomForward()
{
    if (m_forward.empty())
        return false;
    m_back.push_back(ViewRange());
    m_view = m_forward.back();
    m_forward.pop_back();
    return true;
}

void CChartView::ResetZoom()
{
    m_view.reset();
    m_back.clear();
    m_forward.clear();
}

void CChartView::Layout(const QSize& size, const QFont& font)
{
    m_size = size;
    m_font = font;
    const QFontMetrics fm(font);
    const int right = size.width() - kInset;

    // Legend entries flow in rows across the top.
    int x = kInset;
    int y = kInset;
    const int rowHeight = fm.height() + 2;
    for (const auto& serie : m_series) {
        const int width = kSwatch + 4 + fm.horizontalAdvance(serie->Name());
        if (x > kInset && x + width > right) {
            x = kInset;
            y += rowHeight;
        }
        serie->SetLegendRect(QRect(x, y, width, rowHeight));
        x += width + kLegendGap;
    }
    const int legendBottom = m_series.empty() ? kInset : y + rowHeight;
    m_legendArea = QRect(kInset, kInset, std::max(0, right - kInset), legendBottom - kInset);

    const int top = legendBottom + fm.height() / 2 + 2;
    const int bottom = size.height() - kInset - fm.height() - kTickLength - 2;

    // One vertical axis per visible series, side by side at the left, each
    // as wide as its longest label.
    m_axisSpans.assign(m_series.size(), {0, 0});
    int left = kInset;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        CMChartSerie& serie = *m_series[i];
        serie.RecalcRange();
        serie.SetPixelSpan(top, bottom);
        if (!serie.Visible())
            continue;
        const CYAxe::Ticks ticks = serie.MakeTicks(kMinYLabelDistance);
        int width = fm.horizontalAdvance(QStringLiteral("0"));
        for (const double v : ticks.values)
            width = std::max(width, fm.horizontalAdvance(CYAxe::Label(v, ticks.decimals)));
        width += kTickLength + 6;
        m_axisSpans[i] = {left, left + width};
        left += width;
    }
    m_plot = QRect(QPoint(left, top), QPoint(std::max(left + 1, right), std::max(top + 1, bottom)));
    const Range view = ViewRange();
    SetRange(view.first, view.second);
    SetPixelSpan(m_plot.left(), m_plot.right());
}

int CChartView::LegendAt(const QPoint& point) const
{
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        if (m_series[i]->LegendRect().contains(point))
            return static_cast<int>(i);
    }
    return -1;
}

QString CChartView::CursorText(double time) const
{
    QString text = QStringLiteral("t = %1 s").arg(time, 0, 'f', 2);
    for (const auto& serie : m_series) {
        double value = 0;
        if (serie->Visible() && serie->ValueAt(time, value))
            text += QStringLiteral("   %1: %2").arg(serie->Name(), QString::number(value, 'g', 6));
    }
    return text;
}

void CChartView::Paint(QPainter& painter) const
{
    const QFontMetrics fm(m_font);
    painter.setFont(m_font);
    painter.fillRect(QRect(QPoint(0, 0), m_size), Qt::white);
    painter.fillRect(m_plot, QColor(252, 252, 252));

    // Legend: a colour swatch and the name; hidden series greyed out.
    for (const auto& serie : m_series) {
        const QRect r = serie->LegendRect();
        const QColor colour = serie->Visible() ? ToQColor(serie->Colour()) : QColor(200, 200, 200);
        painter.fillRect(QRect(r.left(), r.center().y() - kSwatch / 2, kSwatch, kSwatch), colour);
        painter.setPen(serie->Visible() ? Qt::black : QColor(160, 160, 160));
        painter.drawText(r.adjusted(kSwatch + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, serie->Name());
    }

    // Time axis: grid lines and labels, a label left out when it would
    // overlap the one before.
    const TickPlan plan = Ticks();
    int lastLabelRight = std::numeric_limits<int>::min();
    const int labelTop = m_plot.bottom() + kTickLength + 1;
    for (const double t : TickTimes(plan)) {
        const int px = ValueToPixel(t);
        if (px < m_plot.left() || px > m_plot.right())
            continue;
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(px, m_plot.top(), px, m_plot.bottom());
        painter.setPen(Qt::black);
        painter.drawLine(px, m_plot.bottom(), px, m_plot.bottom() + kTickLength);
        const QString label = FormatTime(t, plan.format);
        const int width = fm.horizontalAdvance(label);
        const int labelLeft = std::clamp(px - width / 2, 0, std::max(0, m_size.width() - width));
        if (labelLeft > lastLabelRight + 6) {
            painter.drawText(QRect(labelLeft, labelTop, width, fm.height()), Qt::AlignCenter, label);
            lastLabelRight = labelLeft + width;
        }
    }

    // Vertical axes, each in its series's colour; the first visible
    // series also draws the horizontal grid.
    bool grid = true;
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        const CMChartSerie& serie = *m_series[i];
        if (!serie.Visible() || i >= m_axisSpans.size())
            continue;
        const int axisX = m_axisSpans[i].second - 1;
        const QColor colour = ToQColor(serie.Colour());
        const CYAxe::Ticks ticks = serie.MakeTicks(kMinYLabelDistance);
        painter.setPen(colour);
        painter.drawLine(axisX, m_plot.top(), axisX, m_plot.bottom());
        for (const double v : ticks.values) {
            const int py = serie.ValueToPixel(v);
            if (grid) {
                painter.setPen(QColor(225, 225, 225));
                painter.drawLine(m_plot.left(), py, m_plot.right(), py);
                painter.setPen(colour);
            }
            painter.drawLine(axisX - kTickLength, py, axisX, py);
            const QRect box(m_axisSpans[i].first, py - fm.height() / 2, axisX - kTickLength - 2 - m_axisSpans[i].first,
                            fm.height());
            painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, CYAxe::Label(v, ticks.decimals));
        }
        grid = false;
    }
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(m_plot.adjusted(0, 0, -1, -1));

    // The series lines, clipped to the plot.
    painter.save();
    painter.setClipRect(m_plot);
    std::vector<QPointF> points;
    std::vector<QPoint> pixels;
    for (const auto& serie : m_series) {
        if (!serie->Visible())
            continue;
        serie->Decimate(*this, points);
        // Whole pixels take the raster engine's fast path for thin lines.
        pixels.resize(points.size());
        std::transform(points.begin(), points.end(), pixels.begin(), [](const QPointF& p) { return p.toPoint(); });
        painter.setPen(QPen(ToQColor(serie->Colour()), 0));
        if (pixels.size() == 1)
            painter.drawPoint(pixels.front());
        else if (!pixels.empty())
            painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
    }
    if (m_band) {
        const int a = std::min(m_band->first, m_band->second);
        const int b = std::max(m_band->first, m_band->second);
        painter.fillRect(QRect(QPoint(a, m_plot.top()), QPoint(b, m_plot.bottom())), QColor(40, 100, 220, 50));
    }
    if (m_cursor) {
        const int px = ValueToPixel(*m_cursor);
        painter.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        painter.drawLine(px, m_plot.top(), px, m_plot.bottom());
        for (const auto& serie : m_series) {
            double value = 0;
            if (!serie->Visible() || !serie->ValueAt(*m_cursor, value))
                continue;
            painter.setPen(ToQColor(serie->Colour()));
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPointF(px, serie->ValueToPixelF(value)), 3, 3);
        }
    }
    painter.restore();
}

QImage CChartView::Render(const QSize& size, const QFont& font)
{
    Layout(size, font);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    Paint(painter);
    painter.end();
    return image;
}

bool RenderChartPng(const std::vector<std::shared_ptr<CMChartSerie>>& series, const QSize& size, const QString& path,
                    QString* error)
{
    CChartView view;
    for (const auto& serie : series)
        view.AddSerie(serie);
    return SavePng(view.Render(size.isValid() && !size.isEmpty() ? size : QSize(800, 500), QFont()), path, error);
}

bool SavePng(const QImage& image, const QString& path, QString* error)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        if (error != nullptr)
            *error = QStringLiteral("the image could not be encoded");
        return false;
    }
    return CAtomicFile::WriteWhole(path, png, error);
}
