#pragma once

#include <QString>

#include <optional>

class CIniFile;

// The settings of section "TORV" in TORV.ini: read once at start-up, written
// once when the main window has closed.
struct CTorvSettings {
    QString escFile;         // "ESCFile": the device library
    QString firmwareFolder;  // "FirmwareFolder": start folder of the firmware file dialog
    QString melodiesFolder;  // "MelodiesFolder": start folder of the melody file dialog
    QString saveFolder;      // "SaveFolder": start folder of the parameter and log file dialogs
    QString port;            // "Port": a device path, or "COM%d:"
    int cx = -1;             // "cx": outer width of the main window, -1 when none is stored
    int cy = -1;             // "cy": outer height, likewise

    static QString Section();  // "TORV"
    static QString FileName(); // "TORV.ini"

    // Every key at its default for a program in the given folder.
    static CTorvSettings Defaults(const QString& programFolder);

    // Every key from the file; absent keys take their defaults, and numbers
    // that cannot be read give -1. Values are kept whole, however long: a
    // path cut short would name another file, and be written back so.
    static CTorvSettings Read(const CIniFile& ini, const QString& programFolder);

    // Sets the keys in the file's content, in the order ESCFile (only when
    // withEscFile), FirmwareFolder, MelodiesFolder, Port, SaveFolder, cx, cy.
    void WriteTo(CIniFile& ini, bool withEscFile) const;

    // Reads the file at path afresh (other sections may have changed while
    // the program ran), sets the keys and writes it atomically. A file that
    // exists but cannot be read is left alone rather than replaced. Failures
    // are logged and reported as false; callers carry on.
    bool Save(const QString& path, bool withEscFile) const;

    // Where TORV.ini lives: beside the program when its folder is writable
    // and no installation (a build tree or a portable copy), else in
    // configHome/TORV. An empty configHome means the user's
    // configuration folder ($XDG_CONFIG_HOME, by default ~/.config).
    static QString Location(const QString& programFolder, const QString& configHome = QString());

    // The folder of the program file at executablePath (empty for a program
    // in the root folder); none when the path names no folder.
    static std::optional<QString> ProgramFolder(const QString& executablePath);
    // Reads the settings file at path (absent keys take their defaults).
    static CTorvSettings Load(const QString& path, const QString& programFolder);

    bool operator==(const CTorvSettings& other) const;
    bool operator!=(const CTorvSettings& other) const { return !(*this == other); }
};
