#pragma once

#include "link/CCollectorTimeout.h"
#include "link/CPageBytesCollector.h"

#include <memory>
#include <vector>

class CSerialPort;

// Collector of the firmware block transfer. A block send writes 'M', 'f',
// the n data bytes and the CRC-16 over 'M', 'f' and the data, high byte
// first. The window (n + 7 bytes) completes when it holds the n + 4 echoed
// frame bytes followed by the acknowledgement 'M', 'O', 0x9C; the target
// then receives TORV_BYTEIN with wParam 1 and lParam 0; the payload is a
// copy of the completed window (echo and acknowledgement).
class CUploadCollectorNotify : public CPageBytesCollector {
public:
    CUploadCollectorNotify(CSerialPort& port, size_t blockSize, QObject* target = nullptr);
    ~CUploadCollectorNotify() override;

    void SetTarget(QObject* target) { m_timeout->SetTarget(target); }
    size_t BlockSize() const { return m_frame.size() - 4; }

    // Stops the time-out timer and empties the window.
    void Reset() override;
    bool IsComplete() const override;
    void OnComplete() override;

    // Sends one block of BlockSize() bytes: empties the window, builds the
    // frame, starts a time-out when limitMs > 0 (the firmware upload uses
    // none), writes the frame and dumps it to the link log.
    void BlockSend(const uint8_t* data, int limitMs = 0);

    const std::vector<uint8_t>& Frame() const { return m_frame; }
    bool TimeoutArmed() const { return m_timeout->IsArmed(); }

private:
    CSerialPort& m_port;
    std::unique_ptr<CCollectorTimeout> m_timeout;
    std::vector<uint8_t> m_frame;
};
