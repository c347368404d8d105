#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Splits a fuzzer's input into the values a target needs. Each read takes
// bytes from the front; once the input is used up, reads give zeros and
// empty texts, so every input drives the target to its end.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_data(data), m_size(size)
    {
    }

    bool Empty() const { return m_pos >= m_size; }
    size_t Remaining() const { return m_size - m_pos; }

    uint8_t Byte()
    {
        return Empty() ? 0 : m_data[m_pos++];
    }

    uint16_t Word()
    {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }

    bool Bool() { return (Byte() & 1) != 0; }

    // Up to count bytes.
    QByteArray Bytes(size_t count)
    {
        const size_t n = std::min(count, Remaining());
        const QByteArray bytes(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(n));
        m_pos += n;
        return bytes;
    }

    // A length byte followed by that many bytes.
    QByteArray Chunk() { return Bytes(Byte()); }

    // A chunk read as UTF-8 (invalid sequences become replacement characters).
    QString Text() { return QString::fromUtf8(Chunk()); }

    QByteArray Rest() { return Bytes(Remaining()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Every target defines this; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
