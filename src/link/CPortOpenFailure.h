#pragma once

#include <QString>

#include <vector>

#include "link/CPortHolders.h"

// Why a serial port could not be opened, in plain words: the reason and what
// the user can do about it. How to name another port is left to the caller
// (the window points at its port setup, the command line at its option).
class CPortOpenFailure {
public:
    // error is the errno the open failed with, errorText its description.
    // A port held by another program is named after that program where
    // /proc tells it.
    static QString Text(const QString& devicePath, int error, const QString& errorText);

    // The text for a port that another program holds: holders are the
    // processes known to hold it, modemManagers the ModemManager processes
    // that run, usbId the adapter's "vvvv:pppp" (empty when unknown).
    static QString BusyText(const QString& devicePath, const std::vector<CPortHolders::Holder>& holders,
                            const std::vector<CPortHolders::Holder>& modemManagers, const QString& usbId);
};
