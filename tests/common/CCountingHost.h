#pragma once

#include "link/IProtocolHost.h"

// A window stand-in for the device protocol: it has no timers and only
// counts what the protocol asks of it.
class CCountingHost : public IProtocolHost {
public:
    void StopRefreshTimer() override { ++stops; }
    void RestartRefreshTimer() override { ++restarts; }
    void ReconnectWithRestart() override { ++reconnects; }
    int stops = 0;
    int restarts = 0;
    int reconnects = 0;
};
