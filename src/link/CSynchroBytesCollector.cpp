#include "link/CSynchroBytesCollector.h"

#include "link/CSerialPort.h"
#include "link/LinkLog.h"

namespace {
constexpr size_t kShortAnswerLength = 8;
}

CSynchroBytesCollector::CSynchroBytesCollector(CSerialPort& port, size_t capacity)
    : CBytesCollector(capacity)
    , m_port(port)
{
}

void CSynchroBytesCollector::Reset()
{
    CBytesCollector::Reset();
    m_done.Reset();
}

bool CSynchroBytesCollector::IsComplete() const
{
    return m_length == kShortAnswerLength && ShortAnswerValid(m_window.data());
}

void CSynchroBytesCollector::OnComplete()
{
    m_value = m_window[6];
    m_done.Set();
}

bool CSynchroBytesCollector::Wait(int limitMs) const
{
    return m_done.Wait(limitMs);
}

bool CSynchroBytesCollector::GetResponse(uint8_t command, uint8_t a1, uint8_t a2, uint8_t& value, int limitMs)
{
    Reset();
    m_port.SendFrame(command, a1, a2);
    if (Wait(limitMs)) {
        std::lock_guard<std::mutex> lock(m_guard);
        value = m_value;
        return true;
    }

    QString text;
    {
        std::lock_guard<std::mutex> lock(m_guard);
        text = FailureText(command, a1, a2, limitMs, m_window.data(), m_length);
    }
    LinkLog::Lines(text);
    return false;
}

QString CSynchroBytesCollector::FailureText(uint8_t command, uint8_t a1, uint8_t a2, int limitMs,
                                            const uint8_t* window, size_t length)
{
    QString text = QString::asprintf("CSynchroBytesCollector::GetResponse(%c, 0x%02x, 0x%02x) failed after %d mSec\r\n",
                                     static_cast<char>(command), a1, a2, limitMs);
    text += QString::asprintf("%d bytes received: ", static_cast<int>(length));
    for (size_t i = 0; i < length; ++i)
        text += QString::asprintf("0x%02x ", window[i]);
    text += QStringLiteral("\r\n");
    return text;
}
