#pragma once

#include <QString>

// Why a serial port could not be opened, in plain words: the reason and what
// the user can do about it. How to name another port is left to the caller
// (the window points at its port setup, the command line at its option).
class CPortOpenFailure {
public:
    // error is the errno the open failed with, errorText its description.
    static QString Text(const QString& devicePath, int error, const QString& errorText);
};
