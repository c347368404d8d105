#pragma once

#include <QString>

class CCliArguments;
class CDeviceLibrary;

// The library command of torv-cli: library update checks the maker's server
// for a newer device library and installs it over the library file, as the
// window's update command does, without asking.
class CCliLibrary {
public:
    CCliLibrary(const CCliArguments& arguments, CDeviceLibrary& library, QString libraryPath);

    int Update();

private:

    const CCliArguments& m_args;
    CDeviceLibrary& m_library;
    QString m_libraryPath;
};
