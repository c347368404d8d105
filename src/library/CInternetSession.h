#pragma once

#include <QString>

#include <functional>
#include <memory>

class QNetworkAccessManager;

// One internet session: the network access manager that every request of
// the session goes through, the agent name sent with each request and the
// longest a request may stay without progress before it fails. Opening
// throws CInternetException ("Failed to open an internet session") when
// there is no application object to run the network on.
class CInternetSession {
public:
    // A dead network must not hold the program for minutes.
    static constexpr int kDefaultTimeoutMs = 15000;

    // An empty agent name means the program's file name without folder and
    // extension.
    explicit CInternetSession(const QString& agent = QString());
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    QNetworkAccessManager& Manager() { return *m_manager; }
    const QString& Agent() const { return m_agent; }

    int TimeoutMs() const { return m_timeoutMs; }
    void SetTimeoutMs(int ms) { m_timeoutMs = ms > 0 ? ms : kDefaultTimeoutMs; }

    // Asked while a request waits: true ends the wait at once with a failure
    // (Ctrl+C on the command line).
    void SetCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }
    bool CancelRequested() const { return m_cancelled && m_cancelled(); }

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QString m_agent;
    int m_timeoutMs = kDefaultTimeoutMs;
    std::function<bool()> m_cancelled;
};
