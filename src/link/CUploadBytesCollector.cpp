#include "link/CUploadBytesCollector.h"

#include "base/CTorvMessage.h"
#include "link/CSerialPort.h"

#include <algorithm>
#include <numeric>

CUploadBytesCollector::CUploadBytesCollector(CSerialPort& port, size_t capacity, QObject* target)
    : CBytesCollector(capacity)
    , m_port(port)
    , m_timeout(std::make_unique<CCollectorTimeout>(target))
    , m_frame(kFrameBytes, 0)
{
}

CUploadBytesCollector::~CUploadBytesCollector() = default;

void CUploadBytesCollector::Reset()
{
    m_timeout->Stop();
    CBytesCollector::Reset();
}

bool CUploadBytesCollector::IsComplete() const
{
    return m_length == kFrameBytes && m_window[0] == 'M';
}

void CUploadBytesCollector::OnComplete()
{
    m_timeout->Disarm();
    TorvMessages::Post(m_timeout->Target(), TorvMessages::ByteIn(), 1, reinterpret_cast<quintptr>(m_window.data() + 6),
                       std::vector<uint8_t>(m_window.begin(), m_window.begin() + static_cast<std::ptrdiff_t>(m_length)));
}

void CUploadBytesCollector::SendPage(uint16_t page, const uint8_t* data, int limitMs)
{
    Reset();
    m_frame[0] = 'M';
    m_frame[1] = 'u';
    m_frame[2] = static_cast<uint8_t>(page & 0xFFu);
    m_frame[3] = static_cast<uint8_t>(page >> 8);
    std::copy_n(data, kPageBytes, m_frame.begin() + 4);
    const unsigned sum = std::accumulate(m_frame.begin(), m_frame.begin() + kFrameBytes - 1, 0u);
    m_frame[kFrameBytes - 1] = static_cast<uint8_t>(sum & 0xFFu);
    m_timeout->Start(limitMs);
    m_port.Write(m_frame.data(), m_frame.size());
}
