#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "melody/CMelody.h"


// One row of the melody list: a melody file of the melody folder, or a
// melody stored in the ESC. The encoded melody travels as its hex text, the
// form the list shows and the preview and the transfer read back.
class CMelodyRow {
public:
    // The longest hex text read back and the most bytes taken from it.
    static constexpr int kMaxHexLength = 127;
    static constexpr int kMaxBytes = CMelody::kMaxBytes;

    // A file row: the kind letter, the file name and the description, or a
    // blank type and the error text for a file that did not parse.
    static CMelodyRow FromFile(const QString& fileName, const CMelody& melody);
    // A row of the melody the ESC holds: the bytes read from its cells, to
    // which the terminator is appended.
    static CMelodyRow FromDevice(char kind, const std::vector<uint8_t>& bytes);

    // The bytes of a hex text, two digits per byte: at most kMaxBytes, read
    // from at most kMaxHexLength characters, ending after the first 0xFF
    // byte or before the first character that is not a hex digit.
    static std::vector<uint8_t> Decode(const QString& hex);

    // Only rows of kind 'A' or 'W' can be played or loaded.
    bool IsMelody() const;
    // The kind letter: the type's first character, or 0 for none.
    char Kind() const;

    QString type;         // "A", "W", or a single blank for a file with an error
    QString file;         // the file name, or "ESC"
    QString description;  // the description, or the error text
    QString hex;          // the encoded melody, terminator included
};
