#include "link/CPortOpenFailure.h"

#include <QCoreApplication>

#include <cerrno>

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CPortOpenFailure", text);
}
}

QString CPortOpenFailure::Text(const QString& devicePath, int error, const QString& errorText)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return tr("Cannot open %1: permission denied. Add your user to the dialout group "
                  "(sudo usermod -aG dialout $USER) and log in again.")
            .arg(devicePath);
    case EBUSY:
        return tr("Cannot open %1: another program holds the port. Close it first.").arg(devicePath);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return tr("Cannot open %1: no such device. Plug in the link or check the port name.").arg(devicePath);
    default:
        return tr("Cannot open %1: %2.").arg(devicePath, errorText);
    }
}
