#include "library/CLibraryUpdate.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

#include "base/CAtomicFile.h"
#include "base/IPrompt.h"
#include "library/CDeviceLibrary.h"
#include "library/CHttpFile.h"
#include "library/CInternetException.h"
#include "library/CInternetSession.h"
#include "library/LibraryLog.h"

// The maker's web server; the build may name another.
#ifndef TORV_UPDATE_HOST
#define TORV_UPDATE_HOST "www.brisko-esc.example"
#endif

namespace {
const char* const kCaption = "TORV";
const char* const kUpdatePath = "/downloads/Brisko.esc";

QString tr(const char* text)
{
    return QCoreApplication::translate("CLibraryUpdate", text);
}

// Tells the busy hook when the network steps start and end, also when one
// of them throws.
class BusyScope {
public:
    explicit BusyScope(const std::function<void(bool)>& hook) : m_hook(hook)
    {
        if (m_hook)
            m_hook(true);
    }
    ~BusyScope()
    {
        if (m_hook)
            m_hook(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const std::function<void(bool)>& m_hook;
};
}

QString CLibraryUpdate::DefaultUrl()
{
    const QString fromEnvironment = qEnvironmentVariable("TORV_UPDATE_URL");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral("http://") + QLatin1String(TORV_UPDATE_HOST) + QLatin1String(kUpdatePath);
}

CLibraryUpdate::CLibraryUpdate(CDeviceLibrary& library, QString libraryPath)
    : m_library(library), m_libraryPath(std::move(libraryPath)), m_url(DefaultUrl())
{
}

CLibraryUpdate::~CLibraryUpdate() = default;

QString CLibraryUpdate::ShownVersion(const std::optional<QString>& text)
{
    return text.value_or(QStringLiteral("xx"));
}

int CLibraryUpdate::CompareVersions(const std::optional<QString>& a, const std::optional<QString>& b)
{
    const QStringList left = a.value_or(QString()).trimmed().split(QLatin1Char('.'));
    const QStringList right = b.value_or(QString()).trimmed().split(QLatin1Char('.'));
    // The leading whole number of a part (sign included); 0 without one.
    const auto part = [](const QStringList& parts, qsizetype i) -> qlonglong {
        if (i >= parts.size())
            return 0;
        const QString text = parts.at(i).trimmed();
        qsizetype end = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
        while (end < text.size() && text.at(end).isDigit() && end < 18)
            ++end;
        return text.left(end).toLongLong();
    };
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qlonglong l = part(left, i);
        const qlonglong r = part(right, i);
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

CLibraryUpdate::Status CLibraryUpdate::Download(QByteArray& bytes)
{
    CInternetSession session;
    session.SetTimeoutMs(m_timeoutMs);
    session.SetCancelCheck(m_cancelled);
    CHttpFile file(session, m_url, CHttpFile::kFlagKeepConnection);
    uint32_t length = 0;
    file.QueryInfo(CHttpFile::kQueryContentLength, length);
    if (length == 0)
        return Status::Empty;
    // The length comes from the server: a library is far smaller than this,
    // and memory for an absurd length is not taken.
    if (length > kMaxDownloadBytes)
        throw CInternetException(&file, 0, tr("Failed to read from network (%1 bytes)").arg(length), QString());
    bytes.resize(static_cast<qsizetype>(length));
    const uint32_t read = file.Read(bytes.data(), length);
    if (read < length) {
        bytes.clear();
        return Status::Truncated;
    }
    return Status::Newer;
}

CLibraryUpdate::Result CLibraryUpdate::Check()
{
    m_downloaded.clear();
    m_parsed.reset();

    Result result;
    result.localText = m_library.IsLoaded() ? m_library.VersionText() : std::nullopt;

    QByteArray bytes;
    {
        BusyScope busy(m_busy);
        try {
            result.status = Download(bytes);
        } catch (const CInternetException& failure) {
            qCDebug(lcLibrary) << "library update:" << failure.what() << "-" << failure.Response();
            result.status = Cancelled() ? Status::Cancelled : Status::NetworkFailed;
            result.error = failure.Message();
            result.cause = failure.Cause();
        }
    }
    m_checked = result;
    if (result.status != Status::Newer)
        return result;

    auto parsed = std::make_unique<CDeviceLibrary>();
    if (!parsed->LoadFromBuffer(bytes)) {
        qCDebug(lcLibrary) << "library update: the download is no XML:" << parsed->ErrorText() << "at line"
                           << parsed->ErrorLine();
        result.status = Status::Malformed;
        result.error = tr("%1 at line %2").arg(parsed->ErrorText()).arg(parsed->ErrorLine());
    } else if (!parsed->Root().child("ESC")) {
        // A login page or any other XML: installed, it would stop the next
        // start and leave no device to identify.
        result.status = Status::NotALibrary;
        result.error = tr("it holds no ESC element below its root <%1>")
                           .arg(QString::fromUtf8(parsed->Root().name()));
    } else {
        result.remoteText = parsed->VersionText();
        if (CompareVersions(result.localText, result.remoteText) >= 0)
            result.status = Status::NotNewer;
        else if (!result.remoteText)
            result.status = Status::NoVersion;
    }
    if (result.status == Status::Newer && Cancelled())
        result.status = Status::Cancelled;
    m_checked = result;
    if (result.status == Status::Newer) {
        m_downloaded = bytes;
        m_parsed = std::move(parsed);
    }
    return result;
}

bool CLibraryUpdate::Cancelled() const
{
    return m_cancelled && m_cancelled();
}

CLibraryUpdate::Result CLibraryUpdate::Install()
{
    Result result = m_checked;
    if (!m_parsed) {
        result.status = Status::SaveFailed;
        result.error = tr("there is no newer library to install");
        return result;
    }
    if (Cancelled()) {
        result.status = Status::Cancelled;
        return result;
    }
    QString error;
    if (!CAtomicFile::WriteWhole(m_libraryPath, m_downloaded, &error)) {
        result.status = Status::SaveFailed;
        result.error = error;
        return result;
    }
    // Loaded again from the file, as every later start will load it; the
    // file holds exactly the bytes parsed before, which stand in should it
    // have changed in between.
    auto reloaded = std::make_unique<CDeviceLibrary>();
    if (!reloaded->Load(m_libraryPath))
        reloaded = std::move(m_parsed);
    if (m_beforeReplace)
        m_beforeReplace();
    m_library = std::move(*reloaded);
    m_parsed.reset();
    m_downloaded.clear();
    result.status = Status::Updated;
    m_checked = result;
    return result;
}

CLibraryUpdate::Result CLibraryUpdate::Run(IPrompt& prompt)
{
    Result result = Check();
    switch (result.status) {
    case Status::NetworkFailed:
        prompt.Message(result.cause.isEmpty() ? result.error : result.error + QStringLiteral("\r\n") + result.cause,
                       kCaption, IPrompt::Icon::None, IPrompt::Buttons::Ok);
        return result;
    case Status::NoVersion:
        prompt.Message(tr("It seems that remote file is wrong (vesrion ommited)."), kCaption, IPrompt::Icon::Error,
                       IPrompt::Buttons::Ok);
        return result;
    case Status::Newer:
        break;
    default:
        return result;
    }
    const QString question = tr("You are using the \"%1\" version of  ESC library.\r\nThere is updated version "
                                "\"%2\".\r\nWould you like to use it?")
                                 .arg(ShownVersion(result.localText), result.remoteText.value_or(QString()));
    if (prompt.Message(question, kCaption, IPrompt::Icon::Information, IPrompt::Buttons::YesNo) !=
        IPrompt::Answer::Yes) {
        result.status = Status::Declined;
        m_parsed.reset();
        m_downloaded.clear();
        return result;
    }
    result = Install();
    if (result.status == Status::SaveFailed) {
        // The user asked for the new library: say that it could not be
        // stored rather than leave the old one in use without a word.
        prompt.Message(tr("Unable to write to file %1: %2").arg(m_libraryPath, result.error), kCaption,
                       IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    }
    return result;
}
