#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// Small files for tests: written whole, read whole (empty when missing).
namespace TestFiles {

// Writes the bytes to the named file in the folder and returns its path.
inline QString Write(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

inline QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}
