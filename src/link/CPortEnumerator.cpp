#include "link/CPortEnumerator.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

namespace {
QString Canonical(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QString Hex4(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}
}

QString CPortEnumerator::Port::Details() const
{
    QStringList parts;
    for (const QString& text : {description, manufacturer})
        if (!text.isEmpty() && !parts.contains(text))
            parts << text;
    if (!serialNumber.isEmpty())
        parts << QStringLiteral("serial %1").arg(serialNumber);
    const QString usb = UsbId(*this);
    if (!usb.isEmpty())
        parts << QStringLiteral("USB %1").arg(usb);
    return parts.join(QStringLiteral(", "));
}

bool CPortEnumerator::Port::operator==(const Port& other) const
{
    return path == other.path && byId == other.byId && description == other.description &&
           manufacturer == other.manufacturer && serialNumber == other.serialNumber && vid == other.vid &&
           pid == other.pid;
}

QString CPortEnumerator::SystemByIdFolder()
{
    const QString folder = qEnvironmentVariable("TORV_SERIAL_BY_ID");
    return folder.isEmpty() ? QStringLiteral("/dev/serial/by-id") : folder;
}

CPortEnumerator::CPortEnumerator(const QString& byIdFolder)
    : m_byIdFolder(byIdFolder)
{
}

std::vector<CPortEnumerator::Port> CPortEnumerator::Ports() const
{
    std::vector<Port> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos) {
        Port port;
        port.path = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier())
            port.vid = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.pid = info.productIdentifier();
        ports.push_back(port);
    }

    // Each stable link goes to the port it resolves to; a link to a device
    // that the enumeration missed still names a serial device of its own.
    // The folder lists in name order, so a device with several links keeps
    // the first.
    const QFileInfoList links =
        QDir(m_byIdFolder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& link : links) {
        if (!link.isSymLink())
            continue;
        const QString target = link.canonicalFilePath();
        if (target.isEmpty())
            continue;  // dangling: the adapter is gone
        const auto same = std::find_if(ports.begin(), ports.end(),
                                       [&](const Port& port) { return Canonical(port.path) == target; });
        if (same == ports.end()) {
            Port port;
            port.path = target;
            port.byId = link.absoluteFilePath();
            ports.push_back(port);
        } else if (same->byId.isEmpty()) {
            same->byId = link.absoluteFilePath();
        }
    }
    return ports;
}

const CPortEnumerator::Port* CPortEnumerator::Find(const std::vector<Port>& ports, const QString& name)
{
    if (name.isEmpty())
        return nullptr;
    for (const Port& port : ports)
        if (port.path == name || port.byId == name)
            return &port;
    const QString target = Canonical(name);
    for (const Port& port : ports)
        if (Canonical(port.path) == target)
            return &port;
    return nullptr;
}

QString CPortEnumerator::UsbId(const Port& port)
{
    if (!port.vid || !port.pid)
        return QString();
    return Hex4(*port.vid) + QLatin1Char(':') + Hex4(*port.pid);
}
