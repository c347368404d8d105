#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class CParameterFile;

// The backups of ESC settings: parameter files kept under the user's data
// folder before anything is written to an ESC, so that no setting a pilot had
// is beyond recall. The newest files are kept, the oldest removed.
class CBackupFolder {
public:
    static constexpr int kKept = 50;

    struct Result {
        bool ok = false;
        QString path;    // the backup written
        QString error;   // why none was written
    };

    // $XDG_DATA_HOME/TORV/backups, or ~/.local/share/TORV/backups when the
    // variable is unset or not an absolute path.
    static QString Path();
    // "<device name>-<yyyy-MM-dd_HH-mm-ss>.escp"; characters that a file
    // name cannot hold become '_'.
    static QString FileName(const QString& deviceName, const QDateTime& when);

    // Saves the device's 128 cells into a new backup file, then keeps the
    // newest kKept files. An existing backup is never replaced, and settings
    // the newest backup of this device already holds make no second copy
    // (the result then names that one).
    static Result Keep(CParameterFile& file, const QString& deviceName);
    // The path for a new file of that name in the folder: the name itself,
    // or with "-2", "-3", ... before its ending while the name is taken.
    static QString FreePath(const QString& folder, const QString& fileName);
    // The newest backup of the device in the folder other than path, when
    // it holds the same bytes as path.
    static std::optional<QString> EarlierCopy(const QString& folder, const QString& path, const QString& deviceName);
    // Removes all but the newest `kept` parameter files of the folder.
    static void Prune(const QString& folder, int kept = kKept);
};
