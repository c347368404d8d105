#pragma once

#include "link/CPageBytesCollector.h"
#include "link/Event.h"

#include <vector>

class CSerialPort;

// Block-answer collector that a waiting caller blocks on: the range read of
// the cell image.
class CPageBytesCollectorSynchro : public CPageBytesCollector {
public:
    CPageBytesCollectorSynchro(CSerialPort& port, size_t pageSize);

    void Reset() override;
    void OnComplete() override;

    // One attempt of a range read; the collector must be current. Resets,
    // sends 'M', 'R', first, last, sum and waits at most limitMs. On success
    // copies the PageSize() data bytes to out[0..] and returns true.
    bool RangeRead(uint8_t first, uint8_t last, uint8_t* out, int limitMs);

    bool Wait(int limitMs) const;

private:
    CSerialPort& m_port;
    Event m_done;
    // The page data, copied when the answer completed (under m_guard).
    std::vector<uint8_t> m_data;
};
