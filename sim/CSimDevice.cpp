#include "CSimDevice.h"

#include "CSimFrameParser.h"
#include "CSimLogGenerator.h"
#include "SimCrc16.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t kReady = 'O';
constexpr uint8_t kRefused = 'N';
constexpr std::size_t kPageSize = CSimLogGenerator::kPageSize;
constexpr std::size_t kRecordSize = 64;

// Flash work: erasing all of the logger, or one block of it.
constexpr int kEraseAllUs = 250000;
constexpr int kEraseBlockUs = 30000;

// The motor the telemetry reports: 4-cell pack, 9000 rpm at full throttle.
constexpr double kMaxRpm = 9000.0;
constexpr double kMaxCurrent = 75.0;
constexpr double kPackVoltage = 16.5;
constexpr double kInternalResistance = 0.018;
constexpr double kAmbient = 25.0;
// Without a servo signal for this long the ESC closes the throttle.
constexpr auto kSignalLoss = std::chrono::milliseconds(500);

bool IsSingleBit(uint8_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

void PutWord(std::vector<uint8_t>& bytes, std::size_t at, long value)
{
    const auto clamped = static_cast<uint16_t>(std::clamp(value, 0L, 65535L));
    bytes[at] = static_cast<uint8_t>(clamped & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(clamped >> 8);
}

} // namespace

CSimDevice::CSimDevice(const CSimProfile& profile, const Settings& settings)
    : m_settings(settings)
{
    m_start = Clock::now();
    m_lastMotorUpdate = m_start;
    m_lastServo = m_start;
    LoadProfile(profile);
    if (settings.corruptedVersion255) {
        m_cells[CSimProfile::kCellMajor] = 0xFF;
        m_cells[CSimProfile::kCellMinor] = 0xFF;
    } else if (settings.corruptedFirmware) {
        m_cells[CSimProfile::kCellMajor] = 0x00;
        m_cells[CSimProfile::kCellMinor] = 0x00;
    }
    if (settings.bootloaderOnly)
        EnterBootloaderOnly();
}

void CSimDevice::EnterBootloaderOnly()
{
    // Only the boot loader is left: it knows the device type and the
    // hardware; the rest of the cell memory reads erased.
    m_application = false;
    m_loaderActive = false;
    std::array<uint8_t, 256> cells{};
    cells.fill(0xFF);
    cells[CSimProfile::kCellType] = m_cells[CSimProfile::kCellType];
    cells[CSimProfile::kCellHardware] = m_cells[CSimProfile::kCellHardware];
    cells[CSimProfile::kCellSpeeds] = 0x04;
    m_cells = cells;
}

void CSimDevice::PowerUp()
{
    m_baud = kStartBaud;
    // Blocks have overwritten part of the old firmware: only the boot loader runs.
    if (m_loaderActive && m_blocksReceived > 0)
        EnterBootloaderOnly();
    m_loaderActive = false;
    m_servo = 0;
    m_rpm = 0.0;
    m_current = 0.0;
    m_lastMotorUpdate = Clock::now();
}

void CSimDevice::LoadProfile(const CSimProfile& profile)
{
    m_profile = profile;
    if (m_profile.memBlocks > 0 && m_settings.loggerPages > 0)
        m_profile.memBlocks = m_settings.loggerPages;
    m_cells = profile.InitialCells();
    if (m_profile.memBlocks > 0) {
        if (m_logger.size() != static_cast<std::size_t>(m_profile.memBlocks) * kPageSize)
            m_logger = CSimLogGenerator::Build(m_profile, m_cells);
        UpdateLoggerStatus();
    } else {
        m_logger.clear();
    }
}

int CSimDevice::BaudOfCode(uint8_t code)
{
    static const int bauds[8] = {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
    if (!IsSingleBit(code))
        return 0;
    for (int bit = 0; bit < 8; ++bit)
        if (code == (1U << bit))
            return bauds[bit];
    return 0;
}

std::vector<uint8_t> CSimDevice::Short(uint8_t value)
{
    return {'M', value, static_cast<uint8_t>('M' + value)};
}

std::vector<uint8_t> CSimDevice::Block(const uint8_t* data, std::size_t size)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(size + 3);
    bytes.push_back('M');
    bytes.insert(bytes.end(), data, data + size);
    const uint16_t crc = SimCrc16(bytes.data(), bytes.size());
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

bool CSimDevice::Handle(const std::vector<uint8_t>& frame, Clock::time_point now, Answer& answer)
{
    answer = Answer{};
    if (frame.size() < CSimFrameParser::kCommandSize || frame[0] != 'M')
        return false;
    const uint8_t letter = frame[1];
    const bool query = letter == 'u' && frame.size() == CSimFrameParser::kCommandSize;

    if (query) {
        if (!m_settings.firmwareUploadSupported) {
            answer.bytes = Short(kRefused);
            return true;
        }
        m_loaderActive = true;
        m_blocksReceived = 0;
        m_image.clear();
        answer.bytes = Short(kReady);
        return true;
    }
    if (letter == 'f') {
        if (!m_loaderActive)
            return false;
        m_image.insert(m_image.end(), frame.begin() + 2, frame.begin() + 2 + CSimFrameParser::kBlockDataSize);
        ++m_blocksReceived;
        answer.bytes = Short(kReady);
        // A boot loader that knows the image size starts the firmware after its last block.
        if (m_settings.firmwarePages > 0 && m_blocksReceived == m_settings.firmwarePages) {
            FinishUpload();
            m_loaderActive = false;
        }
        return true;
    }
    if (m_loaderActive) {
        // An ordinary command after blocks: with a known image size, the image
        // is whole only if every block has come (else the firmware is half
        // overwritten and only the boot loader is left); with none, the
        // blocks so far are the image and the new firmware starts.
        if (m_blocksReceived > 0) {
            if (m_settings.firmwarePages > 0)
                EnterBootloaderOnly();
            else
                FinishUpload();
        }
        m_loaderActive = false;
    }
    if (!m_application)
        return HandleBootloader(frame, answer);
    return HandleApplication(frame, now, answer);
}

void CSimDevice::FinishUpload()
{
    const uint8_t hardware = m_cells[CSimProfile::kCellHardware];
    CSimProfile next;
    if (!CSimProfile::Find(m_profile.upgradeProfile, next))
        next = m_profile;
    LoadProfile(next);
    m_cells[CSimProfile::kCellHardware] = hardware;
    m_application = true;
}

bool CSimDevice::HandleBootloader(const std::vector<uint8_t>& frame, Answer& answer)
{
    const uint8_t letter = frame[1];
    if (frame.size() != CSimFrameParser::kCommandSize)
        return false;
    if (letter == 's' && frame[2] == 'e' && frame[3] == 't') {
        answer.bytes = Short(kReady);
        return true;
    }
    if (letter == 'r' && frame[2] == 'e') {
        answer.bytes = Short(m_cells[frame[3]]);
        return true;
    }
    if (letter == 'S' && frame[2] == 'P') {
        // The boot loader stays at 19200 baud.
        answer.bytes = Short(frame[3] == 0x04 ? kReady : kRefused);
        return true;
    }
    return false;
}

bool CSimDevice::HandleApplication(const std::vector<uint8_t>& frame, Clock::time_point now, Answer& answer)
{
    const uint8_t letter = frame[1];
    if (frame.size() == CSimFrameParser::kPageWriteSize)
        return HandleLogger(frame, answer);
    if (frame.size() != CSimFrameParser::kCommandSize)
        return false;
    const uint8_t a1 = frame[2];
    const uint8_t a2 = frame[3];

    switch (letter) {
    case 's':
        if (a1 != 'e' || a2 != 't')
            return false;
        answer.bytes = Short(kReady);
        return true;
    case 'r':
        if (a1 != 'e')
            return false;
        UpdateLiveCells(now);
        answer.bytes = Short(m_cells[a2]);
        return true;
    case 'w':
        if (!m_profile.IsReadOnly(a1) && !m_writeProtected[a1])
            m_cells[a1] = a2;
        answer.bytes = Short(m_cells[a1]);
        return true;
    case 'R':
        if (a2 < a1)
            return false;
        UpdateLiveCells(now);
        answer.bytes = Block(m_cells.data() + a1, static_cast<std::size_t>(a2 - a1 + 1));
        return true;
    case 'S': {
        if (a1 != 'P')
            return false;
        const uint8_t supported = m_cells[CSimProfile::kCellSpeeds] | 0x04;
        if (!IsSingleBit(a2) || (supported & a2) == 0) {
            answer.bytes = Short(kRefused);
            return true;
        }
        answer.bytes = Short(kReady);
        answer.switchToBaud = BaudOfCode(a2);
        return true;
    }
    case 'T': {
        if (a1 != '-')
            return false;
        const std::vector<uint8_t> record = TelemetryRecord(a2, now);
        answer.bytes = Block(record.data(), record.size());
        return true;
    }
    default:
        return HandleLogger(frame, answer);
    }
}

bool CSimDevice::HandleLogger(const std::vector<uint8_t>& frame, Answer& answer)
{
    if (m_profile.memBlocks <= 0 || m_logger.empty())
        return false;
    const std::size_t pages = m_logger.size() / kPageSize;
    const uint8_t letter = frame[1];
    const std::size_t page = frame[2] + 256U * frame[3];

    if (letter == 'u' && frame.size() == CSimFrameParser::kPageWriteSize) {
        // The link's echo is the whole acknowledgement of a page write.
        if (page < pages) {
            std::copy(frame.begin() + 4, frame.begin() + 4 + static_cast<std::ptrdiff_t>(kPageSize),
                      m_logger.begin() + static_cast<std::ptrdiff_t>(page * kPageSize));
            UpdateLoggerStatus();
        }
        return false;
    }
    switch (letter) {
    case 'l': {
        // Beyond the end of the memory the flash reads erased.
        std::vector<uint8_t> data(kPageSize, 0xFF);
        if (page < pages)
            std::copy_n(m_logger.begin() + static_cast<std::ptrdiff_t>(page * kPageSize), kPageSize, data.begin());
        answer.bytes = Block(data.data(), data.size());
        return true;
    }
    case 'e':
        if (frame[2] != 'r' || frame[3] != 's')
            return false;
        EraseFromPage(0);
        answer.bytes = Short(kReady);
        answer.busyUs = kEraseAllUs;
        return true;
    case 'E':
        // Blocks are erased from the top down: each request clears the memory
        // from its page to the end.
        EraseFromPage(std::min(page, pages));
        answer.bytes = Short(kReady);
        answer.busyUs = kEraseBlockUs;
        return true;
    default:
        return false;
    }
}

void CSimDevice::EraseFromPage(std::size_t page)
{
    std::fill(m_logger.begin() + static_cast<std::ptrdiff_t>(page * kPageSize), m_logger.end(), 0xFF);
    UpdateLoggerStatus();
}

void CSimDevice::SetLoggerMemory(std::vector<uint8_t> memory)
{
    if (m_profile.memBlocks <= 0)
        return;
    memory.resize(static_cast<std::size_t>(m_profile.memBlocks) * kPageSize, 0xFF);
    m_logger = std::move(memory);
    UpdateLoggerStatus();
}

void CSimDevice::UpdateLoggerStatus()
{
    // Cell 128 counts the logs, cells 129/130 the pages in use: the pages up
    // to the first erased one.
    const std::size_t pages = m_logger.size() / kPageSize;
    std::size_t used = 0;
    int logs = 0;
    int lastNumber = -1;
    for (; used < pages; ++used) {
        const uint8_t* header = m_logger.data() + used * kPageSize;
        if (std::all_of(header, header + CSimLogGenerator::kHeaderSize, [](uint8_t b) { return b == 0xFF; }))
            break;
        if (header[0] != lastNumber) {
            ++logs;
            lastNumber = header[0];
        }
    }
    m_cells[CSimProfile::kCellLogCount] = static_cast<uint8_t>(std::min(logs, 255));
    m_cells[CSimProfile::kCellPagesLow] = static_cast<uint8_t>(used & 0xFF);
    m_cells[CSimProfile::kCellPagesHigh] = static_cast<uint8_t>((used >> 8) & 0xFF);
}

void CSimDevice::AdvanceMotor(Clock::time_point now)
{
    const double dt = std::chrono::duration<double>(now - m_lastMotorUpdate).count();
    if (dt <= 0.0)
        return;
    m_lastMotorUpdate = now;
    // Servo value 1..255 is a pulse of 1000..2000 us; the throttle opens from 1100 us.
    const bool signal = now - m_lastServo < kSignalLoss && m_servo > 0;
    const double pulse = 1000.0 + (std::max<int>(m_servo, 1) - 1) * 1000.0 / 254.0;
    const double throttle = signal ? std::clamp((pulse - 1100.0) / 800.0, 0.0, 1.0) : 0.0;
    const double tau = 0.3;
    m_rpm += (kMaxRpm * throttle - m_rpm) * (1.0 - std::exp(-dt / tau));
    const double load = m_rpm / kMaxRpm;
    m_current = m_rpm < 1.0 ? 0.0 : kMaxCurrent * std::pow(load, 2.2) + 0.3;
    m_consumedMah += m_current * dt / 3.6;
    m_voltage = kPackVoltage - kInternalResistance * m_current - 0.00005 * m_consumedMah;
    m_temperature += (0.0005 * m_current * m_current - 0.02 * (m_temperature - kAmbient)) * dt;
}

void CSimDevice::UpdateLiveCells(Clock::time_point now)
{
    AdvanceMotor(now);
    const long voltage = std::lround(m_voltage * 100.0);
    m_cells[CSimProfile::kCellLiveVoltageLow] = static_cast<uint8_t>(voltage & 0xFF);
    m_cells[CSimProfile::kCellLiveVoltageHigh] = static_cast<uint8_t>((voltage >> 8) & 0xFF);
    m_cells[CSimProfile::kCellLiveTemperature] = static_cast<uint8_t>(std::clamp(std::lround(m_temperature) + 40L, 0L, 255L));
}

std::vector<uint8_t> CSimDevice::TelemetryRecord(uint8_t servo, Clock::time_point now)
{
    AdvanceMotor(now);
    m_servo = servo;
    m_lastServo = now;
    const double pulse = 1000.0 + (std::max<int>(servo, 1) - 1) * 1000.0 / 254.0;
    const long ticks = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count() / 20);

    std::vector<uint8_t> record(kRecordSize, 0);
    record[0] = 1;                                     // record layout
    record[1] = m_cells[CSimProfile::kCellType];
    record[2] = static_cast<uint8_t>((m_rpm >= 1.0 ? 0x01 : 0) | (m_voltage < 14.0 ? 0x02 : 0));
    record[3] = 50;                                    // samples per second
    PutWord(record, 4, m_records++);
    record[6] = static_cast<uint8_t>(ticks & 0xFF);    // 20 ms ticks
    record[7] = servo;
    record[8] = static_cast<uint8_t>(std::lround(100.0 * m_rpm / kMaxRpm));
    record[9] = m_profile.polePairsCell >= 0 ? m_cells[static_cast<std::size_t>(m_profile.polePairsCell)] : 0;
    PutWord(record, 11, std::lround(m_rpm / 10.0));    // RPM / 10
    PutWord(record, 14, std::lround(pulse));           // servo pulse, us
    PutWord(record, 16, std::lround(m_voltage * 100.0)); // 10 mV
    PutWord(record, 18, std::lround(m_current * 10.0));  // 100 mA
    PutWord(record, 20, m_tempA);                        // Temp A input, raw
    PutWord(record, 22, std::lround(m_temperature * 10.0)); // 0.1 degree C
    PutWord(record, 24, std::lround(m_consumedMah));     // mAh
    for (std::size_t i = 0; i < m_telemetryBytes.size() && m_telemetryOffset + i < record.size(); ++i)
        record[m_telemetryOffset + i] = m_telemetryBytes[i];
    return record;
}
