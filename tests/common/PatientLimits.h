#pragma once

#include "link/CDeviceProtocol.h"

// Time limits for tests whose exchanges are meant to succeed: on a busy
// machine the simulated ESC may not even echo within the product's 200 ms.
// Tests that expect an exchange to fail keep the product's limits or give
// short ones, so that they do not wait long.
// The wait for a silent line after a time-out keeps the product's length:
// it costs every failed exchange, and answers later than a patient limit are
// not what these tests are about.
inline CDeviceProtocol::Limits PatientLimits(int ms = 1000)
{
    CDeviceProtocol::Limits limits;
    limits.shortAnswerMs = limits.leaveMs = limits.speedChangeMs = limits.rangeReadMs = ms;
    return limits;
}
