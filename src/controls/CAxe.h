#pragma once

// A linear axis: a value range mapped onto a pixel span. The span's start
// pixel shows the value at the range's "from" end; the horizontal axis
// shows its minimum at the left, a vertical axis its maximum at the top.
class CAxe {
public:
    virtual ~CAxe() = default;

    // Value to pixel: linear, rounded down.
    virtual int ValueToPixel(double value) const;
    // Pixel to value: the inverse mapping.
    virtual double PixelToValue(int pixel) const;
    // The unrounded pixel position, for drawing.
    double ValueToPixelF(double value) const;

    void SetRange(double minimum, double maximum);
    double Minimum() const { return m_min; }
    double Maximum() const { return m_max; }
    // The pixel span the range maps to: first and last pixel.
    void SetPixelSpan(int first, int last);
    int FirstPixel() const { return m_first; }
    int LastPixel() const { return m_last; }
    int PixelLength() const { return m_last > m_first ? m_last - m_first : m_first - m_last; }

protected:
    explicit CAxe(bool upward) : m_upward(upward) {}

private:
    // Value at the span's first pixel and at its last one.
    double FromValue() const { return m_upward ? m_max : m_min; }
    double ToValue() const { return m_upward ? m_min : m_max; }

    bool m_upward;
    double m_min = 0;
    double m_max = 1;
    int m_first = 0;
    int m_last = 1;
};
