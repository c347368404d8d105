#include "controls/CMChartSerie.h"

#include <algorithm>
#include <cmath>

namespace {
// Spin buttons move a limit by a round hundredth of the range.
double SpinStepFor(double span)
{
    if (!(span > 0) || !std::isfinite(span))
        return 0.1;
    return std::pow(10.0, std::floor(std::log10(span)) - 2);
}
}

CMChartSerie::CMChartSerie(QString name, double xStart, double xStep, std::vector<double> values)
    : m_name(std::move(name)), m_xStart(xStart), m_xStep(xStep > 0 ? xStep : 1), m_values(std::move(values))
{
    const auto [lo, hi] = m_values.MinMax(0, m_values.Size());
    if (m_values.Size() > 0) {
        m_dataMin = lo;
        m_dataMax = hi;
    }
    RecalcRange();
}

void CMChartSerie::SetCustomRange(double minimum, double maximum)
{
    m_customMin = minimum;
    m_customMax = maximum;
}

void CMChartSerie::RecalcRange()
{
    double lo = m_dataMin;
    double hi = m_dataMax - m_dataMin > 1e-5 ? m_dataMax : m_dataMin + 1;
    if (m_mode == ScaleMode::AlignedToZero) {
        lo = m_dataMin < 0 ? m_dataMin : 0;
    } else if (m_mode == ScaleMode::Custom) {
        lo = m_customMin;
        hi = m_customMax;
    }
    SetRange(lo, hi);
    m_spinStep = SpinStepFor(hi - lo);
}

bool CMChartSerie::ValueAt(double x, double& value) const
{
    if (m_values.Size() == 0 || x < m_xStart || x >= XEnd())
        return false;
    const auto i = std::min(m_values.Size() - 1, static_cast<std::size_t>((x - m_xStart) / m_xStep));
    value = m_values.Values()[i];
    return true;
}

void CMChartSerie::Decimate(const CAxe& xAxis, std::vector<QPointF>& points) const
{
    points.clear();
    const std::size_t n = m_values.Size();
    const int columns = xAxis.PixelLength();
    const double x0 = xAxis.Minimum();
    const double x1 = xAxis.Maximum();
    if (n == 0 || columns <= 0 || !(x1 > x0))
        return;
    const std::vector<double>& v = m_values.Values();
    auto indexAt = [&](double x) {
        // First sample index at or after time x, within 0..n.
        const double i = std::ceil((x - m_xStart) / m_xStep - 1e-9);
        return static_cast<std::size_t>(std::clamp(i, 0.0, static_cast<double>(n)));
    };
    const std::size_t first = indexAt(x0);
    const std::size_t last = indexAt(x1);  // exclusive, roughly
    const double perColumn = (x1 - x0) / columns / m_xStep;
    if (perColumn <= 2.0) {
        const std::size_t from = first > 0 ? first - 1 : 0;
        const std::size_t to = std::min(n, last + 1);
        points.reserve(to - from);
        for (std::size_t i = from; i < to; ++i) {
            const double x = m_xStart + static_cast<double>(i) * m_xStep;
            points.emplace_back(xAxis.ValueToPixelF(x), ValueToPixelF(v[i]));
        }
        return;
    }
    points.reserve(static_cast<std::size_t>(columns) * 2);
    const double columnSpan = (x1 - x0) / columns;
    std::size_t begin = first;
    for (int c = 0; c < columns && begin < n; ++c) {
        const std::size_t end = c + 1 == columns ? std::max(begin, std::min(n, last)) : indexAt(x0 + (c + 1) * columnSpan);
        if (end <= begin)
            continue;
        const auto [lo, hi] = m_values.MinMax(begin, end);
        const double px = xAxis.FirstPixel() + c + 0.5;
        const double low = ValueToPixelF(lo);
        const double high = ValueToPixelF(hi);
        if (lo == hi) {
            points.emplace_back(px, low);
        } else {
            // The column is drawn as one vertical stroke; entering it at
            // the end nearer the previous point keeps the joining line
            // short, so dense noise does not paint every column twice.
            const double previous = points.empty() ? ValueToPixelF(v[begin]) : points.back().y();
            const bool lowFirst = std::abs(previous - low) <= std::abs(previous - high);
            points.emplace_back(px, lowFirst ? low : high);
            points.emplace_back(px, lowFirst ? high : low);
        }
        begin = end;
    }
}
