#pragma once

#include "base/CTorvSettings.h"
#include "app/IMainWindow.h"

#include "library/CDeviceLibrary.h"

#include <memory>

// Creates the main window for the start-up sequence; tests supply their own.
class IMainWindowFactory {
public:
    virtual ~IMainWindowFactory() = default;

    // The window gets the settings and owns the parsed device library for the
    // rest of the run. Returns null when the window cannot be created.
    virtual std::unique_ptr<IMainWindow> Create(const CTorvSettings& settings,
                                                std::unique_ptr<CDeviceLibrary> library) = 0;
};
