#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <vector>

class CDeviceSession;

// What the logger commands need of the connected ESC, for the window and
// the command-line program alike.
class CLoggerCommands {
public:
    static constexpr int kConditionCell = 128;
    static constexpr int kPagesLowCell = 129;
    static constexpr int kPagesHighCell = 130;
    static constexpr int kEraseLimitMs = 1000;

    struct DownloadPlan {
        pugi::xml_node logger;          // the Logger element naming the channels
        std::vector<uint8_t> snapshot;  // cells 0 .. inidata - 1 (0 for a cell that cannot be read)
        uint32_t pageCount = 0;         // cells 129/130, or mem_blocks when either cannot be read
        int pageTimeoutMs = 200;        // memload_timeout
    };

    // The download branch: a Logger description was found and cell 128
    // reads above 0.
    static bool CanDownload(CDeviceSession& session);
    // The calibration snapshot and the page count, read through the cell
    // image.
    static DownloadPlan PlanDownload(CDeviceSession& session);
    // The one-shot erase ('e', 'r', 's', 1000 ms, one try); its result is
    // returned for the command line, the window does not report it.
    static bool EraseAll(CDeviceSession& session);
};
