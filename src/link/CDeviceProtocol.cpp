#include "link/CDeviceProtocol.h"

#include <algorithm>
#include <vector>

#include "link/CLimitFactor.h"
#include "link/CPageBytesCollectorSynchro.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/IProtocolHost.h"
#include "link/LinkLog.h"

namespace {
constexpr uint8_t kProbeAnswer = 'O';
constexpr int kReadAttempts = 3;
constexpr int kRangeAttempts = 3;
constexpr int kUpgradeProbes = 3;
constexpr int kIdentityCells[] = {64, 65, 66, 70};
constexpr uint8_t kSpeedCell = 94;
constexpr uint8_t kReturnSpeedCode = 0x04;
constexpr int kQuietWaitsAtMost = 5;
constexpr long long kQuietPollMs = 5;   // how soon a drained arrival is noticed
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

CDeviceProtocol::Limits CDeviceProtocol::Limits::FromEnvironment()
{
    Limits limits;
    limits.shortAnswerMs = CLimitFactor::Stretch(limits.shortAnswerMs);
    limits.leaveMs = CLimitFactor::Stretch(limits.leaveMs);
    limits.speedChangeMs = CLimitFactor::Stretch(limits.speedChangeMs);
    limits.rangeReadMs = CLimitFactor::Stretch(limits.rangeReadMs);
    limits.quietMs = CLimitFactor::Stretch(limits.quietMs);
    return limits;
}

CDeviceProtocol::CDeviceProtocol(CSerialPort& port, CSynchroBytesCollector& shortCollector, IProtocolHost& host)
    : m_port(port), m_short(shortCollector), m_host(host), m_limits(Limits::FromEnvironment())
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
    AwaitQuietLine();
    m_port.SetCollector(&m_short);
    const int attempts = command == 'r' ? kReadAttempts : 1;
    const Clock::time_point firstSent = Clock::now();
    bool ok = false;
    int tried = 0;
    while (tried < attempts && !ok) {
        ok = m_short.GetResponse(command, a1, a2, value, limitMs);
        ++tried;
    }
    m_port.ResetCollector();
    NoteExchange(firstSent, tried, ok);
    if (restartRefresh)
        m_host.RestartRefreshTimer();
    return ok;
}

void CDeviceProtocol::NoteExchange(Clock::time_point firstSent, int tried, bool answered)
{
    if (answered && tried == 1)
        return;
    // An answer taken after a time-out belongs to the oldest frame (the ESC
    // answers in order): its delay is how late this ESC answers now.
    const Clock::time_point now = Clock::now();
    m_owed = OwedAnswers{true, firstSent, now, answered ? now - firstSent : Clock::duration::zero(),
                         m_port.LinkSpeed()};
}

