#pragma once

#include "app/CLanguageModule.h"
#include "base/CTorvSettings.h"
#include "base/IPrompt.h"

#include <QLocale>
#include <QString>

#include "library/CDeviceLibrary.h"

#include <functional>
#include <memory>
#include <optional>

class IMainWindowFactory;

// The program's outermost frame: finds the program folder and the settings,
// loads the language module, insists on a device library that parses
// (asking the user for another file when it does not), runs the main window
// and writes the settings back when it has closed.
class CStartup {
public:
    // Parses the device library file; null when it cannot be read or is not
    // well-formed.
    using LibraryParser = std::function<std::unique_ptr<CDeviceLibrary>(const QString& path)>;

    struct Options {
        QString executablePath;         // empty: the running program's
        QString settingsPath;           // empty: CTorvSettings::Location of the program folder
        std::optional<QLocale> locale;  // empty: the user's interface language
        LibraryParser parseLibrary;     // empty: ParseLibraryFile
    };

    CStartup(IPrompt& prompt, IMainWindowFactory& factory, Options options = {});

    // The whole sequence; returns the process's exit code: 0 when the
    // program folder is unknown, the user gave up on the library or the
    // window could not be created, else the main window's result.
    int Run();

    const QString& ProgramFolder() const { return m_programFolder; }
    const QString& SettingsPath() const { return m_settingsPath; }
    const CTorvSettings& Settings() const { return m_settings; }
    bool LanguageLoaded() const { return m_language.IsLoaded(); }

    static std::unique_ptr<CDeviceLibrary> ParseLibraryFile(const QString& path);

    // The library prompt's text and the open dialog's request.
    static QString LibraryQuestion();
    static IPrompt::FileRequest LibraryFileRequest();

private:
    // Parses m_settings.escFile, asking for another file until one parses.
    // Null when the user declines or cancels.
    std::unique_ptr<CDeviceLibrary> LoadLibrary();

    IPrompt& m_prompt;
    IMainWindowFactory& m_factory;
    Options m_options;
    QString m_programFolder;
    QString m_settingsPath;
    CTorvSettings m_settings;
    CLanguageModule m_language;
};
