#pragma once

#include "link/CPageBytesCollectorNotify.h"

#include <atomic>
#include <cstdint>

// The download's page collector. Besides collecting page answers it notes
// when the line last carried a byte, so that the download can tell when the
// line has fallen silent: a logger page carries no page number, so an answer
// is only ever taken while no other request can still be answered.
class CLoggerPageCollector : public CPageBytesCollectorNotify {
public:
    CLoggerPageCollector(CSerialPort& port, size_t pageSize, QObject* target = nullptr);

    void AddBytes(const uint8_t* chunk, size_t count) override;

    // When the last byte arrived (NowMs), 0 before any byte.
    int64_t LastByteMs() const { return m_lastByteMs.load(); }

    // The steady clock in milliseconds.
    static int64_t NowMs();

private:
    std::atomic<int64_t> m_lastByteMs{0};
};
