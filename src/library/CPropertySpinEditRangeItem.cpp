#include "library/CPropertySpinEditRangeItem.h"

#include "library/CDoubleFormat.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

CPropertySpinEditRangeItem::CPropertySpinEditRangeItem(const QString& name, double min, double max, double step)
    : CPropertySpinEditItem(name, QVariant(min))
    , m_min(min)
    , m_max(max)
    , m_step(step)
{
}

void CPropertySpinEditRangeItem::SetShown(double shown)
{
    m_outside = false;
    CPropertyItem::SetValue(QVariant(shown));
}

bool CPropertySpinEditRangeItem::GetDisplayText(QString& text) const
{
    const QString point = QLocale().decimalPoint();
    text = CDoubleFormat::ForStep(Shown(), m_step, point.size() == 1 ? point.at(0) : QLatin1Char('.'));
    if (m_outside)
        text = NotInLibrary(text);
    return true;
}

bool CPropertySpinEditRangeItem::GetValue(QVariant& value) const
{
    const double raw = std::floor((Shown() / m_step - m_offset) * m_scale + 0.5);
    // A count that no 32-bit integer holds (or no number at all) is not a
    // value that could be written.
    if (!std::isfinite(raw) || raw < std::numeric_limits<int32_t>::min()
        || raw > std::numeric_limits<int32_t>::max())
        return false;
    value = QVariant(static_cast<int>(raw));
    return true;
}

bool CPropertySpinEditRangeItem::SetValue(const QVariant& value)
{
    bool ok = false;
    const double raw = value.toDouble(&ok);
    if (!ok)
        return false;
    const double counts = raw / m_scale + m_offset;
    const double rounded = std::floor((counts * m_step) / m_step + 0.5) * m_step;
    if (std::isnan(rounded))
        return false;
    // Grid values carry rounding dust (0.1 * 3 is 0.30000000000000004): a
    // millionth of a step beyond a limit is still on it.
    const double dust = std::abs(m_step) * 1e-6;
    const bool outside = rounded < m_min - dust || rounded > m_max + dust;
    SetShown(outside ? rounded : std::max(m_min, std::min(rounded, m_max)));
    m_outside = outside;
    return true;
}

bool CPropertySpinEditRangeItem::WithinHalfStep(double shown) const
{
    const double half = std::abs(m_step) / 2;
    return shown >= m_min - half && shown <= m_max + half;
}

bool CPropertySpinEditRangeItem::SetValueFromEditor(const QVariant& editorValue)
{
    const std::optional<double> typed = ParseDouble(editorValue.toString());
    if (!typed || !WithinHalfStep(*typed))
        return false;
    SetShown(*typed);
    return true;
}

bool CPropertySpinEditRangeItem::Spin(int clicks)
{
    const double moved = Shown() + clicks * m_step;
    if (!WithinHalfStep(moved))
        return false;
    SetShown(std::floor(moved / m_step + 0.5) * m_step);
    return true;
}
