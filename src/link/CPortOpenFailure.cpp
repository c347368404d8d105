#include "link/CPortOpenFailure.h"

#include "link/CPortEnumerator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <iterator>

#include <cerrno>

namespace {
const QString kModemManager = QStringLiteral("ModemManager");

QString tr(const char* text)
{
    return QCoreApplication::translate("CPortOpenFailure", text);
}

// "minicom (process 4711), screen (process 4712)"
QString Names(const std::vector<CPortHolders::Holder>& holders)
{
    QStringList names;
    for (const CPortHolders::Holder& holder : holders)
        names << tr("%1 (process %2)").arg(holder.name.isEmpty() ? tr("a program") : holder.name).arg(holder.pid);
    return names.join(QStringLiteral(", "));
}

// How to keep ModemManager off one device for good, or stop it for now.
QString ModemManagerAdvice(const QString& devicePath, const QString& usbId)
{
    QString match;
    if (usbId.size() == 9) {
        match = QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\"").arg(usbId.left(4), usbId.mid(5));
    } else {
        const QString resolved = QFileInfo(devicePath).canonicalFilePath();
        match = QStringLiteral("KERNEL==\"%1\"").arg(QFileInfo(resolved.isEmpty() ? devicePath : resolved).fileName());
    }
    return tr("Keep ModemManager off this device with the udev rule %1, ENV{ID_MM_DEVICE_IGNORE}=\"1\" in "
              "/etc/udev/rules.d/99-torv.rules (then sudo udevadm control --reload and replug the adapter), "
              "or stop it with sudo systemctl stop ModemManager.")
        .arg(match);
}
}

QString CPortOpenFailure::BusyText(const QString& devicePath, const std::vector<CPortHolders::Holder>& holders,
                                   const std::vector<CPortHolders::Holder>& modemManagers, const QString& usbId)
{
    std::vector<CPortHolders::Holder> modemManagerHolders;
    std::copy_if(holders.begin(), holders.end(), std::back_inserter(modemManagerHolders),
                 [](const CPortHolders::Holder& holder) { return holder.name == kModemManager; });
    if (!modemManagerHolders.empty()) {
        return tr("Cannot open %1: %2 holds the port; it probes new serial devices for modems. %3")
            .arg(devicePath, Names(modemManagerHolders), ModemManagerAdvice(devicePath, usbId));
    }
    if (holders.size() == 1)
        return tr("Cannot open %1: %2 holds the port. Close it first.").arg(devicePath, Names(holders));
    if (!holders.empty())
        return tr("Cannot open %1: %2 have the port open; one of them holds it. Close it first.")
            .arg(devicePath, Names(holders));
    if (!modemManagers.empty()) {
        // Its open files are hidden from other users; that it runs is known.
        return tr("Cannot open %1: another program holds the port, perhaps %2, which probes new serial devices "
                  "for modems. %3")
            .arg(devicePath, Names(modemManagers), ModemManagerAdvice(devicePath, usbId));
    }
    return tr("Cannot open %1: another program holds the port. Close it first.").arg(devicePath);
}

QString CPortOpenFailure::Text(const QString& devicePath, int error, const QString& errorText)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return tr("Cannot open %1: permission denied. Add your user to the dialout group "
                  "(sudo usermod -aG dialout $USER) and log in again.")
            .arg(devicePath);
    case EBUSY: {
        const CPortHolders holders;
        const std::vector<CPortEnumerator::Port> ports = CPortEnumerator().Ports();
        const CPortEnumerator::Port* port = CPortEnumerator::Find(ports, devicePath);
        return BusyText(devicePath, holders.Of(devicePath), holders.Running(kModemManager),
                        port != nullptr ? CPortEnumerator::UsbId(*port) : QString());
    }
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return tr("Cannot open %1: no such device. Plug in the link or check the port name.").arg(devicePath);
    default:
        return tr("Cannot open %1: %2.").arg(devicePath, errorText);
    }
}
