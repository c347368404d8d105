#pragma once

#include <QByteArrayView>
#include <QString>

#include "melody/CMelody.h"

// Reads melody text files (*.tsm):
//
//   kind  [description]  lead  note...
//
// kind is 'A' or 'W'; the description is quoted with " or ' (a backslash
// takes the next character literally, \n and \r give line breaks); lead is a
// decimal number whose low 8 bits lead the encoded melody; a note is
// [' or `] [octave 0-2] pitch [length 1|2|4|8], the pitch being a letter A-G
// with an optional accidental (Ab, Bb, Eb, C#, F#) or P/p for a pause.
// The first note that does not parse ends the melody without an error.
class CMelodyFile {
public:
    // The largest file read; a longer one is refused.
    static constexpr qint64 kMaxFileSize = 1024;

    static const QString kErrorOpen;
    static const QString kErrorSize;
    static const QString kErrorRead;
    static const QString kErrorType;
    static const QString kErrorSyntax;
    // A lead number whose low byte is 255, the terminator (%1: the number).
    static const QString kErrorLead;
    // The digits of a refused lead number shown at most.
    static constexpr qsizetype kShownLeadDigits = 20;

    // Reads and parses the file at path; a file that cannot be opened or
    // read, or is longer than kMaxFileSize bytes, gives the error only.
    static CMelody Read(const QString& path);

    // Parses the text; nothing beyond its last byte is read.
    static CMelody Parse(QByteArrayView text);
};
