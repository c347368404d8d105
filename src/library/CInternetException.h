#pragma once

#include <QString>

#include <exception>

// Raised by CInternetSession and CHttpFile when a network step fails. It
// carries the object whose step failed, the network error code seen at that
// moment, the message shown to the user, and the server's last response text
// ("Unknown error" when there is none). Only the message is shown.
class CInternetException : public std::exception {
public:
    CInternetException(const void* handle, int lastError, QString message, QString response);

    const void* Handle() const { return m_handle; }
    int LastError() const { return m_lastError; }
    const QString& Message() const { return m_message; }
    const QString& Response() const { return m_response; }

    const char* what() const noexcept override { return m_what.constData(); }

private:
    const void* m_handle;
    int m_lastError;
    QString m_message;
    QString m_response;
    QByteArray m_what;
};
