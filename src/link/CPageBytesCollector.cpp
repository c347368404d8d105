#include "link/CPageBytesCollector.h"

#include "link/CCrc16.h"

CPageBytesCollector::CPageBytesCollector(size_t pageSize)
    : CPageBytesCollector(pageSize, pageSize + 8)
{
}

CPageBytesCollector::CPageBytesCollector(size_t pageSize, size_t capacity)
    : CBytesCollector(capacity)
    , m_pageSize(pageSize)
{
}

bool CPageBytesCollector::IsComplete() const
{
    return m_length == m_window.size() && m_length == m_pageSize + 8 && PageValid(m_window.data(), m_pageSize);
}

void CPageBytesCollector::OnComplete()
{
}

bool CPageBytesCollector::PageValid(const uint8_t* w, size_t pageSize)
{
    if (w[0] != 'M' || w[5] != 'M')
        return false;
    if (w[4] != static_cast<uint8_t>(w[0] + w[1] + w[2] + w[3]))
        return false;
    const uint16_t crc = CCrc16::Compute(w + 5, pageSize + 1);
    const uint16_t stored = static_cast<uint16_t>(w[pageSize + 6] | (w[pageSize + 7] << 8));
    return crc == stored;
}
