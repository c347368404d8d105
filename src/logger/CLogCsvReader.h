#pragma once

#include "logger/CDataProcessor.h"
#include "logger/LoggerPage.h"

#include <QByteArray>
#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <vector>

class CDeviceLibrary;
class IPrompt;

// Rebuilds the pages of a log file (see CLogCsvWriter): the snapshot from
// the "#" line, and each page from its lines, the slot values packed back
// into groups and the unused tail of the sample area zeroed.
//
// Only whole groups become samples. Every group line must carry its group
// index and one whole number from 0 to 4095 per slot of its page's mask;
// a page must have all its groups. Reading stops at the first page that
// breaks this (a file cut inside a page, a missing or damaged line): the
// whole groups before that point are kept and the page is named in Damage,
// so that the window and the command line can say which page is incomplete
// and nothing is padded or wrapped into an invented sample.
class CLogCsvReader {
public:
    enum class Result {
        Ok,
        OldStyle,       // no "#" line: "Old style log can not be processed here"
        Corrupted,      // fewer than 67 snapshot values, or one that is no byte: "Corrupted log can not be processed here"
        UnknownLogger,  // "Log for unknown logger can not be processed here"
        NoSlots,        // a page whose mask has no 1 bits: no layout to read
    };

    // Where a log file stops being whole.
    struct Damage {
        enum class Kind {
            Cut,      // the file ends inside the page (line: the file's last line)
            Missing,  // group lines are missing: the next page begins at line
            Damaged,  // line has a wrong group index, a missing value or one outside 0 to 4095
        };
        Kind kind = Kind::Cut;
        std::size_t page = 1;        // the incomplete page, counted from 1 in the file; 0: the "#" line
        int line = 0;                // counted from 1
        std::size_t wholeGroups = 0; // groups of that page read before it
    };

    struct Log {
        std::vector<uint8_t> snapshot;
        std::vector<uint8_t> pages;
        std::size_t pageCount = 0;
        pugi::xml_node logger;
        std::optional<Damage> damage;
        // Sample bytes of the last page that hold whole groups read from the
        // file (less than all when that page is the incomplete one).
        std::size_t lastPageBytes = LoggerPage::kSampleBytes;
    };

    // Rebuilds the pages of a log file for a new chart (the main window's
    // logs command when there is no logger data to download) and for the
    // command line's decode.
    static Result Read(const QByteArray& text, const CDeviceLibrary& library, Log& log);

    // Decodes a log file straight into series for the chart that is open
    // (its Open command) with that chart's logger description. The snapshot
    // comes from the "#" line, or is the shown log's when the file has none.
    // The channels are set up from the first page line whose mask gives at
    // least one channel reading a slot; later pages reuse that setup. Time
    // runs on over every page in the file; each page advances it by its own
    // period / 50 per group, and the formulas see t and dt as they do for a
    // downloaded log. Returns false when no page line could be set up (out
    // is then empty). damage, when given, receives where the file stops
    // being whole.
    static bool ReadDecoded(const QByteArray& text, const pugi::xml_node& logger,
                            const std::vector<uint8_t>& shownSnapshot, IPrompt* prompt, DecodedLog& out,
                            std::vector<uint8_t>* snapshot = nullptr, std::optional<Damage>* damage = nullptr);
    // The message of a failed read, as the user is to read it.
    static QString Message(Result result);
    // "page 3 of the log is incomplete: line 130 is damaged".
    static QString DamageText(const Damage& damage);
    // The window's message: the damage and that only the samples before it
    // are shown.
    static QString DamageMessage(const Damage& damage);
};
