#include "library/CInternetException.h"

CInternetException::CInternetException(const void* handle, int lastError, QString message, QString response)
    : m_handle(handle),
      m_lastError(lastError),
      m_message(std::move(message)),
      m_response(response.isEmpty() ? QStringLiteral("Unknown error") : std::move(response)),
      m_what(m_message.toUtf8())
{
}
