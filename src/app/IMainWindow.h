#pragma once

#include "base/CTorvSettings.h"

// The program's single main window as the start-up sequence sees it. It holds
// the settings while it exists: the start-up fills them in before the window
// is created and reads them back after it has closed.
class IMainWindow {
public:
    virtual ~IMainWindow() = default;

    // Shows the window and runs the event loop until the window closes.
    // Returns the loop's result: the code of the command that closed the
    // window (2).
    virtual int Run() = 0;

    // The settings as they are now (the window changes the port, its size...).
    virtual CTorvSettings Settings() const = 0;
};
