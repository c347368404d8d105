#pragma once

#include <QString>
#include <QUrl>

#include <cstdint>

class CInternetSession;
class QNetworkReply;

// One HTTP GET on a session, opened on construction and closed on
// destruction. Construction returns once the response headers are in; the
// body is then read with Read. Every failure throws CInternetException.
//
// The waits run a local event loop that leaves user input aside, so the
// caller stays blocked as with a synchronous call; each wait ends with a
// failure after the session's time-out without progress (a slow but steady
// transfer goes on), or at once when the session's cancel check says so.
class CHttpFile {
public:
    // Keep the connection for later requests (the manager does so anyway).
    static constexpr uint32_t kFlagKeepConnection = 0x00400000;
    // Header queries: the content length, asked for as a number.
    static constexpr uint32_t kQueryContentLength = 5;
    static constexpr uint32_t kQueryFlagNumber = 0x20000000;

    // Throws "Failed to open http url (%s)" when the URL is no http(s) URL,
    // the server cannot be reached, does not answer in time, or answers
    // with an error status; the exception's cause says which.
    CHttpFile(CInternetSession& session, const QString& url, uint32_t flags = kFlagKeepConnection);
    ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // Reads a numeric header as a 32-bit number. Only the content length is
    // known; an absent or non-numeric header throws
    // "Failed to query http info (%u)" with the query and the number flag.
    void QueryInfo(uint32_t query, uint32_t& value, uint32_t* index = nullptr);

    // One read of up to count bytes: waits until they are in or the
    // response has ended, and returns how many were read (fewer when the
    // body ended early). Throws "Failed to read from network (%u bytes)"
    // when nothing moves within the time-out.
    uint32_t Read(char* buffer, uint32_t count);

private:
    // How often a wait looks at the session's cancel check.
    static constexpr int kCancelPollMs = 50;

    enum class Wait { Ready, Ended, TimedOut, Cancelled };
    template <typename Ready>
    Wait WaitUntil(Ready ready);
    // Why the request failed, in words: the server's status and reason, a
    // refused connection, an unknown host, a time-out.
    QString Cause(Wait waited) const;
    static QString Seconds(int ms);
    QString ServerResponse() const;
    int LastError() const;

    CInternetSession& m_session;
    QString m_url;
    uint32_t m_flags;
    QNetworkReply* m_reply = nullptr;
};
