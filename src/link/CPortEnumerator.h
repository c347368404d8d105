#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The serial ports of the machine as a person recognises them: the device
// file, its stable name under /dev/serial/by-id (which stays the same when
// adapters are plugged in another order) and what the USB adapter says of
// itself.
class CPortEnumerator {
public:
    struct Port {
        QString path;          // the device file, /dev/ttyUSB0
        QString byId;          // its stable link, empty when it has none
        QString description;
        QString manufacturer;
        QString serialNumber;
        std::optional<uint16_t> vid;
        std::optional<uint16_t> pid;

        // The name to keep in the settings: the stable link where there is one.
        QString Name() const { return byId.isEmpty() ? path : byId; }
        // "CP2102 USB to UART, Silicon Labs, serial 0001, USB 10c4:ea60"; empty when nothing is known.
        QString Details() const;
        bool operator==(const Port& other) const;
        bool operator!=(const Port& other) const { return !(*this == other); }
    };

    // The folder of stable links: TORV_SERIAL_BY_ID when set, else /dev/serial/by-id.
    static QString SystemByIdFolder();

    explicit CPortEnumerator(const QString& byIdFolder = SystemByIdFolder());

    // The ports the system enumerates, in its order, each with its stable
    // link; then the devices that only a stable link names.
    std::vector<Port> Ports() const;

    // The port among ports that name denotes: its device path, its stable
    // link, or any other link to the same device. Null when none does.
    static const Port* Find(const std::vector<Port>& ports, const QString& name);

    // "vvvv:pppp" in lower-case hex, empty when either is unknown.
    static QString UsbId(const Port& port);

private:
    QString m_byIdFolder;
};
