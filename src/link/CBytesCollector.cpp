#include "link/CBytesCollector.h"

#include <cstring>

CBytesCollector::CBytesCollector(size_t capacity)
    : m_window(capacity, 0)
{
}

CBytesCollector::~CBytesCollector() = default;

void CBytesCollector::AddBytes(const uint8_t* chunk, size_t count)
{
    const size_t capacity = m_window.size();
    if (count == 0 || count > capacity)
        return;

    std::lock_guard<std::mutex> lock(m_guard);
    if (capacity - m_length < count) {
        // Keep only the newest bytes: drop the oldest ones that do not fit.
        const size_t drop = m_length + count - capacity;
        if (drop >= m_length) {
            m_length = 0;
        } else {
            std::memmove(m_window.data(), m_window.data() + drop, m_length - drop);
            m_length -= drop;
        }
    }
    std::memcpy(m_window.data() + m_length, chunk, count);
    m_length += count;

    if (IsComplete())
        OnComplete();
}

void CBytesCollector::Reset()
{
    std::lock_guard<std::mutex> lock(m_guard);
    m_length = 0;
}

QString CBytesCollector::DumpInline() const
{
    std::lock_guard<std::mutex> lock(m_guard);
    return DumpInline(m_window.data(), m_length);
}

QString CBytesCollector::DumpInline(const uint8_t* bytes, size_t count)
{
    QString text = QString::asprintf("%d bytes in pool:", static_cast<int>(count));
    for (size_t i = 0; i < count; ++i)
        text += QString::asprintf(" 0x%02x", bytes[i]);
    text += QStringLiteral("\r\n");
    return text;
}

QString CBytesCollector::DumpTable() const
{
    std::lock_guard<std::mutex> lock(m_guard);
    return DumpTable(m_window.data(), m_length);
}

QString CBytesCollector::DumpTable(const uint8_t* bytes, size_t count)
{
    constexpr size_t kPerLine = 16;
    QString text = QString::asprintf("%d bytes in pool:\r\n", static_cast<int>(count));
    for (size_t offset = 0; offset < count; offset += kPerLine) {
        const size_t inLine = (count - offset < kPerLine) ? count - offset : kPerLine;
        text += QString::asprintf("%04X: ", static_cast<unsigned>(offset));
        for (size_t i = 0; i < kPerLine; ++i) {
            if (i < inLine)
                text += QString::asprintf("%02X ", bytes[offset + i]);
            else
                text += QStringLiteral("   ");
        }
        text += QStringLiteral("  ");
        for (size_t i = 0; i < inLine; ++i) {
            const uint8_t b = bytes[offset + i];
            text += (b < 32 || b >= 128) ? QChar('.') : QChar(static_cast<char16_t>(b));
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

bool CBytesCollector::ShortAnswerValid(const uint8_t* w)
{
    return w[0] == 'M'
        && w[4] == static_cast<uint8_t>(w[0] + w[1] + w[2] + w[3])
        && w[5] == 'M'
        && w[7] == static_cast<uint8_t>(w[5] + w[6]);
}
