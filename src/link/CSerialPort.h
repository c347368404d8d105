#pragma once

#include <QString>

#include "link/CLowLatency.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

class CBytesCollector;

// The one serial port to the device, over termios on the device file, with a
// reader thread that hands every received chunk to the current collector.
// The link echoes: every byte written comes back ahead of the device's answer;
// the port does nothing about that, the collectors expect it.
class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens the port (closing it first when open) as a raw 8N1 line without
    // echo, flow control or output processing at the speed |baud|; a
    // negative baud only marks the speed as the user's default choice, zero
    // is refused. On failure the
    // errno is kept as last error and false is returned; no message is shown.
    bool Open(const QString& portName, int baud);

    // False if the port was not open or the system refused to close it.
    bool Close();

    bool IsOpen() const;

    // Sends the bytes and returns when they are handed to the driver, when
    // the port is closed meanwhile, or on an error. Does nothing when closed.
    void Write(const uint8_t* bytes, size_t count);

    // Builds and writes the 5-byte command frame 'M', command, a1, a2, sum.
    void SendFrame(uint8_t command, uint8_t a1, uint8_t a2);
    // The command frame 'M', command, a1, a2, (sum of the four) mod 256.
    static std::array<uint8_t, 5> CommandFrame(uint8_t command, uint8_t a1, uint8_t a2);

    // Makes the collector current (resetting it first) and returns it. When
    // this returns, no delivery to the previous collector is in progress.
    CBytesCollector* SetCollector(CBytesCollector* collector);
    // Makes the default collector current again (same guarantee).
    void ResetCollector();

    // When the newest bytes arrived, whichever collector took them; the
    // clock's epoch when nothing has arrived yet.
    std::chrono::steady_clock::time_point LastArrival() const;

    int LinkSpeed() const { return m_linkSpeed; }
    QString PortName() const { return m_portName; }
    int LastError() const { return m_lastError; }
    QString LastErrorText() const;

    // The device file for a configured port name: "COM%d:" means
    // /dev/ttyS<%d - 1>; anything else is taken as a path.
    static QString DevicePath(const QString& portName);

private:
    void TraceLowLatency(const CLowLatency::Result& result, const QString& portName, const QString& devicePath);

    class Impl;
    std::unique_ptr<Impl> m_impl;
    QString m_portName;
    int m_linkSpeed = 0;
    int m_lastError = 0;
    QString m_latencyTrace;  // the last low latency line of the link trace
};
