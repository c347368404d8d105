#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// A melody as read from a *.tsm file: its kind ('A' or 'W'), its description
// and its encoded bytes (lead byte, one byte per note, 0xFF terminator), or
// the error text that stands in for all of them.
//
// A note byte holds the mark in bit 7, the length code (0..3 for the lengths
// 1, 2, 4, 8) in bits 6-5 and the pitch (0 for a pause, else semitone + 12 x
// octave) in bits 4-0.
class CMelody {
public:
    static constexpr int kDescriptionLength = 127;
    static constexpr uint8_t kTerminator = 0xFF;
    static constexpr uint8_t kMarkBit = 0x80;
    static constexpr int kLengthShift = 5;
    static constexpr int kMaxPitch = 30;
    // The most encoded bytes of any melody: a 'W' melody, lead byte and
    // terminator included (ByteLimit('W')).
    static constexpr int kMaxBytes = 31;

    // The notes a melody of this kind holds at most: 13 for 'A', 29 for 'W',
    // 0 for any other letter.
    static int NoteLimit(char kind);
    // The encoded bytes at most: the notes, the lead byte and the terminator.
    static int ByteLimit(char kind);

    // A note byte; lengthCode 0..3, pitch 0..30.
    static uint8_t NoteByte(bool marked, int lengthCode, int pitch);

    // Each byte as two upper-case hex digits, high nibble first.
    static QString Hex(const std::vector<uint8_t>& bytes);

    bool IsValid() const { return error.isEmpty(); }
    // The hex form of the encoded bytes, terminator included.
    QString Hex() const { return Hex(bytes); }

    char kind = 0;              // 'A' or 'W'; 0 when the file has an error
    QString description;        // at most kDescriptionLength characters
    std::vector<uint8_t> bytes; // empty when the file has an error
    QString error;              // empty unless the file has an error
};
