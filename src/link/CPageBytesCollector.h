#pragma once

#include "link/CBytesCollector.h"

// Collector of a block answer of P data bytes: the 5 echoed frame bytes,
// 'M', P data bytes and the CRC-16 over 'M' and the data, low byte first.
// Its window holds P + 8 bytes. Completion has no action here; the derived
// classes add one.
class CPageBytesCollector : public CBytesCollector {
public:
    explicit CPageBytesCollector(size_t pageSize);

    size_t PageSize() const { return m_pageSize; }

    bool IsComplete() const override;
    void OnComplete() override;

    // The page check over a window of pageSize + 8 bytes.
    static bool PageValid(const uint8_t* w, size_t pageSize);

protected:
    // For derived collectors whose window is not P + 8 bytes long.
    CPageBytesCollector(size_t pageSize, size_t capacity);

private:
    size_t m_pageSize;
};
