#pragma once

#include "logger/CDataProcessor.h"

#include <QByteArray>
#include <pugixml.hpp>

#include <cstdint>
#include <vector>

class CDeviceLibrary;
class IPrompt;

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

    // Rebuilds the pages of a log file for a new chart (the main window's
    // logs command when there is no logger data to download).
    static Result Read(const QByteArray& text, const CDeviceLibrary& library, Log& log);

    // Decodes a log file straight into series for the chart that is open
    // (its Open command) with that chart's logger description. The snapshot
    // comes from the "#" line, or is the shown log's when the file has none.
    // The channels are set up from the first page line whose mask gives at
    // least one channel reading a slot; later pages reuse that setup. Time
    // runs on over every page in the file; each page advances it by its own
    // period / 50 per group. The formula variables t and dt stay 0. Returns
    // false when no page line could be set up (out is then empty).
    static bool ReadDecoded(const QByteArray& text, const pugi::xml_node& logger,
                            const std::vector<uint8_t>& shownSnapshot, IPrompt* prompt, DecodedLog& out,
                            std::vector<uint8_t>* snapshot = nullptr);
    // The message of a failed read, as the user is to read it.
    static QString Message(Result result);
};
