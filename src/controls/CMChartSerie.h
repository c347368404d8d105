#pragma once

#include "controls/CMinMaxPyramid.h"
#include "controls/CYAxe.h"

#include <QPointF>
#include <QRect>
#include <QString>

#include <vector>

class CAxe;

// One series of the chart with its own vertical axis: values at x start,
// x start + x step, ... The colour is kept as blue * 65536 + green * 256 +
// red, black when created.
class CMChartSerie : public CYAxe {
public:
    enum class ScaleMode { Auto = 0, AlignedToZero = 1, Custom = 2 };

    CMChartSerie(QString name, double xStart, double xStep, std::vector<double> values);

    const QString& Name() const { return m_name; }
    double XStart() const { return m_xStart; }
    double XStep() const { return m_xStep; }
    double XEnd() const { return m_xStart + static_cast<double>(m_values.Size()) * m_xStep; }
    const CMinMaxPyramid& Data() const { return m_values; }
    std::size_t Size() const { return m_values.Size(); }
    double DataMinimum() const { return m_dataMin; }
    double DataMaximum() const { return m_dataMax; }
    // The value shown at time x: the sample at or before it; none outside.
    bool ValueAt(double x, double& value) const;

    int Colour() const { return m_colour; }
    void SetColour(int colour) { m_colour = colour; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    ScaleMode Mode() const { return m_mode; }
    void SetMode(ScaleMode mode) { m_mode = mode; }
    double CustomMinimum() const { return m_customMin; }
    double CustomMaximum() const { return m_customMax; }
    void SetCustomRange(double minimum, double maximum);
    double SpinStep() const { return m_spinStep; }
    const QRect& LegendRect() const { return m_legend; }
    void SetLegendRect(const QRect& rect) { m_legend = rect; }

    // Sets the axis range from the scale mode: Auto the data's extremes,
    // Aligned to zero takes 0 in, Custom the custom range; a flat series
    // spans one unit upward.
    void RecalcRange();

    // The polyline of the part of the series inside the x axis's range, at
    // most two points per pixel column: each column's minimum and maximum,
    // so that every local extreme is drawn. Where
    // a column holds two samples or fewer, every sample is drawn, plus the
    // ones just outside so the line runs to the edges.
    void Decimate(const CAxe& xAxis, std::vector<QPointF>& points) const;

    // The colour integer of red, green and blue, and its parts.
    static int MakeColour(int red, int green, int blue) { return blue * 65536 + green * 256 + red; }
    static int Red(int colour) { return colour & 0xFF; }
    static int Green(int colour) { return (colour >> 8) & 0xFF; }
    static int Blue(int colour) { return (colour >> 16) & 0xFF; }

private:
    QString m_name;
    double m_xStart;
    double m_xStep;
    CMinMaxPyramid m_values;
    double m_dataMin = 0;
    double m_dataMax = 0;
    int m_colour = 0;
    bool m_visible = true;
    ScaleMode m_mode = ScaleMode::Auto;
    double m_customMin = 0;
    double m_customMax = 10;
    double m_spinStep = 0.1;
    QRect m_legend;
};
