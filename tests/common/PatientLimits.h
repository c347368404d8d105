#pragma once

#include "link/CDeviceProtocol.h"

// Time limits for tests whose exchanges are meant to succeed: on a busy
// machine the simulated ESC may not even echo within the product's 200 ms.
// Tests that expect an exchange to fail keep the product's limits or give
// short ones, so that they do not wait long.
inline CDeviceProtocol::Limits PatientLimits(int ms = 1000)
{
    return CDeviceProtocol::Limits{ms, ms, ms, ms};
}
