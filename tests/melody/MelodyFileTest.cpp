#include "melody/CMelodyFile.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(MelodyFileTest, TextsEncodeToLeadNotesAndTerminatorOrGiveTheirError)
{
    const struct {
        const char* name;
        QByteArray text;
        QString hex;     // empty for an error
        QString error;   // empty for a melody
    } cases[] = {
        {"example", "W \"Intro\" 120 C 1E4 'G8 P2", "780151E820FF", {}},
        {"lower-case note ends it", "A 1 C c D", "0101FF", {}},
        {"13 of 20 notes kept", "A 1 " + QByteArray("C ").repeated(20), "01" + QString("01").repeated(13) + "FF", {}},
        {"2F is pitch 30", "A 0 2F", "001EFF", {}},
        {"2F# ends it", "A 0 C 2F# D", "0001FF", {}},
        {"2G ends it", "A 0 C 2G D", "0001FF", {}},
        {"accidentals and lengths", "W 0 `Bb2 Eb4 C#8 F# Ab1 p", "00AB44620709" "00FF", {}},
        {"marked pause ends it", "A 1 C 'P D", "0101FF", {}},
        {"lead modulo 256", "A 300", "2CFF", {}},
        {"lower-case w", "w 1 C", {}, CMelodyFile::kErrorType},
        {"blank text", " \r\n\t", {}, CMelodyFile::kErrorType},
        {"no lead number", "A 'x' C", {}, CMelodyFile::kErrorSyntax},
        {"unclosed description", "A \"Intro 5 C", {}, CMelodyFile::kErrorSyntax},
        // A lead byte of 255 would read as the terminator in the ESC.
        {"lead 254 is a melody", "W 254 C", "FE01FF", {}},
        {"lead 65535 reads as the end", "W \"x\" 65535 C D E", {}, CMelodyFile::kErrorLead.arg("65535")},
        {"lead 255", "A 255", {}, CMelodyFile::kErrorLead.arg("255")},
        {"a long lead is cut", "A 00000000000000000000000255", {}, CMelodyFile::kErrorLead.arg("00000000000000000000...")},
    };
    for (const auto& c : cases) {
        const CMelody melody = CMelodyFile::Parse(c.text);
        EXPECT_EQ(melody.Hex(), c.hex) << c.name;
        EXPECT_EQ(melody.error, c.error) << c.name;
        EXPECT_EQ(melody.kind, c.error.isEmpty() ? c.text.trimmed().at(0) : 0) << c.name;
    }
}

TEST(MelodyFileTest, DescriptionsResolveEscapesAndKeep127Characters)
{
    CMelody melody = CMelodyFile::Parse("W 'it\\'s\\n\\r\\q' 7");
    EXPECT_EQ(melody.description, QStringLiteral("it's\n\rq"));
    EXPECT_EQ(melody.Hex(), QStringLiteral("07FF"));

    melody = CMelodyFile::Parse("A \"" + QByteArray(200, 'x') + "\" 7");
    EXPECT_EQ(melody.description, QString(127, QLatin1Char('x')));
    EXPECT_EQ(melody.Hex(), QStringLiteral("07FF"));
}

TEST(MelodyFileTest, FilesUpTo1024BytesAreParsedLongerOrUnreadableOnesRefused)
{
    QTemporaryDir dir;
    const auto write = [&dir](const QString& name, const QByteArray& content) {
        return TestFiles::Write(dir.path(), name, content);
    };
    const QByteArray melody = "A \"Full\" 1 C";
    const CMelody full = CMelodyFile::Read(write("full.tsm", melody + QByteArray(1024 - melody.size(), ' ')));
    EXPECT_TRUE(full.IsValid());
    EXPECT_EQ(full.description, QStringLiteral("Full"));
    EXPECT_EQ(full.Hex(), QStringLiteral("0101FF"));

    EXPECT_EQ(CMelodyFile::Read(write("long.tsm", melody + QByteArray(1025 - melody.size(), ' '))).error, CMelodyFile::kErrorSize);
    EXPECT_EQ(CMelodyFile::Read(write("empty.tsm", {})).error, CMelodyFile::kErrorRead);
    EXPECT_EQ(CMelodyFile::Read(dir.filePath("missing.tsm")).error, CMelodyFile::kErrorOpen);
}

}
