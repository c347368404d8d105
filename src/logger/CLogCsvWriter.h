#pragma once

#include <QByteArray>
#include <QString>

#include "logger/LoggerPage.h"

#include <cstdint>
#include <vector>

// The log file: a calibration line "#b0,b1,..." with every snapshot byte,
// then for each page of the log its groups of raw 12-bit slot values, one
// line per group: the page's first line starts with its index in the page
// buffer, the log number, the sample period and the channel mask, the
// following ones with four empty fields; then the group index and the slot
// pairs. Lines end with "\r\n".
class CLogCsvWriter {
public:
    // The file's text for pages first..last of a buffer of 264-byte pages.
    // Of page last only the groups within its first lastPageBytes sample
    // bytes are written (a page rebuilt from a file cut inside it keeps
    // only its whole groups).
    static QByteArray Format(const uint8_t* pages, std::size_t pageCount, std::size_t first, std::size_t last,
                             const std::vector<uint8_t>& snapshot,
                             std::size_t lastPageBytes = LoggerPage::kSampleBytes);
    // Writes the text atomically; false (with the reason) when the file
    // cannot be written.
    static bool Save(const QString& path, const uint8_t* pages, std::size_t pageCount, std::size_t first,
                     std::size_t last, const std::vector<uint8_t>& snapshot, QString* error = nullptr,
                     std::size_t lastPageBytes = LoggerPage::kSampleBytes);
};