void CDeviceProtocol::AwaitQuietLine()
{
    if (!m_owed.mayCome)
        return;
    const OwedAnswers owed = m_owed;
    m_owed = OwedAnswers{};
    if (m_port.LinkSpeed() != owed.baud)
        return;
    m_port.ResetCollector();   // the default collector drops what arrives
    const Clock::time_point start = Clock::now();
    Clock::duration lateness = owed.lateness;
    for (;;) {
        const Clock::time_point arrival = m_port.LastArrival();
        if (lateness == Clock::duration::zero() && arrival > owed.since)
            lateness = arrival - owed.oldestSent;
        const Clock::duration quiet = std::chrono::milliseconds(m_limits.quietMs) + lateness;
        // A line that never falls silent (noise, a wrong speed) must not
        // hold the program: after a few silences' time the request goes.
        const Clock::time_point end = std::min(std::max(owed.since, arrival) + quiet, start + kQuietWaitsAtMost * quiet);
        const Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        m_pause.Wait(static_cast<int>(std::min<long long>(left, kQuietPollMs)));
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (waited > 0)
        LinkLog::Lines(QStringLiteral("Waited %1 mSec for the line to fall silent after a time-out\r\n").arg(waited));
}

bool CDeviceProtocol::LoadCell(int cell, uint8_t& value)
{
    return SendCommand('r', 'e', static_cast<uint8_t>(cell), value, m_limits.shortAnswerMs, true);
}

bool CDeviceProtocol::LoadCells(uint8_t first, uint8_t last, uint8_t* out)
{
    if (!m_rangeReadsAllowed || last < first || out == nullptr)
        return false;
    m_host.StopRefreshTimer();
    if (!m_port.IsOpen()) {
        m_host.RestartRefreshTimer();
        return false;
    }
    const size_t count = static_cast<size_t>(last) - first + 1;
    CPageBytesCollectorSynchro collector(m_port, count);
    // The answer lands in a scratch buffer: the caller's array (often the
    // cell image itself) only ever receives a complete, checked answer.
    std::vector<uint8_t> scratch(count);
    AwaitQuietLine();
    m_port.SetCollector(&collector);
    const Clock::time_point firstSent = Clock::now();
    bool ok = false;
    int tried = 0;
    while (tried < kRangeAttempts && !ok) {
        ok = collector.RangeRead(first, last, scratch.data(), m_limits.rangeReadMs);
        ++tried;
    }
    NoteExchange(firstSent, tried, ok);
    m_port.ResetCollector();
    m_host.RestartRefreshTimer();
    if (ok)
        std::copy(scratch.begin(), scratch.end(), out + first);
    return ok;
}

bool CDeviceProtocol::WriteCell(uint8_t cell, uint8_t value)
{
    uint8_t answer = 0;
    return SendCommand('w', cell, value, answer, m_limits.shortAnswerMs, true);
}

bool CDeviceProtocol::ChangeLinkSpeed(int requestedBaud)
{
    const auto& table = SpeedTable();
    if (requestedBaud != 0) {
        auto entry = std::find_if(table.rbegin(), table.rend(),
                                  [requestedBaud](const SpeedEntry& e) { return e.baud == requestedBaud; });
        if (entry == table.rend())
            return false;
        if (!m_port.IsOpen())
            return false;  // no line, no device to tell: nothing to change
        m_host.StopRefreshTimer();
        uint8_t answer = 0;
        AwaitQuietLine();
        m_port.SetCollector(&m_short);
        const Clock::time_point sent = Clock::now();
        NoteExchange(sent, 1, m_short.GetResponse('S', 'P', entry->code, answer, m_limits.shortAnswerMs));
        m_port.ResetCollector();
        if (!m_port.Open(m_port.PortName(), entry->baud)) {
            m_host.ReconnectWithRestart();
            return true;
        }
        Probe();
        return true;
    }

    if (!m_speedChangeAllowed || !m_port.IsOpen())
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
    SendCommand('s', 'e', 't', answer, m_limits.shortAnswerMs, false);
    SendCommand('S', 'P', entry->code, answer, m_limits.speedChangeMs, false);
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
        if (!SendCommand('r', 'e', kIdentityCells[i], cells[i], m_limits.shortAnswerMs, false))
            return HandshakeResult::CellReadFailed;
    }
    identity = Identity{cells[0], cells[1], cells[2], cells[3]};
    return HandshakeResult::Answered;
}

bool CDeviceProtocol::ProbeOnce(bool restartRefresh)
{
    uint8_t answer = 0;
    return SendCommand('s', 'e', 't', answer, m_limits.shortAnswerMs, restartRefresh) && answer == kProbeAnswer;
}

bool CDeviceProtocol::IsPresent()
{
    return ProbeOnce(true);
}

bool CDeviceProtocol::Probe()
{
    return ProbeOnce(false);
}

bool CDeviceProtocol::LeaveLink()
{
    m_storedLinkSpeed = m_setupLinkSpeed;
    uint8_t answer = 0;
    return SendCommand('S', 'P', kReturnSpeedCode, answer, m_limits.leaveMs, false);
}

void CDeviceProtocol::Pause(int ms) const
{
    m_pause.Wait(ms);
}
