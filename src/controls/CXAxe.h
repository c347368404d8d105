#pragma once

#include "controls/CAxe.h"

#include <QString>

#include <vector>

// The horizontal time axis (seconds), its minimum at the left. The tick
// unit and step follow from how many labels fit: the visible span divided
// by that number, in whole seconds, minutes, hours and days, picks a row
// of a fixed table of formats and steps.
class CXAxe : public CAxe {
public:
    enum class Unit { Second, Minute, Hour, Day, Month, Year };

    struct TickPlan {
        QString format;     // strftime-like: "%M:%S", "%M", "%H:00", "%d %b", "%b %Y", "%Y"
        Unit unit = Unit::Second;
        int step = 1;       // in units
        double stepSeconds = 1;
        double firstTick = 0;
    };

    // Least distance between two time labels, in pixels.
    static constexpr int kMinLabelDistance = 80;

    CXAxe() : CAxe(false) {}

    // The plan for a visible span of spanSeconds over lengthPixels.
    static TickPlan PlanTicks(double spanSeconds, int lengthPixels);
    // The plan for the axis's current range and span: the first tick is the
    // range's start rounded up to the step, so that it is visible.
    TickPlan Ticks() const;
    // Tick times from the first tick to the range's end.
    std::vector<double> TickTimes(const TickPlan& plan) const;
    // A time (seconds from the start) in the plan's format.
    static QString FormatTime(double seconds, const QString& format);
};
