#pragma once

#include "library/CPropertySpinEditItem.h"

// A range parameter: the row shows a double between min and max on a grid
// of step, while the device holds a raw count.
//   raw -> shown: floor(raw / scale + offset + 0.5) * step;
//   shown -> raw: floor((shown / step - offset) * scale + 0.5).
// GetValue gives the raw count, SetValue takes one. A raw count whose shown
// value lies beyond min..max is shown as it is, marked "(not in the
// library)", never as the limit. Typed text and spin clicks edit the shown
// value and stay within the limits.
class CPropertySpinEditRangeItem : public CPropertySpinEditItem {
public:
    CPropertySpinEditRangeItem(const QString& name, double min, double max, double step);

    void SetScale(double scale) { m_scale = scale; }
    void SetOffset(double offset) { m_offset = offset; }
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    double Step() const { return m_step; }
    double Scale() const { return m_scale; }
    double Offset() const { return m_offset; }
    double Shown() const { return Value().toDouble(); }
    // The device's value lies beyond min..max.
    bool OutsideLibrary() const { return m_outside; }

    // The shown value with at most the decimals of the step and the locale's
    // decimal point (step 0.1: "7.8"; step 1: "12"), marked when it lies
    // beyond the library's limits.
    bool GetDisplayText(QString& text) const override;
    bool GetValue(QVariant& value) const override;
    bool SetValue(const QVariant& value) override;
    // Typed text: taken as typed when it is a number within min - step/2 ..
    // max + step/2, refused otherwise.
    bool SetValueFromEditor(const QVariant& editorValue) override;
    // Moves by clicks steps; refused more than half a step outside min..max,
    // else rounded to the step grid.
    bool Spin(int clicks) override;

private:
    bool WithinHalfStep(double shown) const;
    void SetShown(double shown);

    double m_min;
    double m_max;
    double m_step;
    double m_scale = 1.0;
    double m_offset = 0.0;
    bool m_outside = false;
};
