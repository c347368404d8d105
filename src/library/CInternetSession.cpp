#include "library/CInternetSession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>

#include "library/CInternetException.h"

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
}

CInternetSession::~CInternetSession() = default;
