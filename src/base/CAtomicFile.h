#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>

// Replaces a user's file only once its whole new content has reached the
// disk. The new bytes go to a temporary file beside the target, which takes
// the target's name on Commit; until then, and whenever anything fails, the
// old file stays as it was. Only regular files are replaced: a FIFO or a
// device node as target is refused at Open.
class CAtomicFile {
public:
    explicit CAtomicFile(QString path);
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // False when the target is not a regular file or the temporary file
    // cannot be created.
    bool Open();
    bool Write(const QByteArray& bytes);
    // Flushes and checks every byte before renaming: a full disk or a file
    // size limit fails here and leaves the old file in place.
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Cancel();

    QString ErrorString() const { return m_error; }

    // Open, Write and Commit in one step.
    static bool WriteWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

private:
    QString m_path;
    std::unique_ptr<QSaveFile> m_file;
    QString m_error;
};
