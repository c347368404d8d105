#include "library/CInternetSession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

#include "library/CInternetException.h"

namespace {
// The proxy the system is set up with (http_proxy, https_proxy, no_proxy),
// as for any other program of the desktop.
class CSystemProxyFactory : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return systemProxyForQuery(query);
    }
};
}

CInternetSession::CInternetSession(const QString& agent)
{
    if (QCoreApplication::instance() == nullptr) {
        throw CInternetException(this, 0, QCoreApplication::translate("CInternetSession",
                                                                      "Failed to open an internet session"),
                                 QString());
    }
    m_agent = agent;
    if (m_agent.isEmpty())
        m_agent = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (m_agent.isEmpty())
        m_agent = QStringLiteral("TORV");
    m_manager = std::make_unique<QNetworkAccessManager>();
    m_manager->setProxyFactory(new CSystemProxyFactory);
}

CInternetSession::~CInternetSession() = default;
