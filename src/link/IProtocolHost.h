#pragma once

// What the device protocol needs of the window that owns it: control over the
// refresh timer (so that no timer-driven exchange starts inside another
// exchange's wait) and the reconnect when the link is lost during a speed
// change.
class IProtocolHost {
public:
    virtual ~IProtocolHost() = default;

    // Stops the refresh timer if it runs, dropping expiries already queued.
    virtual void StopRefreshTimer() = 0;
    // Starts the refresh timer again unless in firmware mode or the refresh
    // period is 0.
    virtual void RestartRefreshTimer() = 0;
    // Drops the link and starts the connection attempts over.
    virtual void ReconnectWithRestart() = 0;
};
