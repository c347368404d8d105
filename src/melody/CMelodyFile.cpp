#include "melody/CMelodyFile.h"

#include <QFile>

const QString CMelodyFile::kErrorOpen = QStringLiteral("!error - open");
const QString CMelodyFile::kErrorSize = QStringLiteral("!error - size too long");
const QString CMelodyFile::kErrorRead = QStringLiteral("!error - read");
const QString CMelodyFile::kErrorType = QStringLiteral("!error - type");
const QString CMelodyFile::kErrorSyntax = QStringLiteral("!error - syntax");
const QString CMelodyFile::kErrorLead =
    QStringLiteral("!error - lead number %1 has the low byte 255, which marks a melody's end; "
                   "choose another number");

namespace {

CMelody Failed(const QString& error)
{
    CMelody melody;
    melody.error = error;
    return melody;
}

// A read position in the text. Past the end, Peek() gives 0, which none of
// the syntax's characters is, so no rule ever reads beyond the text.
class Cursor {
public:
    explicit Cursor(QByteArrayView text)
        : m_text(text)
    {
    }

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    char Take() { return AtEnd() ? '\0' : m_text[m_pos++]; }
    qsizetype Position() const { return m_pos; }
    void Rewind(qsizetype pos) { m_pos = pos; }

    bool Accept(char c)
    {
        if (AtEnd() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    void SkipSpace()
    {
        while (!AtEnd()) {
            switch (m_text[m_pos]) {
            case ' ':
            case '\t':
            case '\n':
            case '\v':
            case '\f':
            case '\r':
                ++m_pos;
                break;
            default:
                return;
            }
        }
    }

private:
    QByteArrayView m_text;
    qsizetype m_pos = 0;
};

// The description after its opening quote, up to the same quote character or
// the end of the text. The escapes are resolved on the bytes, then the bytes
// are read as UTF-8 and cut to the description length.
QString Description(Cursor& cursor, char quote)
{
    QByteArray bytes;
    while (!cursor.AtEnd()) {
        char c = cursor.Take();
        if (c == quote)
            break;
        if (c == '\\') {
            if (cursor.AtEnd())
                break;
            c = cursor.Take();
            if (c == 'n')
                c = '\n';
            else if (c == 'r')
                c = '\r';
        }
        bytes += c;
    }
    QString text = QString::fromUtf8(bytes);
    if (text.size() > CMelody::kDescriptionLength) {
        text.truncate(CMelody::kDescriptionLength);
        // Never keep half of a surrogate pair.
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

int Semitone(char letter)
{
    switch (letter) {
    case 'C':
        return 1;
    case 'D':
        return 3;
    case 'E':
        return 5;
    case 'F':
        return 6;
    case 'G':
        return 8;
    case 'A':
        return 10;
    case 'B':
        return 12;
    default:
        return 0;
    }
}

// One note; false (the cursor where it was) when it does not parse.
bool Note(Cursor& cursor, uint8_t& note)
{
    const qsizetype start = cursor.Position();
    cursor.SkipSpace();
    const bool marked = cursor.Accept('\'') || cursor.Accept('`');
    int octave = 0;
    bool hasOctave = false;
    if (cursor.Peek() >= '0' && cursor.Peek() <= '2') {
        octave = cursor.Take() - '0';
        hasOctave = true;
    }

    int pitch = 0;
    const char letter = cursor.Take();
    if (letter == 'P' || letter == 'p') {
        if (marked || hasOctave) {
            cursor.Rewind(start);
            return false;
        }
    } else {
        int semitone = Semitone(letter);
        if (semitone == 0) {
            cursor.Rewind(start);
            return false;
        }
        if ((letter == 'A' || letter == 'B' || letter == 'E') && cursor.Accept('b'))
            --semitone;
        else if ((letter == 'C' || letter == 'F') && cursor.Accept('#'))
            ++semitone;
        pitch = semitone + 12 * octave;
        // Octave 2 ends at F: every higher note exceeds the pitch range.
        if (pitch > CMelody::kMaxPitch) {
            cursor.Rewind(start);
            return false;
        }
    }

    int lengthCode = 0;
    switch (cursor.Peek()) {
    case '2':
        lengthCode = 1;
        break;
    case '4':
        lengthCode = 2;
        break;
    case '8':
        lengthCode = 3;
        break;
    default:
        break;
    }
    if (cursor.Peek() == '1' || lengthCode != 0)
        cursor.Take();

    note = CMelody::NoteByte(marked, lengthCode, pitch);
    return true;
}

}

CMelody CMelodyFile::Read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed(kErrorOpen);
    if (file.size() > kMaxFileSize)
        return Failed(kErrorSize);
    // One byte more than allowed, so that a file that grew since its size was
    // taken (or has none, like a pipe) is still refused as too long.
    const QByteArray text = file.read(kMaxFileSize + 1);
    if (text.size() > kMaxFileSize)
        return Failed(kErrorSize);
    if (text.isEmpty() || file.error() != QFileDevice::NoError)
        return Failed(kErrorRead);
    return Parse(text);
}

CMelody CMelodyFile::Parse(QByteArrayView text)
{
    Cursor cursor(text);
    cursor.SkipSpace();
    const char kind = cursor.Take();
    if (kind != 'A' && kind != 'W')
        return Failed(kErrorType);

    CMelody melody;
    cursor.SkipSpace();
    if (cursor.Peek() == '"' || cursor.Peek() == '\'')
        melody.description = Description(cursor, cursor.Take());

    cursor.SkipSpace();
    if (cursor.Peek() < '0' || cursor.Peek() > '9')
        return Failed(kErrorSyntax);
    // Only the low 8 bits count, so the value is kept modulo 256 as it is
    // read: no number of digits overflows it.
    const qsizetype leadStart = cursor.Position();
    unsigned lead = 0;
    while (cursor.Peek() >= '0' && cursor.Peek() <= '9')
        lead = (lead * 10 + static_cast<unsigned>(cursor.Take() - '0')) % 256;
    // A lead byte of 255 would read as the terminator: written into the ESC
    // it leaves an empty melody in place of the stored one.
    if (lead == CMelody::kTerminator) {
        const QString digits = QString::fromLatin1(text.sliced(leadStart, cursor.Position() - leadStart));
        return Failed(kErrorLead.arg(digits.size() > kShownLeadDigits ? digits.left(kShownLeadDigits) + QStringLiteral("...")
                                                                      : digits));
    }

    melody.bytes.push_back(static_cast<uint8_t>(lead));
    const int limit = CMelody::NoteLimit(kind);
    uint8_t note = 0;
    for (int count = 0; count < limit && Note(cursor, note); ++count)
        melody.bytes.push_back(note);
    melody.bytes.push_back(CMelody::kTerminator);
    melody.kind = kind;
    return melody;
}
