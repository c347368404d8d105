#pragma once

// Ctrl+C (SIGINT) and SIGTERM: the handler only records the request; long
// operations look at it between exchanges and wind down in order (the ESC
// is sent back to 19200 baud before the program ends). A second signal ends
// the program at once.
class CInterrupt {
public:
    static void Install();
    static bool Requested();
};
