#include "controls/CXAxe.h"

#include <QDateTime>
#include <QLocale>


#include <algorithm>
#include <cmath>

namespace {
constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;
constexpr double kMonth = 30 * kDay;
constexpr double kYear = 365 * kDay;

CXAxe::TickPlan Plan(const char* format, CXAxe::Unit unit, int step)
{
    CXAxe::TickPlan plan;
    plan.format = QString::fromLatin1(format);
    plan.unit = unit;
    plan.step = step;
    double unitSeconds = 1;
    switch (unit) {
    case CXAxe::Unit::Second: unitSeconds = 1; break;
    case CXAxe::Unit::Minute: unitSeconds = kMinute; break;
    case CXAxe::Unit::Hour: unitSeconds = kHour; break;
    case CXAxe::Unit::Day: unitSeconds = kDay; break;
    case CXAxe::Unit::Month: unitSeconds = kMonth; break;
    case CXAxe::Unit::Year: unitSeconds = kYear; break;
    }
    plan.stepSeconds = unitSeconds * step;
    return plan;
}
}

CXAxe::TickPlan CXAxe::PlanTicks(double spanSeconds, int lengthPixels)
{
    const int labels = std::max(1, lengthPixels / kMinLabelDistance);
    const double perLabel = std::max(0.0, spanSeconds) / labels;
    const double s = std::floor(perLabel);
    const double m = std::floor(perLabel / kMinute);
    const double h = std::floor(perLabel / kHour);
    const double d = std::floor(perLabel / kDay);
    using U = Unit;
    if (s <= 2) return Plan("%M:%S", U::Second, 1);
    if (s <= 5) return Plan("%M:%S", U::Second, 5);
    if (s <= 10) return Plan("%M:%S", U::Second, 10);
    if (s <= 30) return Plan("%M:%S", U::Second, 30);
    if (s < 60) return Plan("%M", U::Minute, 1);
    if (m <= 2) return Plan("%M", U::Minute, 2);
    if (m <= 5) return Plan("%M", U::Minute, 5);
    if (m <= 10) return Plan("%M", U::Minute, 10);
    if (m <= 30) return Plan("%M", U::Minute, 30);
    if (m < 60) return Plan("%H:00", U::Hour, 1);
    if (h <= 2) return Plan("%H:00", U::Hour, 2);
    if (h <= 6) return Plan("%H:00", U::Hour, 6);
    if (h <= 12) return Plan("%H:00", U::Hour, 12);
    if (h < 24) return Plan("%d %b", U::Day, 1);
    if (d <= 2) return Plan("%d %b", U::Day, 2);
    if (d <= 7) return Plan("%d %b", U::Day, 7);
    if (d < 31) return Plan("%b %Y", U::Month, 1);
    if (d <= 62) return Plan("%b %Y", U::Month, 2);
    if (d <= 124) return Plan("%b %Y", U::Month, 4);
    if (d <= 186) return Plan("%b %Y", U::Month, 6);
    if (d < 365) return Plan("%Y", U::Year, 1);
    return Plan("%Y", U::Year, static_cast<int>(d / 365) + 1);
}

CXAxe::TickPlan CXAxe::Ticks() const
{
    TickPlan plan = PlanTicks(Maximum() - Minimum(), PixelLength());
    plan.firstTick = std::ceil(Minimum() / plan.stepSeconds - 1e-9) * plan.stepSeconds;
    return plan;
}

std::vector<double> CXAxe::TickTimes(const TickPlan& plan) const
{
    std::vector<double> times;
    if (!(plan.stepSeconds > 0))
        return times;
    for (double t = plan.firstTick; t <= Maximum() + 1e-9 && times.size() < 1000; t += plan.stepSeconds)
        times.push_back(t);
    return times;
}

QString CXAxe::FormatTime(double seconds, const QString& format)
{
    // Times count from the log's start: shown as a date-time from the
    // epoch, so "%M:%S" of 75 s reads "01:15".
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000)),
                                                        Qt::UTC);
    QString text;
    for (int i = 0; i < format.size(); ++i) {
        if (format[i] != QLatin1Char('%') || i + 1 == format.size()) {
            text += format[i];
            continue;
        }
        const QChar c = format[++i];
        if (c == QLatin1Char('M'))
            text += at.toString(QStringLiteral("mm"));
        else if (c == QLatin1Char('S'))
            text += at.toString(QStringLiteral("ss"));
        else if (c == QLatin1Char('H'))
            text += at.toString(QStringLiteral("HH"));
        else if (c == QLatin1Char('d'))
            text += at.toString(QStringLiteral("dd"));
        else if (c == QLatin1Char('b'))
            text += QLocale::c().monthName(at.date().month(), QLocale::ShortFormat);
        else if (c == QLatin1Char('Y'))
            text += QString::number(at.date().year());
        else
            text += c;
    }
    return text;
}
