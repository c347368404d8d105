#include "link/CPageBytesCollectorSynchro.h"

#include "link/CSerialPort.h"

#include <algorithm>

CPageBytesCollectorSynchro::CPageBytesCollectorSynchro(CSerialPort& port, size_t pageSize)
    : CPageBytesCollector(pageSize)
    , m_port(port)
    , m_data(pageSize, 0)
{
}

void CPageBytesCollectorSynchro::Reset()
{
    CPageBytesCollector::Reset();
    m_done.Reset();
}

void CPageBytesCollectorSynchro::OnComplete()
{
    std::copy_n(m_window.begin() + 6, m_data.size(), m_data.begin());
    m_done.Set();
}

bool CPageBytesCollectorSynchro::Wait(int limitMs) const
{
    return m_done.Wait(limitMs);
}

bool CPageBytesCollectorSynchro::RangeRead(uint8_t first, uint8_t last, uint8_t* out, int limitMs)
{
    Reset();
    m_port.SendFrame('R', first, last);
    if (!Wait(limitMs))
        return false;
    std::lock_guard<std::mutex> lock(m_guard);
    std::copy(m_data.begin(), m_data.end(), out);
    return true;
}
