#pragma once

#include <QString>
#include <pugixml.hpp>

#include <cstdint>
#include <memory>

#include "library/CChanMap.h"
#include "library/CFormulaTable.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "link/CDeviceProtocol.h"

class CDeviceLibrary;
class CParameterFile;
class CSerialPort;
class CSynchroBytesCollector;
class IPrompt;
class IProtocolHost;

// The connection to one ESC as both the window and the command-line program
// run it: the connection attempt (handshake at 19200 or 4800 baud and the
// identification in the device library), the parameter list with its cell
// image, the speed upgrade and leaving the link. It asks nothing itself: the
// caller decides what to do with an attempt's outcome.
class CDeviceSession {
public:
    // After this many attempts in a row without an answer, the next attempt
    // first sends "back to 19200 baud" at every other speed, so that an ESC
    // left at a raised speed by a program that died is found again.
    static constexpr uint32_t kRescueAfterFailures = 4;

    // Version cells both 0 or both 255 are an erased firmware.
    static bool VersionLooksErased(int major, int minor);

    struct Attempt {
        enum class Outcome {
            PortNotOpened,    // the port could not be opened at all
            NoAnswer,         // no answer, or an identity cell could not be read
            Unknown,          // answered, but the library has no entry for it
            Deprecated,       // the library marks its firmware as outdated
            FirmwareErased,   // version cells 0.0 or 255.255
            Ready,            // identified; the parameters can be loaded
        };
        Outcome outcome = Outcome::NoAnswer;
        CDeviceProtocol::Identity identity;
        pugi::xml_node element;
    };

    CDeviceSession(CSerialPort& port, CSynchroBytesCollector& shortCollector, CDeviceLibrary& library,
                   IPrompt& prompt, IProtocolHost& host);
    ~CDeviceSession();
    CDeviceSession(const CDeviceSession&) = delete;
    CDeviceSession& operator=(const CDeviceSession&) = delete;

    // One connection attempt on the named port.
    Attempt TryConnect(const QString& portName);

    // Takes the identified device: builds its parameter list and loads the
    // cells. False when some cell could not be loaded (the list stays).
    bool LoadParameters(const Attempt& attempt);
    // Takes a device whose firmware is to be replaced, without a list.
    void AcceptForFirmware(const Attempt& attempt);

    // Raises the link speed when the device allows it. False when the port
    // could not be reopened at the new speed: the link is gone then.
    bool UpgradeSpeed();

    // Sends the ESC back to 19200 baud and forgets the device. False when
    // the ESC did not confirm the return to 19200 baud.
    bool Forget();

    // The refresh walk over the parameters marked for refresh; false when
    // a cell could not be read.
    bool RefreshLiveParameters();

    // The library's time-outs: connect period, refresh period, memory load.
    void ReadLibraryTimeouts();
    uint32_t ConnectPeriod() const { return m_connectPeriod; }
    uint32_t RefreshPeriod() const { return m_refreshPeriod; }
    uint32_t MemoryLoadTimeout() const { return m_memoryLoadTimeout; }

    bool HasDevice() const { return !m_escElement.empty(); }
    pugi::xml_node EscElement() const { return m_escElement; }
    const CDeviceProtocol::Identity& Identity() const { return m_identity; }
    const DeviceFacts& Facts() const { return m_facts; }
    uint32_t AttemptCount() const { return m_attempt; }

    CDeviceLibrary& Library() { return m_library; }
    CDeviceProtocol& Protocol() { return m_protocol; }
    CChanMap& Image() { return m_image; }
    CPropertyList& List() { return m_list; }
    CParameterModel& Model() { return *m_model; }
    CParameterFile& File() { return *m_file; }
    CSerialPort& Port() { return m_port; }

    // The parameter file's reconnect, set by the owner (the window restarts
    // its connection attempts; the command-line program connects again).
    void SetReconnect(std::function<void()> reconnect) { m_reconnect = std::move(reconnect); }

private:
    void RescueStrandedDevice(const QString& portName);

    CSerialPort& m_port;
    CDeviceLibrary& m_library;
    CDeviceProtocol m_protocol;
    CChanMap m_image;
    CPropertyList m_list;
    CFormulaTable m_formulas;
    std::unique_ptr<CParameterModel> m_model;
    std::unique_ptr<CParameterFile> m_file;
    std::function<void()> m_reconnect;

    uint32_t m_attempt = 0;
    uint32_t m_failuresInARow = 0;
    uint32_t m_connectPeriod = 200;
    uint32_t m_refreshPeriod = 0;
    uint32_t m_memoryLoadTimeout = 200;

    pugi::xml_node m_escElement;
    CDeviceProtocol::Identity m_identity;
    DeviceFacts m_facts;
};
