#pragma once

#include "link/CBytesCollector.h"
#include "link/CCollectorTimeout.h"

#include <memory>
#include <vector>

class CSerialPort;

// Collector of the logger image write: a page send writes the 269-byte
// page write frame 'M', 'u', page low, page high, 264 data bytes, sum, and
// starts the time-out. The window completes when exactly those 269 bytes
// have come back as the echo (first byte 'M'); the target then receives
// TORV_BYTEIN with wParam 1 and lParam = the address of window byte 6; its
// payload is a copy of the 269 echoed bytes.
class CUploadBytesCollector : public CBytesCollector {
public:
    static constexpr size_t kPageBytes = 264;
    static constexpr size_t kFrameBytes = kPageBytes + 5;

    CUploadBytesCollector(CSerialPort& port, size_t capacity = 272, QObject* target = nullptr);
    ~CUploadBytesCollector() override;

    void SetTarget(QObject* target) { m_timeout->SetTarget(target); }

    // Stops the time-out timer and empties the window.
    void Reset() override;
    bool IsComplete() const override;
    void OnComplete() override;

    // Resets, builds the page write frame, starts the time-out of limitMs,
    // then writes the 269 bytes.
    void SendPage(uint16_t page, const uint8_t* data, int limitMs);

    const std::vector<uint8_t>& Frame() const { return m_frame; }
    bool TimeoutArmed() const { return m_timeout->IsArmed(); }

private:
    CSerialPort& m_port;
    std::unique_ptr<CCollectorTimeout> m_timeout;
    std::vector<uint8_t> m_frame;
};
