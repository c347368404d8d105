#include "app/CStartup.h"

#include "library/CDeviceLibrary.h"

#include "app/AppLog.h"
#include "base/CTorvMessage.h"
#include "app/IMainWindowFactory.h"

#include <QCoreApplication>
#include <QFile>

CStartup::CStartup(IPrompt& prompt, IMainWindowFactory& factory, Options options)
    : m_prompt(prompt)
    , m_factory(factory)
    , m_options(std::move(options))
{
    if (!m_options.parseLibrary)
        m_options.parseLibrary = &CStartup::ParseLibraryFile;
}

QString CStartup::LibraryQuestion()
{
    return QCoreApplication::translate("CStartup", "You have to have ESC definition file.\nWould you select the valid one?");
}

IPrompt::FileRequest CStartup::LibraryFileRequest()
{
    IPrompt::FileRequest request;
    request.defaultExtension = QStringLiteral(".esc");
    request.filters = QStringList {
        QCoreApplication::translate("CStartup", "Esc Definition Files (*.esc)"),
        QCoreApplication::translate("CStartup", "All Files (*.*)"),
    };
    request.mustExist = true;
    return request;
}

std::unique_ptr<CDeviceLibrary> CStartup::ParseLibraryFile(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    auto library = std::make_unique<CDeviceLibrary>();
    if (!library->Load(path)) {
        qCDebug(lcApp) << "device library" << path << "not loaded:" << library->ErrorText() << "at line"
                       << library->ErrorLine();
        return nullptr;
    }
    return library;
}

std::unique_ptr<CDeviceLibrary> CStartup::LoadLibrary()
{
    for (;;) {
        std::unique_ptr<CDeviceLibrary> library = m_options.parseLibrary(m_settings.escFile);
        if (library != nullptr)
            return library;

        const IPrompt::Answer answer = m_prompt.Message(LibraryQuestion(), QStringLiteral("TORV"),
                                                        IPrompt::Icon::Error, IPrompt::Buttons::YesNo);
        if (answer != IPrompt::Answer::Yes)
            return nullptr;
        const std::optional<QString> chosen = m_prompt.OpenFile(LibraryFileRequest());
        if (!chosen || chosen->isEmpty())
            return nullptr;
        m_settings.escFile = *chosen;
    }
}

int CStartup::Run()
{
    TorvMessages::RegisterAll();

    const QString executable = m_options.executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                                                  : m_options.executablePath;
    const std::optional<QString> folder = CTorvSettings::ProgramFolder(executable);
    if (!folder) {
        qCWarning(lcApp) << "the program's folder is unknown; nothing is read or written";
        return 0;
    }
    m_programFolder = *folder;
    m_settingsPath = m_options.settingsPath.isEmpty() ? CTorvSettings::Location(m_programFolder)
                                                      : m_options.settingsPath;
    m_settings = CTorvSettings::Load(m_settingsPath, m_programFolder);

    m_language.Load(m_programFolder, m_options.locale.value_or(CLanguageModule::UserLocale()));

    std::unique_ptr<CDeviceLibrary> library = LoadLibrary();
    int exitCode = 0;
    bool withEscFile = false;
    std::unique_ptr<IMainWindow> window;
    if (library != nullptr) {
        window = m_factory.Create(m_settings, std::move(library));
        if (window == nullptr) {
            qCWarning(lcApp) << "the main window cannot be created";
            return 0;
        }
        exitCode = window->Run();
        m_settings = window->Settings();
        withEscFile = true;
    }
    m_settings.Save(m_settingsPath, withEscFile);
    window.reset();
    return exitCode;
}
