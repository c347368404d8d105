#include "controls/CChartView.h"

#include "base/CAtomicFile.h"
#include "controls/CColourContrast.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int kSwatch = 10;
constexpr int kLegendGap = 14;
constexpr int kTickLength = 4;
constexpr int kMinYLabelDistance = 28;
// A zoom shows at least this many samples of the finest series.
constexpr double kMinSamplesShown = 4;

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

double CChartView::MinimumSpan() const
{
    double step = std::numeric_limits<double>::infinity();
    for (const auto& serie : m_series) {
        if (serie->Visible() && serie->Size() > 0)
            step = std::min(step, serie->XStep());
    }
    const Range full = FullRange();
    const double floor = (full.second - full.first) * 1e-6;
    return std::isfinite(step) ? std::max(step * kMinSamplesShown, floor) : floor;
}

void CChartView::ShowRange(double from, double to, bool newStep)
{
    if (from > to)
        std::swap(from, to);
    if (!std::isfinite(from) || !std::isfinite(to))
        return;
    const Range full = FullRange();
    const double span = std::clamp(to - from, std::min(MinimumSpan(), full.second - full.first), full.second - full.first);
    from = std::clamp(from + ((to - from) - span) / 2, full.first, full.second - span);
    const Range next{from, from + span};
    const Range shown = ViewRange();
    if (next == shown)
        return;
    if (newStep) {
        m_back.push_back(shown);
        m_forward.clear();
    }
    m_view = next;
}

void CChartView::ZoomAround(double time, double factor, bool newStep)
{
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    const Range view = ViewRange();
    ShowRange(time - (time - view.first) * factor, time + (view.second - time) * factor, newStep);
}

void CChartView::PanBy(double seconds, bool newStep)
{
    const Range view = ViewRange();
    ShowRange(view.first + seconds, view.second + seconds, newStep);
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
            text += QStringLiteral("   %1: %2").arg(serie->Name(), FormatValue(value));
    }
    return text;
}

QString CChartView::FormatValue(double value)
{
    constexpr int kDigits = 4;
    const double magnitude = std::abs(value);
    if (value == 0)
        return QStringLiteral("0");
    if (!std::isfinite(value) || magnitude < 1e-3 || magnitude >= 1e7)
        return QString::number(value, 'g', kDigits);
    // Digits before the point, then as many after it as make four.
    const int whole = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    QString text = QString::number(value, 'f', std::max(0, kDigits - whole));
    // Rounding may carry into a new digit (9.9996 gives "10.000").
    const int carried = static_cast<int>(std::floor(std::log10(std::abs(text.toDouble())))) + 1;
    if (carried > whole)
        text = QString::number(value, 'f', std::max(0, kDigits - carried));
    return text;
}

void CChartView::SetColours(const QPalette& palette)
{
    m_background = palette.color(QPalette::Active, QPalette::Base);
    m_text = palette.color(QPalette::Active, QPalette::Text);
}

QColor CChartView::DrawnColour(const CMChartSerie& serie) const
{
    return CColourContrast::Readable(ToQColor(serie.Colour()), m_background);
}

void CChartView::Paint(QPainter& painter) const
{
    const QFontMetrics fm(m_font);
    painter.setFont(m_font);
    const QColor gridColour = CColourContrast::Mix(m_background, m_text, 0.13);
    const QColor frame = CColourContrast::Mix(m_background, m_text, 0.4);
    const QColor hidden = CColourContrast::Mix(m_background, m_text, 0.3);
    painter.fillRect(QRect(QPoint(0, 0), m_size), m_background);

    // Legend: a colour swatch and the name; hidden series greyed out.
    for (const auto& serie : m_series) {
        const QRect r = serie->LegendRect();
        const QColor colour = serie->Visible() ? DrawnColour(*serie) : hidden;
        painter.fillRect(QRect(r.left(), r.center().y() - kSwatch / 2, kSwatch, kSwatch), colour);
        painter.setPen(serie->Visible() ? m_text : CColourContrast::Mix(m_background, m_text, 0.5));
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
        painter.setPen(gridColour);
        painter.drawLine(px, m_plot.top(), px, m_plot.bottom());
        painter.setPen(m_text);
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
        const QColor colour = DrawnColour(serie);
        const CYAxe::Ticks ticks = serie.MakeTicks(kMinYLabelDistance);
        painter.setPen(colour);
        painter.drawLine(axisX, m_plot.top(), axisX, m_plot.bottom());
        for (const double v : ticks.values) {
            const int py = serie.ValueToPixel(v);
            if (grid) {
                painter.setPen(gridColour);
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
    painter.setPen(frame);
    painter.drawRect(m_plot.adjusted(0, 0, -1, -1));

    // The series lines, clipped to the plot.
    painter.save();
    painter.setClipRect(m_plot);
    PaintSeries(painter);
    if (m_band) {
        const int a = std::min(m_band->first, m_band->second);
        const int b = std::max(m_band->first, m_band->second);
        painter.fillRect(QRect(QPoint(a, m_plot.top()), QPoint(b, m_plot.bottom())), QColor(40, 100, 220, 50));
    }
    if (m_cursor) {
        const int px = ValueToPixel(*m_cursor);
        painter.setPen(QPen(CColourContrast::Mix(m_background, m_text, 0.75), 1, Qt::DashLine));
        painter.drawLine(px, m_plot.top(), px, m_plot.bottom());
        for (const auto& serie : m_series) {
            double value = 0;
            if (!serie->Visible() || !serie->ValueAt(*m_cursor, value))
                continue;
            painter.setPen(DrawnColour(*serie));
            painter.setBrush(m_background);
            painter.drawEllipse(QPointF(px, serie->ValueToPixelF(value)), 3, 3);
        }
    }
    painter.restore();
}

void CChartView::PaintSeries(QPainter& painter) const
{
    // On a high-density screen the lines are decimated and placed per
    // physical pixel, not per logical one: the painter is set to physical
    // pixels, the time axis stretched to them and the values scaled.
    const double ratio = painter.device() != nullptr ? std::max(1.0, painter.device()->devicePixelRatioF()) : 1.0;
    CXAxe physical;
    physical.SetRange(Minimum(), Maximum());
    physical.SetPixelSpan(static_cast<int>(std::lround(FirstPixel() * ratio)),
                          static_cast<int>(std::lround((LastPixel() + 1) * ratio)) - 1);
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    std::vector<QPointF> points;
    std::vector<QPoint> pixels;
    for (const auto& serie : m_series) {
        if (!serie->Visible())
            continue;
        serie->Decimate(physical, points);
        // Whole pixels take the raster engine's fast path for thin lines.
        pixels.resize(points.size());
        std::transform(points.begin(), points.end(), pixels.begin(), [ratio](const QPointF& p) {
            return QPoint(static_cast<int>(std::lround(p.x())), static_cast<int>(std::lround(p.y() * ratio)));
        });
        painter.setPen(QPen(DrawnColour(*serie), 0));
        if (pixels.size() == 1)
            painter.drawPoint(pixels.front());
        else if (!pixels.empty())
            painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
    }
    painter.restore();
}

QImage CChartView::Render(const QSize& size, const QFont& font, double devicePixelRatio)
{
    Layout(size, font);
    const double ratio = std::max(1.0, devicePixelRatio);
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
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
