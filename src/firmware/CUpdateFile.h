#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// A firmware update file (*.upd): a profile section [Firmware] naming the
// device it is for, and a [Hex] block of data lines, each 16 image bytes and
// their CRC-16 (high byte first) in 36 hex digits. The image is the data of
// all lines in file order; a valid image is a whole number of 144-byte pages.
class CUpdateFile {
public:
    static constexpr int kPageSize = 144;
    static constexpr int kLineBytes = 16;
    static constexpr int kVersionLength = 31;
    static constexpr int kDescriptionLength = 2047;

    // The profile part. An unreadable file yields the defaults (0, empty).
    struct Info {
        QString path;
        int deviceId = 0;
        int hardwareVersion = 0;
        QString version;
        QString description;   // pieces separated by '$'

        // The description on one line: every piece followed by one blank.
        QString OneLine() const;
        // The description on several lines: every piece followed by "\r\n".
        QString Lines() const;
    };

    struct Image {
        enum class Status { Ok, CrcError, WrongSize };
        Status status = Status::WrongSize;
        int line = 0;                // CrcError: the line, the "[Hex]" line counting as 1
        std::vector<uint8_t> bytes;  // empty unless Ok
        size_t size = 0;             // the image length (0 after a CRC error)
    };

    static Info ReadInfo(const QString& path);
    static Image ReadImage(const QString& path);

    // The '$'-separated pieces of a description, empty pieces dropped.
    static QStringList Pieces(const QString& description);
};
