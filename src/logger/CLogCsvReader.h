#pragma once

#include <QByteArray>
#include <pugixml.hpp>

#include <cstdint>
#include <vector>

class CDeviceLibrary;

// Rebuilds the pages of a log file (see CLogCsvWriter): the snapshot from
// the "#" line, and each page from its lines, the slot values packed back
// into groups and the unused tail of the sample area zeroed.
class CLogCsvReader {
public:
    enum class Result {
        Ok,
        OldStyle,       // no "#" line: "Old style log can not be processed here"
        Corrupted,      // fewer than 67 snapshot values: "Corrupted log can not be processed here"
        UnknownLogger,  // "Log for unknown logger can not be processed here"
        NoSlots,        // a page whose mask has no 1 bits: no layout to read
    };

    struct Log {
        std::vector<uint8_t> snapshot;
        std::vector<uint8_t> pages;
        std::size_t pageCount = 0;
        pugi::xml_node logger;
    };

    static Result Read(const QByteArray& text, const CDeviceLibrary& library, Log& log);
    // The message of a failed read, as the user is to read it.
    static QString Message(Result result);
};
