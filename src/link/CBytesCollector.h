#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// The receiving end of one exchange. The serial reader thread appends every
// chunk; the collector keeps the newest Capacity() bytes, tests after each
// chunk whether they form a complete, valid answer and if so runs its
// completion action (set an event or post a message).
class CBytesCollector {
public:
    explicit CBytesCollector(size_t capacity);
    virtual ~CBytesCollector();
    CBytesCollector(const CBytesCollector&) = delete;
    CBytesCollector& operator=(const CBytesCollector&) = delete;

    // Runs on the reader thread. A chunk longer than the capacity is ignored.
    // The window is guarded by the collector's own lock, so that a Reset on
    // the user-interface thread never meets a delivery half-way.
    virtual void AddBytes(const uint8_t* chunk, size_t count);
    // Empties the window. Derived classes call it from their own Reset.
    virtual void Reset();
    virtual bool IsComplete() const = 0;
    virtual void OnComplete() = 0;

    const uint8_t* Window() const { return m_window.data(); }
    size_t Length() const { return m_length; }
    size_t Capacity() const { return m_window.size(); }

    // "%d bytes in pool:" followed by " 0x%02x" per byte and "\r\n".
    QString DumpInline() const;
    static QString DumpInline(const uint8_t* bytes, size_t count);
    // "%d bytes in pool:\r\n" then hex-and-text lines of 16 bytes.
    QString DumpTable() const;
    static QString DumpTable(const uint8_t* bytes, size_t count);

    // The short-answer check: echo of a 5-byte frame then 'M', value, sum.
    static bool ShortAnswerValid(const uint8_t* w);

protected:
    // IsComplete and OnComplete run with this lock held (inside AddBytes).
    mutable std::mutex m_guard;
    std::vector<uint8_t> m_window;
    size_t m_length = 0;
};
