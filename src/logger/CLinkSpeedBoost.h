#pragma once

class CDeviceSession;

// Raises the link to the fastest speed both sides support for the length
// of a transfer and returns to the previous speed afterwards.
class CLinkSpeedBoost {
public:
    explicit CLinkSpeedBoost(CDeviceSession& session);
    ~CLinkSpeedBoost();
    CLinkSpeedBoost(const CLinkSpeedBoost&) = delete;
    CLinkSpeedBoost& operator=(const CLinkSpeedBoost&) = delete;

    bool Switched() const { return m_switched; }

    // For a transfer whose ESC stopped answering on a raised link (raised
    // here or when connecting): when the ESC answers neither there nor at its
    // start speed nothing changes; when it answers only at its start speed
    // (it was switched off and on), the link is raised again to the speed it
    // ran at. True when the ESC answers at the end.
    bool Recover();

private:
    CDeviceSession& m_session;
    int m_previousBaud = 0;
    int m_previousStored = 0;
    bool m_switched = false;
};
