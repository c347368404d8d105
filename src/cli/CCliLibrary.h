#pragma once

#include <QString>

#include "library/CLibraryUpdate.h"

class CCliArguments;
class CDeviceLibrary;

// The library command of torv-cli: library update checks the maker's server
// for a newer device library and installs it over the library file, as the
// window's update command does, without asking; with --check it only says
// whether there is a newer one.
class CCliLibrary {
public:
    CCliLibrary(const CCliArguments& arguments, CDeviceLibrary& library, QString libraryPath);

    int Update();

private:
    // library update --check: says whether the server has a newer library;
    // Differs when it has, Ok when not.
    int ReportCheck(const CLibraryUpdate::Result& result, const QString& url) const;

    const CCliArguments& m_args;
    CDeviceLibrary& m_library;
    QString m_libraryPath;
};
