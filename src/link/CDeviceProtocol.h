#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>

#include "link/Event.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"

class CSerialPort;
class CSynchroBytesCollector;
class IProtocolHost;

// The byte-level conversation with the ESC as the main window runs it: single
// commands with their retries, cell and range reads for the cell image, cell
// writes, the connection handshake, the presence check, link speed changes
// and leaving the link. Every exchange runs on the user-interface thread and
// blocks it for at most its time limit.
class CDeviceProtocol : public ICellLoader, public ICellWriter {
public:
    static constexpr int kDefaultLinkSpeed = 19200;

    // The time limits of the exchanges, in ms. The defaults are the ones the
    // product runs with; tests on a busy machine may give longer ones.
    struct Limits {
        int shortAnswerMs = 200;   // one single-command exchange
        int leaveMs = 100;         // the speed reset when leaving the link
        int speedChangeMs = 400;   // the 'S','P' of a speed upgrade
        int rangeReadMs = 200;     // one attempt of a range read
        int quietMs = 200;         // the silence awaited after a time-out

        // The product's limits, each stretched by CLimitFactor.
        static Limits FromEnvironment();
    };

    // The speed table: baud and one-bit code, index 0 to 7.
    struct SpeedEntry {
        int baud;
        bool enabled;
        uint8_t code;
    };
    static const std::array<SpeedEntry, 8>& SpeedTable();

    // Identity cells read by a successful handshake.
    struct Identity {
        uint8_t type = 0;       // cell 64
        uint8_t major = 0;      // cell 65
        uint8_t minor = 0;      // cell 66
        uint8_t hardware = 0;   // cell 70
    };

    enum class HandshakeResult {
        PortNotOpened,   // the port could not be opened at all
        NoAnswer,        // the probe failed or did not answer 'O'
        CellReadFailed,  // one of the identity cells could not be read
        Answered,        // identity cells read
    };

    CDeviceProtocol(CSerialPort& port, CSynchroBytesCollector& shortCollector, IProtocolHost& host);

    // Capabilities of the identified ESC ('S' and 'R' of its caps).
    void SetCapabilities(bool speedChangeAllowed, bool rangeReadsAllowed);
    bool SpeedChangeAllowed() const { return m_speedChangeAllowed; }
    bool RangeReadsAllowed() const { return m_rangeReadsAllowed; }

    void SetLimits(const Limits& limits) { m_limits = limits; }
    const Limits& GetLimits() const { return m_limits; }

    // Upper bound for the speed upgrade; negative means never upgrade. The
    // upgrade raises it to the speed it chose.
    int StoredLinkSpeed() const { return m_storedLinkSpeed; }
    void SetStoredLinkSpeed(int baud) { m_storedLinkSpeed = baud; }
    // The speed the port setup keeps. Leaving the link brings the stored
    // speed back to it, so that the next connection upgrades again.
    int SetupLinkSpeed() const { return m_setupLinkSpeed; }
    void SetSetupLinkSpeed(int baud) { m_setupLinkSpeed = m_storedLinkSpeed = baud; }
    // Highest speed the upgrade may choose; 0 means no limit.
    void SetMaxLinkSpeed(int baud) { m_maxLinkSpeed = baud; }

    // One command through the short-answer collector; 'r' is tried up to 3
    // times, everything else once. Restarts the refresh timer afterwards
    // when asked.
    bool SendCommand(uint8_t command, uint8_t a1, uint8_t a2, uint8_t& value, int limitMs, bool restartRefresh);

    bool LoadCell(int cell, uint8_t& value) override;
    // On failure out is left as it was: nothing that did not come from the
    // device is ever handed out as device data.
    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override;
    bool WriteCell(uint8_t cell, uint8_t value) override;

    // Explicit speed (requestedBaud != 0) or the upgrade to the fastest speed
    // that the ESC supports above the stored link speed (requestedBaud == 0).
    bool ChangeLinkSpeed(int requestedBaud);

    // One connection attempt's link side: opens the port at 4800 baud on odd
    // attempts and at 19200 on even ones, probes and reads cells 64, 65, 66
    // and 70. Increments the attempt counter when the port opened.
    HandshakeResult Handshake(const QString& portName, uint32_t& attempt, Identity& identity);

    // The presence probe of the refresh tick ('s','e','t' answered with 'O').
    bool IsPresent();
    // The probe without restarting the refresh timer.
    bool Probe() override;

    // Returns the ESC to 19200 baud and the stored link speed to the port
    // setup's. True when the ESC answered; false when it did not confirm
    // (it may still run at a raised speed) or the port is closed.
    bool LeaveLink();

    // The pause between writes (a wait on an event that is never set).
    void Pause(int ms) const override;

private:
    bool ProbeOnce(bool restartRefresh);
    // The frames carry no request number, so an answer that comes after its
    // exchange timed out would complete the next exchange in its place (its
    // echo is the cable's and comes at once). The ESC answers its frames in
    // order, so after an exchange that timed out at least once, the next
    // exchange first lets the line fall silent, dropping what arrives: for
    // quietMs, and as long again as the ESC was seen to be late (from the
    // oldest unanswered frame to the answer), since the answers it still
    // owes follow each other at that pace. A retry of the same frame needs
    // no wait (a late answer to it is the same answer), nor does a line
    // reopened at another speed, where it would be noise.
    using Clock = std::chrono::steady_clock;
    struct OwedAnswers {
        bool mayCome = false;
        Clock::time_point oldestSent;   // the oldest frame whose answer may come
        Clock::time_point since;        // the silence counts from here at least
        Clock::duration lateness{};     // zero: no late answer seen yet
        int baud = 0;
    };
    // Books an exchange of tried frames that began at firstSent.
    void NoteExchange(Clock::time_point firstSent, int tried, bool answered);
    void AwaitQuietLine();

    CSerialPort& m_port;
    CSynchroBytesCollector& m_short;
    IProtocolHost& m_host;
    bool m_speedChangeAllowed = false;
    bool m_rangeReadsAllowed = false;
    int m_storedLinkSpeed = kDefaultLinkSpeed;
    int m_setupLinkSpeed = kDefaultLinkSpeed;
    int m_maxLinkSpeed = 0;
    Limits m_limits;
    Event m_pause;
    OwedAnswers m_owed;
};
