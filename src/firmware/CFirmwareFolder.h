#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "firmware/CUpdateFile.h"

class QDirIterator;

// The update files of a folder that fit one device, found one file per
// step so that a window listing them stays responsive while a large folder
// is searched. Each match goes to the top of the rows, so the rows show the
// files in reverse order of discovery. Starting a search in another folder
// keeps the rows already found.
class CFirmwareFolder {
public:
    CFirmwareFolder(int deviceId, int hardwareVersion);
    ~CFirmwareFolder();
    CFirmwareFolder(const CFirmwareFolder&) = delete;
    CFirmwareFolder& operator=(const CFirmwareFolder&) = delete;

    // Starts searching the folder's "*.upd" files (an empty folder, or one
    // that does not exist, searches nothing).
    void Start(const QString& folder);
    // Looks at the next file; false once the search has ended.
    bool Step();
    bool Searching() const { return m_search != nullptr; }
    // Runs the search to its end.
    void Finish();

    const std::vector<CUpdateFile::Info>& Rows() const { return m_rows; }

private:
    int m_deviceId;
    int m_hardwareVersion;
    std::unique_ptr<QDirIterator> m_search;
    std::vector<CUpdateFile::Info> m_rows;
};
