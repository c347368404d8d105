#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CDeviceLibrary;
class IPrompt;

// Fetches the newest device library from the maker's web server, compares
// its version with the library in use and, when asked to, installs it: the
// download is parsed and checked first, then written over the library file
// atomically and loaded from there into the library in use. Whatever fails, the old
// library stays in use and on disk. The window runs the whole command with
// its questions (Run); the command line runs the steps itself.
class CLibraryUpdate {
public:
    enum class Status {
        NetworkFailed,   // the session, the request, the length query or the read failed
        Empty,           // the server sent a content length of 0
        Truncated,       // fewer bytes arrived than the content length
        Malformed,       // the bytes are not well-formed XML
        NotALibrary,     // well-formed, but no device library: no ESC element below its root
        NotNewer,        // the download's version is not above the one in use
        NoVersion,       // newer by number, yet the download's root has no version
        Newer,           // newer: ready to be installed
        Declined,        // the user answered No
        SaveFailed,      // the library file could not be replaced
        Updated,         // written and loaded
        Cancelled,       // the cancel check asked to stop: nothing written
    };

    struct Result {
        Status status = Status::NetworkFailed;
        QString error;                         // what failed: NetworkFailed, Malformed, SaveFailed
        QString cause;                         // NetworkFailed: why, in words; may be empty
        std::optional<QString> localText;      // the version attributes as text
        std::optional<QString> remoteText;
    };

    // The download location on the maker's server; TORV_UPDATE_URL
    // replaces the whole URL.
    static QString DefaultUrl();
    // Downloads larger than this are refused rather than held in memory.
    static constexpr uint32_t kMaxDownloadBytes = 64u * 1024u * 1024u;

    CLibraryUpdate(CDeviceLibrary& library, QString libraryPath);
    ~CLibraryUpdate();
    CLibraryUpdate(const CLibraryUpdate&) = delete;
    CLibraryUpdate& operator=(const CLibraryUpdate&) = delete;

    void SetUrl(const QString& url) { m_url = url; }
    QString Url() const { return m_url; }
    // The longest any network step may go without progress.
    void SetTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Called with true before the network steps and with false after them,
    // so that a window can show that it is busy (and not under a question).
    void SetBusyHook(std::function<void(bool)> hook) { m_busy = std::move(hook); }
    // Called once the new file is written, just before the library in use is
    // replaced: whatever points into the old document lets go of it here.
    void SetBeforeReplace(std::function<void()> hook) { m_beforeReplace = std::move(hook); }

    // Downloads the library, checks that it is a device library (well-formed,
    // with an ESC element below its root, as the program needs to start) and
    // compares the versions. Status Newer keeps the download for Install.
    // The library in use may be empty (its file missing or broken): any
    // download with a version is then newer.
    Result Check();
    // Writes the kept download over the library file and loads it into the
    // library in use. Status Updated or SaveFailed.
    Result Install();

    // The command as the window runs it: a network failure in a message
    // box, a download without version named, the question whether to use a
    // newer one, and the installation on Yes. Everything else stays silent.
    Result Run(IPrompt& prompt);

    // The version text of the library in use as the question shows it.
    static QString ShownVersion(const std::optional<QString>& text);

    // Compares two version texts part by part (split at the dots) as whole
    // numbers, a missing part or text counting as 0: 2.14 is above 2.9 and
    // 1.10 above 1.9. Negative, zero or positive as a is below, equal to or
    // above b.
    static int CompareVersions(const std::optional<QString>& a, const std::optional<QString>& b);

    // Asked during the network steps and before the file is written: true
    // ends the update at once with Cancelled, the library file untouched.
    void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

private:
    // The bytes at the URL; throws CInternetException.
    Status Download(QByteArray& bytes);
    bool Cancelled() const;

    CDeviceLibrary& m_library;
    QString m_libraryPath;
    QString m_url;
    int m_timeoutMs = 0;
    std::function<void(bool)> m_busy;
    std::function<void()> m_beforeReplace;
    std::function<bool()> m_cancelled;
    QByteArray m_downloaded;
    std::unique_ptr<CDeviceLibrary> m_parsed;
    Result m_checked;
};
