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
    QString name = deviceName.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("ESC");
    // The name comes from the device library: nothing in it may reach
    // another folder or hide the file.
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.isNull() || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    if (name.startsWith(QLatin1Char('.')))
        name.replace(0, 1, QLatin1Char('_'));
    return QStringLiteral("%1-%2.escp").arg(name.left(100), when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
}

CBackupFolder::Result CBackupFolder::Keep(CParameterFile& file, const QString& deviceName)
{
    const QString folder = Path();
    if (!QDir().mkpath(folder))
        return {false, QString(), tr("cannot create the folder %1").arg(folder)};
    const QString path = folder + QLatin1Char('/') + FileName(deviceName, QDateTime::currentDateTime());
    const CParameterFile::Result saved = file.SaveTo(path);
    switch (saved.status) {
    case CParameterFile::Status::Ok:
        Prune(folder);
        return {true, path, QString()};
    case CParameterFile::Status::DeviceFailed:
        return {false, path, tr("the ESC did not answer when cell %1 was read").arg(saved.failedCell)};
    default:
        return {false, path, tr("cannot write %1: %2").arg(path, saved.error)};
    }
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
