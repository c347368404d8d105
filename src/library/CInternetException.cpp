#include "library/CInternetException.h"

CInternetException::CInternetException(const void* handle, int lastError, QString message, QString response,
                                       QString cause)
    : m_handle(handle),
      m_lastError(lastError),
      m_message(std::move(message)),
      m_response(response.isEmpty() ? QStringLiteral("Unknown error") : std::move(response)),
      m_cause(std::move(cause)),
      m_what((m_cause.isEmpty() ? m_message : m_message + QStringLiteral(": ") + m_cause).toUtf8())
{
}
