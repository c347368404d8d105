#include "link/CDeviceProtocol.h"

#include <algorithm>

#include "link/CPageBytesCollectorSynchro.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/IProtocolHost.h"

namespace {
constexpr uint8_t kProbeAnswer = 'O';
constexpr int kReadAttempts = 3;
constexpr int kRangeAttempts = 3;
constexpr int kUpgradeProbes = 3;
constexpr int kIdentityCells[] = {64, 65, 66, 70};
constexpr uint8_t kSpeedCell = 94;
constexpr uint8_t kReturnSpeedCode = 0x04;
}

const std::array<CDeviceProtocol::SpeedEntry, 8>& CDeviceProtocol::SpeedTable()
{
    static const std::array<SpeedEntry, 8> table = {{
        {4800, true, 0x01},
        {9600, true, 0x02},
        {19200, true, 0x04},
        {38400, true, 0x08},
        {57600, true, 0x10},
        {115200, true, 0x20},
        {230400, true, 0x40},
        {460800, true, 0x80},
    }};
    return table;
}

CDeviceProtocol::CDeviceProtocol(CSerialPort& port, CSynchroBytesCollector& shortCollector, IProtocolHost& host)
    : m_port(port), m_short(shortCollector), m_host(host)
{
}

void CDeviceProtocol::SetCapabilities(bool speedChangeAllowed, bool rangeReadsAllowed)
{
    m_speedChangeAllowed = speedChangeAllowed;
    m_rangeReadsAllowed = rangeReadsAllowed;
}

bool CDeviceProtocol::SendCommand(uint8_t command, uint8_t a1, uint8_t a2, uint8_t& value, int limitMs,
                                  bool restartRefresh)
{
    m_host.StopRefreshTimer();
    if (!m_port.IsOpen()) {
        // Nothing can answer on a closed port: fail at once rather than wait
        // out the limit (leaving the link before the first attempt would
        // otherwise cost every start-up 100 ms).
        if (restartRefresh)
            m_host.RestartRefreshTimer();
        return false;
    }
    m_port.SetCollector(&m_short);
    const int attempts = command == 'r' ? kReadAttempts : 1;
    bool ok = false;
    for (int i = 0; i < attempts && !ok; ++i)
        ok = m_short.GetResponse(command, a1, a2, value, limitMs);
    m_port.ResetCollector();
    if (restartRefresh)
        m_host.RestartRefreshTimer();
    return ok;
}

bool CDeviceProtocol::LoadCell(int cell, uint8_t& value)
{
    return SendCommand('r', 'e', static_cast<uint8_t>(cell), value, kShortLimitMs, true);
}

bool CDeviceProtocol::LoadCells(uint8_t first, uint8_t last, uint8_t* out)
{
    if (!m_rangeReadsAllowed || last < first || out == nullptr)
        return false;
    const size_t count = static_cast<size_t>(last) - first + 1;
    CPageBytesCollectorSynchro collector(m_port, count);
    m_host.StopRefreshTimer();
    m_port.SetCollector(&collector);
    std::fill(out + first, out + first + count, 0xFF);
    bool ok = false;
    for (int i = 0; i < kRangeAttempts && !ok; ++i)
        ok = collector.RangeRead(first, last, out + first, kShortLimitMs);
    m_port.ResetCollector();
    m_host.RestartRefreshTimer();
    return ok;
}

bool CDeviceProtocol::WriteCell(uint8_t cell, uint8_t value)
{
    uint8_t answer = 0;
    return SendCommand('w', cell, value, answer, kShortLimitMs, true);
}

bool CDeviceProtocol::ChangeLinkSpeed(int requestedBaud)
{
    const auto& table = SpeedTable();
    if (requestedBaud != 0) {
        auto entry = std::find_if(table.rbegin(), table.rend(),
                                  [requestedBaud](const SpeedEntry& e) { return e.baud == requestedBaud; });
        if (entry == table.rend())
            return false;
        m_host.StopRefreshTimer();
        uint8_t answer = 0;
        m_port.SetCollector(&m_short);
        m_short.GetResponse('S', 'P', entry->code, answer, kShortLimitMs);
        m_port.ResetCollector();
        if (!m_port.Open(m_port.PortName(), entry->baud)) {
            m_host.ReconnectWithRestart();
            return true;
        }
        Probe();
        return true;
    }

    if (!m_speedChangeAllowed)
        return false;
    uint8_t speeds = 0;
    if (!LoadCell(kSpeedCell, speeds) || speeds == 0 || speeds == 0xFF)
        return false;
    // A negative stored speed compares as a huge unsigned number, so the
    // "use default settings" choice of the port setup never upgrades.
    const auto bound = static_cast<uint32_t>(m_storedLinkSpeed);
    const int cap = m_maxLinkSpeed;
    auto entry = std::find_if(table.rbegin(), table.rend(), [speeds, bound, cap](const SpeedEntry& e) {
        return e.enabled && (speeds & e.code) != 0 && static_cast<uint32_t>(e.baud) > bound
            && (cap == 0 || e.baud <= cap);
    });
    if (entry == table.rend())
        return false;

    uint8_t answer = 0;
    SendCommand('s', 'e', 't', answer, kShortLimitMs, false);
    SendCommand('S', 'P', entry->code, answer, kSpeedChangeLimitMs, false);
    if (!m_port.Open(m_port.PortName(), entry->baud)) {
        m_host.ReconnectWithRestart();
        return true;
    }
    for (int i = 0; i < kUpgradeProbes; ++i) {
        if (Probe())
            break;
    }
    m_storedLinkSpeed = entry->baud;
    return true;
}

CDeviceProtocol::HandshakeResult CDeviceProtocol::Handshake(const QString& portName, uint32_t& attempt,
                                                            Identity& identity)
{
    const int baud = (attempt & 1U) != 0 ? 4800 : kDefaultLinkSpeed;
    if (!m_port.Open(portName, baud))
        return HandshakeResult::PortNotOpened;
    ++attempt;
    if (!Probe())
        return HandshakeResult::NoAnswer;

    std::array<uint8_t, 4> cells{};
    for (size_t i = 0; i < cells.size(); ++i) {
        if (!SendCommand('r', 'e', kIdentityCells[i], cells[i], kShortLimitMs, false))
            return HandshakeResult::CellReadFailed;
    }
    identity = Identity{cells[0], cells[1], cells[2], cells[3]};
    return HandshakeResult::Answered;
}

bool CDeviceProtocol::ProbeOnce(bool restartRefresh)
{
    uint8_t answer = 0;
    return SendCommand('s', 'e', 't', answer, kShortLimitMs, restartRefresh) && answer == kProbeAnswer;
}

bool CDeviceProtocol::IsPresent()
{
    return ProbeOnce(true);
}

bool CDeviceProtocol::Probe()
{
    return ProbeOnce(false);
}

void CDeviceProtocol::LeaveLink()
{
    uint8_t answer = 0;
    SendCommand('S', 'P', kReturnSpeedCode, answer, kLeaveLimitMs, false);
}

void CDeviceProtocol::Pause(int ms) const
{
    m_pause.Wait(ms);
}
