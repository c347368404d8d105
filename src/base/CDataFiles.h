#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The files that come with TORV (the sample device library) are found beside
// the program (a build tree or a copy run from its folder), else in the data
// folder share/torv of an installation: first the one of the program's own
// prefix (bin/../share/torv, so that an installation can be moved), then
// those of the user's and the system's data folders ($XDG_DATA_HOME,
// $XDG_DATA_DIRS).
class CDataFiles {
public:
    // The folders searched, in order, for a program in programFolder.
    // dataHomes replaces the user's and the system's data folders (tests).
    static QStringList Folders(const QString& programFolder,
                               const std::optional<QStringList>& dataHomes = std::nullopt);

    // Whether the program runs from an installation: nothing of its own
    // beside it, its data folder at ../share/torv.
    static bool IsInstalled(const QString& programFolder);

    // The first existing regular file of that name in Folders(), or none.
    static std::optional<QString> Find(const QString& programFolder, const QString& name,
                                       const std::optional<QStringList>& dataHomes = std::nullopt);
};
