#pragma once

#include "CEscSimulator.h"

#include <string>

// Simulator options for one of its profiles ("full", "plain", ...),
// optionally with the ESC held in its boot loader.
inline CEscSimulator::Options SimOptions(const std::string& profile, bool bootloaderOnly = false)
{
    CEscSimulator::Options options;
    options.profile = profile;
    options.bootloaderOnly = bootloaderOnly;
    return options;
}
