#include "melody/CMelody.h"

int CMelody::NoteLimit(char kind)
{
    switch (kind) {
    case 'A':
        return 13;
    case 'W':
        return 29;
    default:
        return 0;
    }
}

int CMelody::ByteLimit(char kind)
{
    const int notes = NoteLimit(kind);
    return notes == 0 ? 0 : notes + 2;
}

uint8_t CMelody::NoteByte(bool marked, int lengthCode, int pitch)
{
    return static_cast<uint8_t>((marked ? kMarkBit : 0) | (lengthCode & 3) << kLengthShift | (pitch & 0x1F));
}

QString CMelody::Hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size() * 2));
    for (const uint8_t byte : bytes) {
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}
