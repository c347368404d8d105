#pragma once

#include <QString>

#include <memory>

#include "firmware/CUpdateFile.h"

class CCliArguments;
class CCliDevice;
class CProgressBar;

// The firmware commands of torv-cli: the update files of a folder that fit
// the connected ESC, and the upload of one to the boot loader, checked and
// confirmed first, as the window's firmware dialog does it.
class CCliFirmware {
public:
    // folder: the FirmwareFolder setting, for a list without a folder named.
    CCliFirmware(const CCliArguments& arguments, CCliDevice& device, QString folder);
    ~CCliFirmware();
    CCliFirmware(const CCliFirmware&) = delete;
    CCliFirmware& operator=(const CCliFirmware&) = delete;

    // Connected already.
    int List();
    // Reads and checks the file, then connects (or, with --bootloader, only
    // opens the port), uploads, reconnects and reports. Leaves the link.
    int Flash(const QString& port, int maxSpeed);

private:
    int ReadFile(const QString& path, CUpdateFile::Info& info, CUpdateFile::Image& image);
    // Where the boot loader answers cells 64 and 70, the file must be made
    // for what they say: otherwise the port is closed and the file refused.
    int CheckBootloaderIdentity(const QString& path, const CUpdateFile::Info& info, const QString& device);
    int Upload(const CUpdateFile::Info& info, CUpdateFile::Image& image);
    int Fail(int status, const QString& error);

    const CCliArguments& m_args;
    CCliDevice& m_device;
    QString m_folder;
    std::unique_ptr<CProgressBar> m_progress;
};
