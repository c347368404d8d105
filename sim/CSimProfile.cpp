#include "CSimProfile.h"

#include <algorithm>

namespace {

using Cells = std::vector<std::pair<int, uint8_t>>;

void Append(Cells& cells, const Cells& more)
{
    cells.insert(cells.end(), more.begin(), more.end());
}

void AppendWord(Cells& cells, int highCell, int lowCell, unsigned value)
{
    cells.emplace_back(highCell, static_cast<uint8_t>(value >> 8));
    cells.emplace_back(lowCell, static_cast<uint8_t>(value & 0xFF));
}

// Identity block: type, firmware major and minor, a serial number, hardware.
Cells Identity(uint8_t type, uint8_t major, uint8_t minor, uint8_t hardware, uint8_t speeds)
{
    return {{64, type}, {65, major}, {66, minor}, {67, 0x21}, {68, 0x07}, {69, 0x95}, {70, hardware},
            {71, 0x00}, {94, speeds}};
}

// Live values and the run-time counter (minutes, high byte first in 59).
Cells LiveValues()
{
    return {{56, 0x72}, {57, 0x06}, {58, 25 + 40}, {59, 0x02}, {60, 0xF2}};
}

// The Pro 80 family: settings as the library's defaults give them.
Cells Pro80Settings()
{
    Cells cells = {
        {0, 1},    // running mode: forward with brake
        {1, 0},    // throttle range: fixed
        {2, 6},    // beep volume 60 %
        {3, 1},    // power-up melody on
        {6, 7},    // 7 pole pairs (14 poles)
        {7, 15},   // timing 15 degrees
        {8, 4},    // start power 100 %
        {9, 0},    // motor direction normal
        {10, 1},   // PWM 16 kHz
        {12, 0},   // LiPo
        {13, 0},   // cell count auto
        {14, 4},   // cut-off 3.2 V per cell
        {15, 0},   // soft cut-off
        {18, 153}, // brake force 60 %
        {19, 0},   // drag brake off
        {20, 0},   // brake delay 0 ms
        {21, 1},   // reverse lockout on
        {24, 8},   // governor P 4.0
        {25, 6},   // governor I 3.0
        {26, 12},  // spool-up 12 s
        {28, 10},  // BEC 6.0 V
        {29, 1},   // BEC on
    };
    AppendWord(cells, 4, 5, 500);     // failsafe delay 500 ms
    AppendWord(cells, 16, 17, 800);   // current limit 80.0 A
    AppendWord(cells, 22, 23, 2600);  // head speed 2600 rpm
    return cells;
}

Cells Pro80Calibration()
{
    Cells cells;
    // Written low byte first: the formulas read them with cellw(low, high).
    cells.emplace_back(72, static_cast<uint8_t>(8000 & 0xFF));
    cells.emplace_back(73, static_cast<uint8_t>(8000 >> 8));
    cells.emplace_back(74, static_cast<uint8_t>(2500 & 0xFF));
    cells.emplace_back(75, static_cast<uint8_t>(2500 >> 8));
    return cells;
}

std::vector<int> ReadOnlyCells()
{
    std::vector<int> cells;
    for (int cell = 56; cell <= 79; ++cell)
        cells.push_back(cell);
    cells.push_back(94);
    return cells;
}

CSimProfile Full()
{
    CSimProfile p;
    p.name = "full";
    p.type = 3;
    p.major = 2;
    p.minor = 4;
    p.hardware = 2;
    p.speeds = 0xFC;  // 19200 up to 460800 baud
    p.libraryId = "3.2.4";
    p.caps = "SRM";
    p.cells = Pro80Settings();
    Append(p.cells, Identity(p.type, p.major, p.minor, p.hardware, p.speeds));
    Append(p.cells, LiveValues());
    Append(p.cells, Pro80Calibration());
    p.curves = {
        {"Throttle curve", 32, {0, 26, 51, 77, 102, 128, 153, 179, 204, 230, 255}},
        {"Brake curve", 44, {0, 11, 32, 58, 90, 126, 166, 209, 255}},
    };
    for (const CSimProfile::Curve& curve : p.curves)
        for (std::size_t i = 0; i < curve.points.size(); ++i)
            p.cells.emplace_back((curve.start + static_cast<int>(i)) % 256, curve.points[i]);
    // Custom 'A' melody: lead byte, four notes, terminator. The 'W' area from
    // cell 128 shares its first cells with the logger's status.
    const std::vector<uint8_t> melodyA = {0x01, 0x21, 0x25, 0x28, 0xAD, 0xFF};
    for (std::size_t i = 0; i < melodyA.size(); ++i)
        p.cells.emplace_back(CSimProfile::kCellMelodyA + static_cast<int>(i), melodyA[i]);
    p.readOnlyCells = ReadOnlyCells();
    p.polePairsCell = 6;
    p.memBlocks = 2048;
    p.loggerChannels = {
        {0x0001, CSimProfile::Quantity::Throttle},
        {0x0002, CSimProfile::Quantity::Rpm},
        {0x0004, CSimProfile::Quantity::Voltage},
        {0x0008, CSimProfile::Quantity::Current},
        {0x0030, CSimProfile::Quantity::Capacity},
        {0x0040, CSimProfile::Quantity::Temperature},
    };
    p.logs = {
        {1, 5, 0x007F, 20},   // a flight, every channel, 10 samples a second
        {2, 1, 0x000F, 12},   // a full-throttle run, 50 samples a second
        {3, 25, 0x0045, 6},   // a long cruise: throttle, voltage, temperature
    };
    p.upgradeProfile = "full";
    return p;
}

CSimProfile Deprecated()
{
    CSimProfile p;
    p.name = "deprecated";
    p.type = 3;
    p.major = 1;
    p.minor = 5;
    p.hardware = 1;
    p.speeds = 0x24;  // 19200 and 115200 baud
    p.libraryId = "3.1";
    p.caps = "S";
    p.cells = Pro80Settings();
    Append(p.cells, Identity(p.type, p.major, p.minor, p.hardware, p.speeds));
    Append(p.cells, LiveValues());
    Append(p.cells, Pro80Calibration());
    p.readOnlyCells = ReadOnlyCells();
    p.polePairsCell = 6;
    p.upgradeProfile = "full";
    return p;
}

CSimProfile Plain()
{
    CSimProfile p;
    p.name = "plain";
    p.type = 5;
    p.major = 1;
    p.minor = 3;
    p.hardware = 1;
    p.speeds = 0x04;  // 19200 baud only
    p.libraryId = "5";
    p.caps = "";
    p.cells = {
        {0, 0},   // running mode: forward with brake
        {1, 0},   // battery cells: auto
        {2, 4},   // cut-off 3.2 V per cell
        {3, 1},   // timing medium
        {4, 5},   // brake force 50 %
        {5, 2},   // 2 pole pairs (4 poles)
        {6, 1},   // power-up beeps on
        {7, 0},   // BEC 5.0 V
        {8, 20},  // throttle dead band 20 us
    };
    Append(p.cells, Identity(p.type, p.major, p.minor, p.hardware, p.speeds));
    Append(p.cells, LiveValues());
    p.readOnlyCells = ReadOnlyCells();
    p.polePairsCell = 5;
    p.upgradeProfile = "plain";
    return p;
}

} // namespace

bool CSimProfile::Find(const std::string& name, CSimProfile& profile)
{
    if (name == "full")
        profile = Full();
    else if (name == "plain")
        profile = Plain();
    else if (name == "deprecated")
        profile = Deprecated();
    else
        return false;
    return true;
}

std::vector<std::string> CSimProfile::Names()
{
    return {"full", "plain", "deprecated"};
}

bool CSimProfile::DefinesCell(int cell) const
{
    if (memBlocks > 0 && cell >= kCellLogCount && cell <= kCellPagesHigh)
        return true;
    return std::any_of(cells.begin(), cells.end(), [cell](const auto& entry) { return entry.first == cell; });
}

bool CSimProfile::IsReadOnly(int cell) const
{
    return std::find(readOnlyCells.begin(), readOnlyCells.end(), cell) != readOnlyCells.end();
}

std::array<uint8_t, 256> CSimProfile::InitialCells() const
{
    std::array<uint8_t, 256> image{};
    image.fill(0xFF);  // cells the firmware does not use read as erased memory
    for (const auto& [cell, value] : cells)
        image[static_cast<std::size_t>(cell & 0xFF)] = value;
    return image;
}
