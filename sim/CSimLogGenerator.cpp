#include "CSimLogGenerator.h"

#include <algorithm>
#include <cmath>

namespace {

// The motor and battery that the logs record: a 4-cell pack driving a
// 9000 rpm motor that draws 75 A at full throttle.
struct MotorRun {
    double rpm = 0.0;
    double temperature = 24.0;
    double consumedMah = 0.0;
    double voltage = 16.8;
    double current = 0.0;
    uint32_t noise = 12345;

    double Noise()  // -1 .. 1, deterministic
    {
        noise = noise * 1103515245U + 12345U;
        return static_cast<double>((noise >> 16) & 0x7FFF) / 16383.5 - 1.0;
    }

    void Step(double throttle, double dt)
    {
        const double maxRpm = 9000.0;
        const double tau = 0.25;
        const double target = maxRpm * throttle;
        rpm += (target - rpm) * (1.0 - std::exp(-dt / tau));
        const double load = rpm / maxRpm;
        current = std::max(0.0, 75.0 * std::pow(load, 2.2) + 0.4 + 0.3 * Noise());
        consumedMah += current * dt / 3.6;
        const double restVoltage = 16.8 - 1.6 * std::min(1.0, consumedMah / 5000.0);
        voltage = restVoltage - 0.018 * current + 0.01 * Noise();
        temperature += (0.0006 * current * current - 0.01 * (temperature - 24.0)) * dt;
    }
};

// Throttle programmes of the three planned logs, 0 .. 1 over time in seconds.
double Throttle(int log, double t)
{
    switch (log) {
    case 1: {  // a flight with two climbs
        if (t < 2.0)
            return 0.0;
        if (t < 5.0)
            return 0.45 * (t - 2.0) / 3.0;
        if ((t >= 15.0 && t < 18.0) || (t >= 28.0 && t < 31.0))
            return 0.85;
        if (t < 38.0)
            return 0.45 + 0.05 * std::sin(t);
        if (t < 40.0)
            return 0.45 * (40.0 - t) / 2.0;
        return 0.0;
    }
    case 2:  // a full-throttle run
        if (t < 1.0)
            return 0.0;
        if (t < 6.0)
            return 1.0;
        return 0.0;
    default:  // a long cruise
        if (t < 4.0)
            return 0.0;
        return std::clamp(0.5 + 0.05 * std::sin(t / 9.0), 0.0, 1.0);
    }
}

uint16_t Clamp12(double value)
{
    return static_cast<uint16_t>(std::clamp(std::lround(value), 0L, 4095L));
}

unsigned Word(const std::array<uint8_t, 256>& cells, int low)
{
    return cells[static_cast<std::size_t>(low)] + 256U * cells[static_cast<std::size_t>(low + 1)];
}

int SlotsOfTag(uint16_t tag)
{
    if (tag == 0)
        return 0;
    int bit = 0;
    while (((tag >> bit) & 1U) == 0)
        ++bit;
    int count = 0;
    while (bit + count < 16 && ((tag >> (bit + count)) & 1U) != 0)
        ++count;
    return count;
}

} // namespace

int CSimLogGenerator::SlotCount(const CSimProfile& profile, uint16_t mask)
{
    int slots = 0;
    for (const CSimProfile::LoggerChannel& channel : profile.loggerChannels)
        if ((mask & channel.tag) == channel.tag)
            slots += SlotsOfTag(channel.tag);
    return slots;
}

std::vector<uint8_t> CSimLogGenerator::PackSlots(const std::vector<uint16_t>& slots)
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < slots.size(); i += 2) {
        const uint16_t even = slots[i] & 0x0FFF;
        const uint16_t odd = i + 1 < slots.size() ? (slots[i + 1] & 0x0FFF) : 0;
        bytes.push_back(static_cast<uint8_t>(even >> 4));
        bytes.push_back(static_cast<uint8_t>(((even & 0x0F) << 4) | (odd >> 8)));
        bytes.push_back(static_cast<uint8_t>(odd & 0xFF));
    }
    return bytes;
}

std::vector<uint8_t> CSimLogGenerator::Build(const CSimProfile& profile, const std::array<uint8_t, 256>& cells)
{
    std::vector<uint8_t> memory(static_cast<std::size_t>(std::max(profile.memBlocks, 0)) * kPageSize, 0xFF);
    const double voltagePerCount = Word(cells, CSimProfile::kCellVoltageScaleLow) / 1e6;
    const double ampsPerCount = Word(cells, CSimProfile::kCellCurrentScaleLow) / 1e5;
    const int polePairs = profile.polePairsCell >= 0 ? std::max<int>(1, cells[static_cast<std::size_t>(profile.polePairsCell)]) : 1;

    std::size_t page = 0;
    for (const CSimProfile::LogPlan& log : profile.logs) {
        const int slots = SlotCount(profile, log.mask);
        if (slots == 0)
            continue;
        const std::size_t groupSize = static_cast<std::size_t>((slots + 1) / 2 * 3);
        const std::size_t groupsPerPage = (kPageSize - kHeaderSize) / groupSize;
        const double dt = log.periodTicks / 50.0;
        MotorRun run;
        run.noise += log.number;
        double t = 0.0;
        for (int logPage = 0; logPage < log.pages && (page + 1) * kPageSize <= memory.size(); ++logPage, ++page) {
            uint8_t* bytes = memory.data() + page * kPageSize;
            bytes[0] = log.number;
            bytes[1] = log.periodTicks;
            bytes[2] = static_cast<uint8_t>(log.mask & 0xFF);
            bytes[3] = static_cast<uint8_t>(log.mask >> 8);
            bytes[4] = static_cast<uint8_t>(logPage & 0xFF);
            bytes[5] = static_cast<uint8_t>(logPage >> 8);
            bytes[6] = 0;
            bytes[7] = 0;
            for (std::size_t group = 0; group < groupsPerPage; ++group, t += dt) {
                const double throttle = Throttle(log.number, t);
                run.Step(throttle, dt);
                std::vector<uint16_t> values;
                for (const CSimProfile::LoggerChannel& channel : profile.loggerChannels) {
                    if ((log.mask & channel.tag) != channel.tag)
                        continue;
                    switch (channel.quantity) {
                    case CSimProfile::Quantity::Throttle:
                        values.push_back(Clamp12(throttle * 4095.0));
                        break;
                    case CSimProfile::Quantity::Rpm:
                        values.push_back(Clamp12(run.rpm * polePairs / 50.0));
                        break;
                    case CSimProfile::Quantity::Voltage:
                        values.push_back(Clamp12(voltagePerCount > 0 ? run.voltage / voltagePerCount : 0));
                        break;
                    case CSimProfile::Quantity::Current:
                        values.push_back(Clamp12(ampsPerCount > 0 ? run.current / ampsPerCount : 0));
                        break;
                    case CSimProfile::Quantity::Capacity: {
                        const long mah = std::lround(run.consumedMah);
                        values.push_back(static_cast<uint16_t>((mah >> 12) & 0x0FFF));
                        values.push_back(static_cast<uint16_t>(mah & 0x0FFF));
                        break;
                    }
                    case CSimProfile::Quantity::Temperature:
                        values.push_back(Clamp12((run.temperature + 50.0) * 10.0));
                        break;
                    }
                }
                const std::vector<uint8_t> packed = PackSlots(values);
                std::copy(packed.begin(), packed.end(), bytes + kHeaderSize + group * groupSize);
            }
        }
    }
    return memory;
}
