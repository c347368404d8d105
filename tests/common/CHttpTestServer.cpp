#include "common/CHttpTestServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

class CHttpTestWorker : public QObject {
public:
    explicit CHttpTestWorker(CHttpTestServer& owner) : m_owner(owner) {}

    quint16 Listen()
    {
        m_server = new QTcpServer(this);
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { Accept(); });
        return m_server->listen(QHostAddress::LocalHost, 0) ? m_server->serverPort() : 0;
    }

private:
    void Accept()
    {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Answer(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void Answer(QTcpSocket* socket)
    {
        QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        const int end = request.indexOf("\r\n\r\n");
        if (end < 0 || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        m_owner.Record(request.left(end));

        const CHttpTestServer::Response response = m_owner.Current();
        if (response.silent)
            return;
        const QByteArray path = request.split(' ').value(1);
        if (!response.redirectTo.isEmpty() && path != response.redirectTo) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + response.redirectTo +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) + " Test\r\n";
        if (response.contentLength)
            reply += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        reply += "Connection: close\r\n\r\n";
        const QByteArray body = response.sentBytes < 0 ? response.body : response.body.left(response.sentBytes);
        socket->write(reply);
        if (response.trickleBytes > 0) {
            Trickle(socket, body, response.trickleBytes, response.trickleGapMs);
            return;
        }
        socket->write(body);
        socket->disconnectFromHost();
    }

    // Sends the next piece of the body after the gap, then the rest the
    // same way; the connection closes after the last piece.
    void Trickle(QTcpSocket* socket, const QByteArray& rest, int bytes, int gapMs)
    {
        if (rest.isEmpty()) {
            socket->disconnectFromHost();
            return;
        }
        QTimer::singleShot(gapMs, socket, [this, socket, rest, bytes, gapMs] {
            socket->write(rest.left(bytes));
            Trickle(socket, rest.mid(bytes), bytes, gapMs);
        });
    }

    CHttpTestServer& m_owner;
    QTcpServer* m_server = nullptr;
};

CHttpTestServer::CHttpTestServer() : m_thread(std::make_unique<QThread>())
{
    m_worker = new CHttpTestWorker(*this);
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    QMetaObject::invokeMethod(m_worker, [this] { m_port = m_worker->Listen(); }, Qt::BlockingQueuedConnection);
}

CHttpTestServer::~CHttpTestServer()
{
    m_thread->quit();
    m_thread->wait();
}

void CHttpTestServer::Serve(const Response& response)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_response = response;
}

CHttpTestServer::Response CHttpTestServer::Current() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_response;
}

void CHttpTestServer::Record(const QByteArray& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests;
    m_lastRequest = request;
}

QString CHttpTestServer::Url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

int CHttpTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

QByteArray CHttpTestServer::LastRequest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastRequest;
}
