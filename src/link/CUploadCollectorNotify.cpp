#include "link/CUploadCollectorNotify.h"

#include "base/CTorvMessage.h"
#include "link/CCrc16.h"
#include "link/CSerialPort.h"
#include "link/LinkLog.h"

#include <algorithm>

// The window is n + 7 bytes: the page family's P + 8 with P = n - 1.
CUploadCollectorNotify::CUploadCollectorNotify(CSerialPort& port, size_t blockSize, QObject* target)
    : CPageBytesCollector(blockSize, blockSize + 7)
    , m_port(port)
    , m_timeout(std::make_unique<CCollectorTimeout>(target))
    , m_frame(blockSize + 4, 0)
{
}

CUploadCollectorNotify::~CUploadCollectorNotify() = default;

void CUploadCollectorNotify::Reset()
{
    m_timeout->Stop();
    CPageBytesCollector::Reset();
}

bool CUploadCollectorNotify::IsComplete() const
{
    if (m_length != m_window.size())
        return false;
    const uint8_t* tail = m_window.data() + m_length - 3;
    return tail[0] == 'M' && tail[1] == 'O' && tail[2] == static_cast<uint8_t>('M' + 'O');
}

void CUploadCollectorNotify::OnComplete()
{
    m_timeout->Disarm();
    TorvMessages::Post(m_timeout->Target(), TorvMessages::ByteIn(), 1, 0, m_window);
}

void CUploadCollectorNotify::BlockSend(const uint8_t* data, int limitMs)
{
    Reset();
    const size_t n = BlockSize();
    m_frame[0] = 'M';
    m_frame[1] = 'f';
    std::copy_n(data, n, m_frame.begin() + 2);
    const uint16_t crc = CCrc16::Compute(m_frame.data(), n + 2);
    m_frame[n + 2] = static_cast<uint8_t>(crc >> 8);
    m_frame[n + 3] = static_cast<uint8_t>(crc & 0xFFu);
    if (limitMs > 0)
        m_timeout->Start(limitMs);
    m_port.Write(m_frame.data(), m_frame.size());
    LinkLog::Lines(DumpTable(m_frame.data(), m_frame.size()));
}
