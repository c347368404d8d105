#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <mutex>

class QThread;
class CHttpTestWorker;

// A small HTTP server on 127.0.0.1 for tests, running on its own thread so
// that it answers while the test waits in a blocking call (a child process,
// a local event loop). Every request gets the response set last; the
// response can leave out the content length, cut the body short, trickle
// it in pieces, or never come at all.
class CHttpTestServer {
public:
    struct Response {
        Response(int status = 200, QByteArray body = {}) : status(status), body(std::move(body)) {}
        Response& WithoutLength() { contentLength = false; return *this; }
        Response& Cut(int bytes) { sentBytes = bytes; return *this; }
        Response& Silent() { silent = true; return *this; }
        Response& RedirectTo(const QByteArray& path) { redirectTo = path; return *this; }
        // The body in pieces of bytes, one every gapMs after the headers.
        Response& Trickle(int bytes, int gapMs) { trickleBytes = bytes; trickleGapMs = gapMs; return *this; }

        int status = 200;
        QByteArray body;
        bool contentLength = true;   // false: the body ends when the connection closes
        int sentBytes = -1;          // body bytes actually sent; -1: all of them
        bool silent = false;         // read the request and never answer
        QByteArray redirectTo;       // a path: any other path is sent there first
        int trickleBytes = 0;        // > 0: the body goes out in pieces this large
        int trickleGapMs = 0;        // the pause before each piece
    };

    CHttpTestServer();
    ~CHttpTestServer();
    CHttpTestServer(const CHttpTestServer&) = delete;
    CHttpTestServer& operator=(const CHttpTestServer&) = delete;

    void Serve(const Response& response);
    QString Url(const QString& path = QStringLiteral("/downloads/Brisko.esc")) const;
    int Requests() const;
    // The request lines and headers of the last request.
    QByteArray LastRequest() const;

    // For the worker thread.
    Response Current() const;
    void Record(const QByteArray& request);

private:
    std::unique_ptr<QThread> m_thread;
    CHttpTestWorker* m_worker = nullptr;
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    Response m_response;
    int m_requests = 0;
    QByteArray m_lastRequest;
};
