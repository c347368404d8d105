#pragma once

#include <QtGlobal>

#include <vector>

// One ramp of a servo program: from tick start to tick end the servo value
// moves from startValue to endValue. Values are 1..255; ticks are 20 ms.
struct CTrackSegment {
    quint32 start = 0;
    quint32 end = 0;
    quint16 startValue = 1;
    quint16 endValue = 1;

    bool operator==(const CTrackSegment& other) const
    {
        return start == other.start && end == other.end && startValue == other.startValue &&
               endValue == other.endValue;
    }
    bool operator!=(const CTrackSegment& other) const { return !(*this == other); }
};

using CTrack = std::vector<CTrackSegment>;
