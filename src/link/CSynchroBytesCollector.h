#pragma once

#include "link/CBytesCollector.h"
#include "link/Event.h"

class CSerialPort;

// Short-answer collector for single-command exchanges: completes when the
// window holds the 5 echoed frame bytes and the device's 'M', value, sum.
class CSynchroBytesCollector : public CBytesCollector {
public:
    explicit CSynchroBytesCollector(CSerialPort& port, size_t capacity = 8);

    void Reset() override;
    bool IsComplete() const override;
    void OnComplete() override;

    // One exchange; the collector must be current. Resets, writes the frame
    // 'M', command, a1, a2, sum and waits at most limitMs for the answer.
    // On success value := window byte 6. On time-out writes the diagnostic
    // lines to the debug log and leaves value unchanged.
    bool GetResponse(uint8_t command, uint8_t a1, uint8_t a2, uint8_t& value, int limitMs);

    // Waits for completion (the event) at most limitMs.
    bool Wait(int limitMs) const;

    // The diagnostic text of a failed exchange: the "failed after" line and
    // the "bytes received" line, each ending in "\r\n".
    static QString FailureText(uint8_t command, uint8_t a1, uint8_t a2, int limitMs,
                               const uint8_t* window, size_t length);

private:
    CSerialPort& m_port;
    Event m_done;
    // The answer value, taken when the answer completed (under m_guard), so
    // that a stray byte arriving afterwards cannot change what the caller gets.
    uint8_t m_value = 0;
};
