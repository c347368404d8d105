#include "cli/CCliLibrary.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QUrl>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"
#include "library/CDeviceLibrary.h"
#include "library/CLibraryUpdate.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CCliLibrary", text);
}

QJsonValue VersionJson(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue();
}

QString VersionText(const std::optional<QString>& text)
{
    return text ? *text : tr("none");
}
}

CCliLibrary::CCliLibrary(const CCliArguments& arguments, CDeviceLibrary& library, QString libraryPath)
    : m_args(arguments), m_library(library), m_libraryPath(std::move(libraryPath))
{
}

int CCliLibrary::Update()
{
    CLibraryUpdate update(m_library, m_libraryPath);
    if (!m_args.Url().isEmpty()) {
        const QUrl given(m_args.Url(), QUrl::StrictMode);
        const QString scheme = given.scheme().toLower();
        if (!given.isValid() || given.host().isEmpty() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            return CConsolePrompt::Fail(CliExit::Usage, tr("--url %1 is no http or https URL").arg(m_args.Url()));
        update.SetUrl(m_args.Url());
    }
    const QString url = update.Url();
    // Ctrl+C or SIGTERM ends the download at once; the file stays as it is.
    update.SetCancelCheck(&CSignalWatcher::Requested);
    const bool hadLibrary = m_library.IsLoaded();
    if (!hadLibrary && !m_args.Check()) {
        CConsolePrompt::Note(tr("the device library %1 cannot be read (%2); the one on the server replaces it")
                                  .arg(m_libraryPath, m_library.ErrorText().isEmpty() ? tr("no library loaded")
                                                                                      : m_library.ErrorText()));
    }

    using Status = CLibraryUpdate::Status;
    CLibraryUpdate::Result result = update.Check();
    if (result.status == Status::Newer && !m_args.Check())
        result = update.Install();
    switch (result.status) {
    case Status::Cancelled:
        return CConsolePrompt::Fail(CliExit::Interrupted, tr("interrupted; %1 is left as it was").arg(m_libraryPath));
    case Status::NetworkFailed:
        return CConsolePrompt::Fail(CliExit::Network, tr("cannot fetch %1: %2")
                                                          .arg(url, result.cause.isEmpty() ? result.error : result.cause));
    case Status::Truncated:
        return CConsolePrompt::Fail(CliExit::Network, tr("the download from %1 broke off before its announced length").arg(url));
    case Status::Empty:
        return CConsolePrompt::Fail(CliExit::FileError, tr("the server sent an empty file for %1").arg(url));
    case Status::Malformed:
        return CConsolePrompt::Fail(CliExit::FileError, tr("the download from %1 is not well-formed XML: %2").arg(url, result.error));
    case Status::NotALibrary:
        return CConsolePrompt::Fail(CliExit::FileError, tr("the download from %1 is no device library: %2; %3 is left as it was")
                                                            .arg(url, result.error, m_libraryPath));
    case Status::NoVersion:
        return CConsolePrompt::Fail(CliExit::FileError, tr("the download from %1 has no version").arg(url));
    case Status::NotNewer:
        if (!result.remoteText)
            return CConsolePrompt::Fail(CliExit::FileError, tr("the download from %1 has no version").arg(url));
        break;
    case Status::SaveFailed:
        return CConsolePrompt::Fail(CliExit::FileError, tr("Unable to write to file %1: %2; the library stays as it was")
                                                            .arg(m_libraryPath, result.error));
    case Status::Newer:
    case Status::Declined:
    case Status::Updated:
        break;
    }

    if (m_args.Check())
        return ReportCheck(result, url);
    const bool updated = result.status == Status::Updated;
    if (m_args.Json()) {
        CCliOutput::PrintJson(QJsonObject{{"file", m_libraryPath},
                                          {"url", url},
                                          {"local", VersionJson(result.localText)},
                                          {"remote", VersionJson(result.remoteText)},
                                          {"updated", updated}});
    } else if (updated && !hadLibrary) {
        CCliOutput::Report(tr("Installed the device library %1, version %2\n")
                              .arg(m_libraryPath, VersionText(result.remoteText)));
    } else if (updated) {
        CCliOutput::Report(tr("Updated the device library %1 from version %2 to %3\n")
                              .arg(m_libraryPath, VersionText(result.localText), VersionText(result.remoteText)));
    } else {
        CCliOutput::Report(tr("The device library %1 is up to date: version %2 in use, version %3 on the server\n")
                              .arg(m_libraryPath, VersionText(result.localText), VersionText(result.remoteText)));
    }
    return CliExit::Ok;
}

int CCliLibrary::ReportCheck(const CLibraryUpdate::Result& result, const QString& url) const
{
    const bool newer = result.status == CLibraryUpdate::Status::Newer;
    if (m_args.Json()) {
        CCliOutput::PrintJson(QJsonObject{{"file", m_libraryPath},
                                          {"url", url},
                                          {"local", VersionJson(result.localText)},
                                          {"remote", VersionJson(result.remoteText)},
                                          {"newer", newer}});
    } else if (newer) {
        CCliOutput::Print(tr("A newer device library is available: version %1 on the server, version %2 in %3 "
                             "(torv-cli library update installs it)\n")
                              .arg(VersionText(result.remoteText), VersionText(result.localText), m_libraryPath));
    } else {
        CCliOutput::Print(tr("The device library %1 is up to date: version %2 in use, version %3 on the server\n")
                              .arg(m_libraryPath, VersionText(result.localText), VersionText(result.remoteText)));
    }
    return newer ? CliExit::Differs : CliExit::Ok;
}
