#include "base/CDataFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kDataFolder = QStringLiteral("torv");
const QString kSampleLibrary = QStringLiteral("Brisko.esc");
}

QStringList CDataFiles::Folders(const QString& programFolder, const std::optional<QStringList>& dataHomes)
{
    const QString folder = programFolder.isEmpty() ? QStringLiteral("/") : programFolder;
    QStringList folders{folder,
                        QDir::cleanPath(folder + QStringLiteral("/../share/") + kDataFolder)};
    const QStringList homes =
        dataHomes.value_or(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation));
    for (const QString& home : homes) {
        const QString candidate = QDir::cleanPath(home + QLatin1Char('/') + kDataFolder);
        if (!folders.contains(candidate))
            folders.append(candidate);
    }
    return folders;
}

std::optional<QString> CDataFiles::Find(const QString& programFolder, const QString& name,
                                        const std::optional<QStringList>& dataHomes)
{
    for (const QString& folder : Folders(programFolder, dataHomes)) {
        const QFileInfo file(folder + QLatin1Char('/') + name);
        if (file.isFile())
            return file.filePath();
    }
    return std::nullopt;
}

bool CDataFiles::IsInstalled(const QString& programFolder)
{
    const QStringList folders = Folders(programFolder, QStringList());
    return !QFileInfo(folders.at(0) + QLatin1Char('/') + kSampleLibrary).exists()
           && QFileInfo(folders.at(1) + QLatin1Char('/') + kSampleLibrary).isFile();
}
