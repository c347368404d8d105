#include "library/CBackupFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "library/CParameterFile.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CBackupFolder", text);
}

// The device's name as the start of a file name: nothing in it may reach
// another folder or hide the file (the name comes from the device library).
QString SafeName(const QString& deviceName)
{
    QString name = deviceName.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("ESC");
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.isNull() || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    if (name.startsWith(QLatin1Char('.')))
        name.replace(0, 1, QLatin1Char('_'));
    return name.left(100);
}

// Whether the file is a backup of the device: its name, then the time.
bool IsBackupOf(const QString& fileName, const QString& deviceName)
{
    const QString prefix = SafeName(deviceName) + QLatin1Char('-');
    return fileName.startsWith(prefix) && fileName.size() > prefix.size() && fileName.at(prefix.size()).isDigit();
}
}

QString CBackupFolder::Path()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/TORV/backups");
}

QString CBackupFolder::FileName(const QString& deviceName, const QDateTime& when)
{
    return QStringLiteral("%1-%2.escp").arg(SafeName(deviceName), when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
}

CBackupFolder::Result CBackupFolder::Keep(CParameterFile& file, const QString& deviceName)
{
    const QString folder = Path();
    if (!QDir().mkpath(folder))
        return {false, QString(), tr("cannot create the folder %1").arg(folder)};
    const QString path = FreePath(folder, FileName(deviceName, QDateTime::currentDateTime()));
    const CParameterFile::Result saved = file.SaveTo(path);
    switch (saved.status) {
    case CParameterFile::Status::Ok:
        // A repeated command (a refused value tried again, say) must not
        // push older settings out of the folder with copies of the same.
        if (const std::optional<QString> earlier = EarlierCopy(folder, path, deviceName)) {
            QFile::remove(path);
            return {true, *earlier, QString()};
        }
        Prune(folder);
        return {true, path, QString()};
    case CParameterFile::Status::DeviceFailed:
        return {false, path, tr("the ESC did not answer when cell %1 was read").arg(saved.failedCell)};
    default:
        return {false, path, tr("cannot write %1: %2").arg(path, saved.error)};
    }
}

QString CBackupFolder::FreePath(const QString& folder, const QString& fileName)
{
    const QFileInfo name(fileName);
    const QString stem = name.completeBaseName();
    const QString ending = name.suffix().isEmpty() ? QString() : QLatin1Char('.') + name.suffix();
    QString path = folder + QLatin1Char('/') + fileName;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1/%2-%3%4").arg(folder, stem).arg(n).arg(ending);
    return path;
}

std::optional<QString> CBackupFolder::EarlierCopy(const QString& folder, const QString& path, const QString& deviceName)
{
    // Newest first.
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.escp")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Time);
    const QString own = QFileInfo(path).absoluteFilePath();
    for (const QFileInfo& info : files) {
        if (info.absoluteFilePath() == own || !IsBackupOf(info.fileName(), deviceName))
            continue;
        QFile earlier(info.absoluteFilePath());
        QFile current(own);
        if (earlier.open(QIODevice::ReadOnly) && current.open(QIODevice::ReadOnly) &&
            earlier.readAll() == current.readAll())
            return info.absoluteFilePath();
        return std::nullopt;
    }
    return std::nullopt;
}

void CBackupFolder::Prune(const QString& folder, int kept)
{
    QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.escp")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    // Oldest first: remove from the front until `kept` are left.
    for (qsizetype i = 0; i + kept < files.size(); ++i)
        QFile::remove(files.at(i).absoluteFilePath());
}
