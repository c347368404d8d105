#pragma once

#include <QString>

#include <exception>

// Raised by CInternetSession and CHttpFile when a network step fails. It
// carries the object whose step failed, the network error code seen at that
// moment, the message of the failed step, the server's last response text
// ("Unknown error" when there is none), and the cause in words (the server's
// status and reason, a refused connection, an unknown host, a time-out).
// The message and the cause are shown.
class CInternetException : public std::exception {
public:
    CInternetException(const void* handle, int lastError, QString message, QString response,
                       QString cause = QString());

    const void* Handle() const { return m_handle; }
    int LastError() const { return m_lastError; }
    const QString& Message() const { return m_message; }
    const QString& Response() const { return m_response; }
    // Empty when nothing more than the message is known.
    const QString& Cause() const { return m_cause; }

    const char* what() const noexcept override { return m_what.constData(); }

private:
    const void* m_handle;
    int m_lastError;
    QString m_message;
    QString m_response;
    QString m_cause;
    QByteArray m_what;
};
