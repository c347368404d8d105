#pragma once

#include "link/CCollectorTimeout.h"
#include "link/CPageBytesCollector.h"

#include <memory>

class CSerialPort;

// Block-answer collector of the logger download: a page request sends 'l'
// and starts the one-shot time-out; the result reaches the target as
// TORV_BYTEIN, wParam 1 with lParam = the address of the page data (window
// byte 6) on completion, or wParam 0 and lParam 0 when the time-out expired.
// The completion message carries a copy of the echoed request, the answer's
// 'M' and the page data (window bytes 0 to 5 + page size) as its payload;
// read that, not the window, which the reader thread keeps shifting while
// bytes arrive.
// Create, reset and destroy it on the user-interface thread.
class CPageBytesCollectorNotify : public CPageBytesCollector {
public:
    CPageBytesCollectorNotify(CSerialPort& port, size_t pageSize, QObject* target = nullptr);
    ~CPageBytesCollectorNotify() override;

    void SetTarget(QObject* target) { m_timeout->SetTarget(target); }

    // Stops the time-out timer and empties the window.
    void Reset() override;
    void OnComplete() override;

    // Resets, starts the time-out of limitMs and sends 'M', 'l', page low,
    // page high, sum. The timer is started before the frame goes out so
    // that an answer arriving at once cannot be followed by a time-out.
    void RequestPage(uint16_t page, int limitMs);

    const uint8_t* PageData() const { return m_window.data() + 6; }
    bool TimeoutArmed() const { return m_timeout->IsArmed(); }

private:
    CSerialPort& m_port;
    std::unique_ptr<CCollectorTimeout> m_timeout;
};
