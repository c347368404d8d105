#include "library/CHttpFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <limits>

#include "library/CInternetException.h"
#include "library/CInternetSession.h"

namespace {
QString tr(const char* text)
{
    return QCoreApplication::translate("CHttpFile", text);
}
}

CHttpFile::CHttpFile(CInternetSession& session, const QString& url, uint32_t flags)
    : m_session(session), m_url(url), m_flags(flags)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString openFailed = tr("Failed to open http url (%1)").arg(url);
    if (!parsed.isValid() || parsed.isRelative())
        throw CInternetException(this, 0, openFailed, QString());

    QNetworkRequest request(parsed);
    request.setHeader(QNetworkRequest::UserAgentHeader, session.Agent());
    // The body must arrive as the server sends it: the content length
    // counts those bytes, so no transparent decompression.
    request.setRawHeader("Accept-Encoding", "identity");
    m_reply = session.Manager().get(request);

    // Redirections are followed by the manager: the headers that count are
    // those of the last answer.
    const auto status = [this] { return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };
    const Wait waited = WaitUntil([&status] { return status() >= 200 && (status() < 300 || status() >= 400); });
    // No answer, no connection, a redirection that was not followed, or an
    // error page instead of the file.
    if (waited == Wait::TimedOut || status() < 200 || status() >= 300) {
        const CInternetException failure(this, LastError(), openFailed, ServerResponse());
        m_reply->abort();
        delete m_reply;
        m_reply = nullptr;
        throw failure;
    }
}

CHttpFile::~CHttpFile()
{
    if (m_reply != nullptr) {
        m_reply->abort();
        delete m_reply;
    }
}

template <typename Ready>
CHttpFile::Wait CHttpFile::WaitUntil(Ready ready)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Any progress (headers, body bytes, the end) wakes the loop and starts
    // the time-out again.
    const auto progress = [&loop, &timer, this] {
        timer.start(m_session.TimeoutMs());
        loop.quit();
    };
    QObject::connect(m_reply, &QNetworkReply::metaDataChanged, &loop, progress);
    QObject::connect(m_reply, &QNetworkReply::readyRead, &loop, progress);
    QObject::connect(m_reply, &QNetworkReply::finished, &loop, progress);
    QObject::connect(m_reply, &QNetworkReply::downloadProgress, &loop, progress);
    timer.start(m_session.TimeoutMs());
    for (;;) {
        if (ready())
            return Wait::Ready;
        if (m_reply->isFinished())
            return Wait::Ended;
        if (!timer.isActive())
            return Wait::TimedOut;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void CHttpFile::QueryInfo(uint32_t query, uint32_t& value, uint32_t* index)
{
    if (index != nullptr)
        *index = 0;
    const uint32_t asked = query | kQueryFlagNumber;
    if (query == kQueryContentLength && m_reply != nullptr) {
        const QVariant header = m_reply->header(QNetworkRequest::ContentLengthHeader);
        bool ok = false;
        const qlonglong length = header.toLongLong(&ok);
        if (header.isValid() && ok && length >= 0 && length <= std::numeric_limits<uint32_t>::max()) {
            value = static_cast<uint32_t>(length);
            return;
        }
    }
    throw CInternetException(this, LastError(), tr("Failed to query http info (%1)").arg(asked), ServerResponse());
}

uint32_t CHttpFile::Read(char* buffer, uint32_t count)
{
    if (m_reply == nullptr)
        throw CInternetException(this, 0, tr("Failed to read from network (%1 bytes)").arg(count), QString());
    const qint64 wanted = static_cast<qint64>(count);
    const Wait waited = WaitUntil([this, wanted] { return m_reply->bytesAvailable() >= wanted; });
    if (waited == Wait::TimedOut) {
        throw CInternetException(this, LastError(), tr("Failed to read from network (%1 bytes)").arg(count),
                                 ServerResponse());
    }
    const qint64 read = m_reply->read(buffer, wanted);
    return read > 0 ? static_cast<uint32_t>(read) : 0;
}

QString CHttpFile::ServerResponse() const
{
    if (m_reply == nullptr)
        return QString();
    const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (!reason.isEmpty())
        return reason;
    return m_reply->error() != QNetworkReply::NoError ? m_reply->errorString() : QString();
}

int CHttpFile::LastError() const
{
    return m_reply != nullptr ? static_cast<int>(m_reply->error()) : 0;
}
