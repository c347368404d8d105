#include "logger/CLoggerPageCollector.h"

#include <chrono>

CLoggerPageCollector::CLoggerPageCollector(CSerialPort& port, size_t pageSize, QObject* target)
    : CPageBytesCollectorNotify(port, pageSize, target)
{
}

void CLoggerPageCollector::AddBytes(const uint8_t* chunk, size_t count)
{
    if (count > 0)
        m_lastByteMs.store(NowMs());
    CPageBytesCollectorNotify::AddBytes(chunk, count);
}

int64_t CLoggerPageCollector::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
