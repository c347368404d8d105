#pragma once

#include <QString>

#include <memory>
#include <optional>

#include "melody/CMelodyRow.h"

class QDirIterator;

// The melody files ("*.tsm") of a folder, read one file per call so that a
// dialog listing them from its idle moments stays responsive however large
// the folder is.
class CMelodyFolder {
public:
    CMelodyFolder();
    ~CMelodyFolder();
    CMelodyFolder(const CMelodyFolder&) = delete;
    CMelodyFolder& operator=(const CMelodyFolder&) = delete;

    // Starts a new search of the folder (an empty folder, or one that does
    // not exist, finds nothing). A search still running is dropped.
    void Start(const QString& folder);
    // The row of the next file, checked and parsed; none once the search has
    // ended.
    std::optional<CMelodyRow> Next();
    bool Searching() const { return m_search != nullptr; }

private:
    std::unique_ptr<QDirIterator> m_search;
};
