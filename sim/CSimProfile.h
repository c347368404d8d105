#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The make-up of one simulated ESC model: its identity cells, its settings as
// delivered (the defaults of its device library entry), its calibration and
// live cells, its logger, curves and melodies. The device library
// (resources/Brisko.esc) describes the same devices; the simulator tests keep
// the two in agreement.
class CSimProfile {
public:
    // What one logger slot group records; the logger writes channels in the
    // order of the library's Channel elements.
    enum class Quantity { Throttle, Rpm, Voltage, Current, Capacity, Temperature };
    struct LoggerChannel {
        uint16_t tag;
        Quantity quantity;
    };
    // One log that the device holds when it leaves the factory floor.
    struct LogPlan {
        uint8_t number;
        uint8_t periodTicks;   // sample period in 20 ms units
        uint16_t mask;         // channel mask of the log's pages
        int pages;
    };
    struct Curve {
        std::string name;
        int start;
        std::vector<uint8_t> points;
    };

    // Cells with a fixed meaning.
    static constexpr int kCellType = 64;
    static constexpr int kCellMajor = 65;
    static constexpr int kCellMinor = 66;
    static constexpr int kCellHardware = 70;
    static constexpr int kCellSpeeds = 94;
    static constexpr int kCellLogCount = 128;
    static constexpr int kCellPagesLow = 129;
    static constexpr int kCellPagesHigh = 130;
    static constexpr int kCellMelodyW = 128;
    static constexpr int kCellMelodyA = 160;
    // Live measurements the device keeps up to date (input voltage in 10 mV,
    // little-endian; temperature + 40 degrees C).
    static constexpr int kCellLiveVoltageLow = 56;
    static constexpr int kCellLiveVoltageHigh = 57;
    static constexpr int kCellLiveTemperature = 58;
    // Factory calibration of the logger inputs, little-endian words: the
    // voltage in microvolts per count, the current in 10 microamps per count.
    static constexpr int kCellVoltageScaleLow = 72;
    static constexpr int kCellCurrentScaleLow = 74;

    std::string name;
    uint8_t type = 0;
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t hardware = 0;
    uint8_t speeds = 0x04;         // cell 94: one bit per supported speed code
    std::string libraryId;         // the id of the library entry that describes it
    std::string caps;              // the caps of that entry
    std::vector<std::pair<int, uint8_t>> cells;   // every cell the model defines
    std::vector<int> readOnlyCells;               // identity, calibration, live values
    int polePairsCell = -1;        // for the logged RPM
    int memBlocks = 0;             // logger memory size in 264-byte pages; 0 = no logger
    std::vector<LoggerChannel> loggerChannels;
    std::vector<LogPlan> logs;
    std::vector<Curve> curves;
    std::string upgradeProfile;    // what the device becomes after a firmware upload

    // The profiles by name: "full", "plain", "deprecated".
    static bool Find(const std::string& name, CSimProfile& profile);
    static std::vector<std::string> Names();

    bool DefinesCell(int cell) const;
    bool IsReadOnly(int cell) const;
    std::array<uint8_t, 256> InitialCells() const;
};
