#include "link/CPageBytesCollectorNotify.h"

#include "base/CTorvMessage.h"
#include "link/CSerialPort.h"

CPageBytesCollectorNotify::CPageBytesCollectorNotify(CSerialPort& port, size_t pageSize, QObject* target)
    : CPageBytesCollector(pageSize)
    , m_port(port)
    , m_timeout(std::make_unique<CCollectorTimeout>(target))
{
}

CPageBytesCollectorNotify::~CPageBytesCollectorNotify() = default;

void CPageBytesCollectorNotify::Reset()
{
    m_timeout->Stop();
    CPageBytesCollector::Reset();
}

void CPageBytesCollectorNotify::OnComplete()
{
    m_timeout->Disarm();
    // The copy keeps the echoed request in front of the answer, so that the
    // receiver can tell which page this answer belongs to.
    const auto data = m_window.begin() + 6;
    TorvMessages::Post(m_timeout->Target(), TorvMessages::ByteIn(), 1, reinterpret_cast<quintptr>(&*data),
                       std::vector<uint8_t>(m_window.begin(), data + static_cast<std::ptrdiff_t>(PageSize())));
}

void CPageBytesCollectorNotify::RequestPage(uint16_t page, int limitMs)
{
    Reset();
    m_timeout->Start(limitMs);
    m_port.SendFrame('l', static_cast<uint8_t>(page & 0xFFu), static_cast<uint8_t>(page >> 8));
}
