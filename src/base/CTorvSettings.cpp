#include "base/CTorvSettings.h"

#include "base/BaseLog.h"
#include "base/CDataFiles.h"
#include "base/CIniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {
const QString kEscFile = QStringLiteral("ESCFile");
const QString kFirmwareFolder = QStringLiteral("FirmwareFolder");
const QString kMelodiesFolder = QStringLiteral("MelodiesFolder");
const QString kSaveFolder = QStringLiteral("SaveFolder");
const QString kPort = QStringLiteral("Port");
const QString kCx = QStringLiteral("cx");
const QString kCy = QStringLiteral("cy");

// The folder as a path that QFileInfo understands: the program may sit in
// the root folder, whose name without its trailing separator is empty.
QString FolderPath(const QString& folder)
{
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

// Whether a file can be made in the folder. Permission bits alone do not
// tell (a superuser passes them on read-only places such as /proc), so a
// probe file is made and removed again.
bool AcceptsFiles(const QString& folder)
{
    const QFileInfo info(FolderPath(folder));
    if (!info.isDir() || !info.isWritable())
        return false;
    QTemporaryFile probe(info.absoluteFilePath() + QStringLiteral("/.torv-probe-XXXXXX"));
    return probe.open();
}
}

QString CTorvSettings::Section()
{
    return QStringLiteral("TORV");
}

QString CTorvSettings::FileName()
{
    return QStringLiteral("TORV.ini");
}

CTorvSettings CTorvSettings::Defaults(const QString& programFolder)
{
    CTorvSettings s;
    // The sample library beside the program or of the installation; where
    // there is none, the path beside the program names what is missing.
    const QString library = QStringLiteral("Brisko.esc");
    s.escFile = CDataFiles::Find(programFolder, library).value_or(programFolder + QLatin1Char('/') + library);
    // A portable copy or a build tree keeps the user's files beside itself;
    // an installed program's folder (/usr/bin) is no place for them, so its
    // file dialogs start in the user's home folder.
    const QString userFolder = CDataFiles::IsInstalled(programFolder) ? QDir::homePath() : programFolder;
    s.firmwareFolder = userFolder;
    s.melodiesFolder = userFolder;
    s.saveFolder = userFolder;
    s.port = QStringLiteral("COM1:");
    return s;
}

CTorvSettings CTorvSettings::Read(const CIniFile& ini, const QString& programFolder)
{
    const CTorvSettings d = Defaults(programFolder);
    const QString section = Section();
    CTorvSettings s;
    s.escFile = ini.String(section, kEscFile, d.escFile);
    s.firmwareFolder = ini.String(section, kFirmwareFolder, d.firmwareFolder);
    s.melodiesFolder = ini.String(section, kMelodiesFolder, d.melodiesFolder);
    s.port = ini.String(section, kPort, d.port);
    s.cx = ini.Int(section, kCx, d.cx);
    s.cy = ini.Int(section, kCy, d.cy);
    s.saveFolder = ini.String(section, kSaveFolder, d.saveFolder);
    return s;
}

void CTorvSettings::WriteTo(CIniFile& ini, bool withEscFile) const
{
    const QString section = Section();
    if (withEscFile)
        ini.SetValue(section, kEscFile, escFile);
    ini.SetValue(section, kFirmwareFolder, firmwareFolder);
    ini.SetValue(section, kMelodiesFolder, melodiesFolder);
    ini.SetValue(section, kPort, port);
    ini.SetValue(section, kSaveFolder, saveFolder);
    ini.SetInt(section, kCx, cx);
    ini.SetInt(section, kCy, cy);
}

bool CTorvSettings::Save(const QString& path, bool withEscFile) const
{
    CIniFile ini(path);
    if (ini.Load() == CIniFile::LoadResult::Unreadable) {
        qCWarning(lcSettings) << "settings not written: the existing file" << path << "cannot be read";
        return false;
    }
    WriteTo(ini, withEscFile);
    return ini.Save();
}

QString CTorvSettings::Location(const QString& programFolder, const QString& configHome)
{
    // An installed program keeps its settings with the user's, even where it
    // could write beside itself (an installation into ~/.local, or run by
    // the superuser): its bin folder is shared with other programs.
    if (!CDataFiles::IsInstalled(programFolder) && AcceptsFiles(programFolder))
        return programFolder + QLatin1Char('/') + FileName();

    QString home = configHome;
    if (home.isEmpty())
        home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return home + QStringLiteral("/TORV/") + FileName();
}

std::optional<QString> CTorvSettings::ProgramFolder(const QString& executablePath)
{
    const int separator = executablePath.lastIndexOf(QLatin1Char('/'));
    if (separator < 0)
        return std::nullopt;
    return executablePath.left(separator);
}

CTorvSettings CTorvSettings::Load(const QString& path, const QString& programFolder)
{
    CIniFile ini(path);
    ini.Load();
    return Read(ini, programFolder);
}

bool CTorvSettings::operator==(const CTorvSettings& other) const
{
    return escFile == other.escFile && firmwareFolder == other.firmwareFolder
        && melodiesFolder == other.melodiesFolder && saveFolder == other.saveFolder
        && port == other.port && cx == other.cx && cy == other.cy;
}
