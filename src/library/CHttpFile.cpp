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
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || parsed.isRelative() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        throw CInternetException(this, 0, openFailed, QString(), tr("this is no http or https URL"));

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
    if (waited == Wait::Cancelled || waited == Wait::TimedOut || status() < 200 || status() >= 300) {
        const CInternetException failure(this, LastError(), openFailed, ServerResponse(), Cause(waited));
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
    // A request to stop is looked at between the network's events too.
    QTimer cancelPoll;
    QObject::connect(&cancelPoll, &QTimer::timeout, &loop, &QEventLoop::quit);
    cancelPoll.start(kCancelPollMs);
    for (;;) {
        if (m_session.CancelRequested())
            return Wait::Cancelled;
        if (ready())
            return Wait::Ready;
        if (m_reply->isFinished())
            return Wait::Ended;
        if (!timer.isActive())
            return Wait::TimedOut;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

QString CHttpFile::Seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

QString CHttpFile::Cause(Wait waited) const
{
    if (waited == Wait::Cancelled)
        return tr("cancelled");
    if (waited == Wait::TimedOut)
        return tr("no answer within %1 s").arg(Seconds(m_session.TimeoutMs()));
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0) {
        const QString reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        return tr("the server answered %1 %2").arg(status).arg(reason).trimmed();
    }
    const QUrl url = m_reply->url();
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        return QString();
    case QNetworkReply::ConnectionRefusedError:
        return tr("the connection to %1 was refused").arg(url.authority());
    case QNetworkReply::HostNotFoundError:
        return tr("the host %1 was not found").arg(url.host());
    case QNetworkReply::TimeoutError:
        return tr("the connection to %1 timed out").arg(url.authority());
    default:
        return m_reply->errorString();
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
    throw CInternetException(this, LastError(), tr("Failed to query http info (%1)").arg(asked), ServerResponse(),
                             tr("the server sent no content length"));
}

uint32_t CHttpFile::Read(char* buffer, uint32_t count)
{
    if (m_reply == nullptr)
        throw CInternetException(this, 0, tr("Failed to read from network (%1 bytes)").arg(count), QString());
    const qint64 wanted = static_cast<qint64>(count);
    const Wait waited = WaitUntil([this, wanted] { return m_reply->bytesAvailable() >= wanted; });
    if (waited == Wait::TimedOut || waited == Wait::Cancelled) {
        const QString cause = waited == Wait::Cancelled
                                  ? tr("cancelled")
                                  : tr("no data arrived for %1 s").arg(Seconds(m_session.TimeoutMs()));
        throw CInternetException(this, LastError(), tr("Failed to read from network (%1 bytes)").arg(count),
                                 ServerResponse(), cause);
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
