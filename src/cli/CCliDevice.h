#pragma once

#include <QString>

#include "library/CDeviceSession.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/IProtocolHost.h"

class CDeviceLibrary;
class IPrompt;

// The command line's connection to one ESC, over the session the window uses:
// attempts every connect period (19200 and 4800 baud in turn, with the rescue
// of a stranded ESC) until one identifies the device or the attempts run out,
// then the parameter list, the speed upgrade, and leaving the link at the end.
// There is no refresh timer; a link lost during a speed change is recorded.
class CCliDevice : public IProtocolHost {
public:
    // Enough attempts to reach the rescue of an ESC left at a raised speed
    // and to try both handshake speeds after it.
    static constexpr int kConnectAttempts = 6;

    CCliDevice(CDeviceLibrary& library, IPrompt& prompt);
    ~CCliDevice() override;
    CCliDevice(const CCliDevice&) = delete;
    CCliDevice& operator=(const CCliDevice&) = delete;

    // Connects and loads the parameters; an exit status (CliExit), with
    // Error() saying what failed. With forIdentity an ESC whose firmware
    // wants an update is accepted without its parameters.
    int Connect(const QString& portName, int maxSpeed, bool forIdentity = false);
    // Leaves the link and connects again on the same port.
    int Reconnect(bool forIdentity = false);
    // Keeps the connected ESC's cells as a parameter file in the backup
    // folder; false with error set when none could be written.
    bool KeepBackup(QString& error);
    // Opens the port at 19200 baud for an ESC that answers only its boot
    // loader: no handshake, nothing sent.
    int OpenBootloader(const QString& portName);
    // Sends the ESC back to 19200 baud and closes the port. False when the
    // port was open and the ESC did not confirm the return: it may still
    // run at the raised speed.
    bool Leave();
    // Closes the port without sending anything: an ESC left in its boot
    // loader (always at 19200 baud) must not take a command for a page.
    void Close();

    QString Error() const { return m_error; }
    // The outcome of the attempt that found the device.
    const CDeviceSession::Attempt& Found() const { return m_found; }
    CDeviceSession& Session() { return m_session; }
    CSerialPort& Port() { return m_port; }
    QString PortName() const { return m_portName; }

    // IProtocolHost: no refresh timer runs here.
    void StopRefreshTimer() override {}
    void RestartRefreshTimer() override {}
    void ReconnectWithRestart() override { m_linkLost = true; }

private:
    int Fail(int status, const QString& error);
    int TakeDevice(const CDeviceSession::Attempt& attempt, bool forIdentity);
    void ExpandCategories();
    bool WaitConnectPeriod() const;

    CSerialPort m_port;
    CSynchroBytesCollector m_short;
    CDeviceSession m_session;
    QString m_portName;
    QString m_error;
    CDeviceSession::Attempt m_found;
    int m_maxSpeed = 0;
    bool m_linkLost = false;
};
