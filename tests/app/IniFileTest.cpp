#include "app/CIniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("test.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QByteArray Read(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    QTemporaryDir m_dir;
};

TEST_F(IniFileTest, NamesMatchWithoutCaseAndSurroundingSpaceFirstOccurrenceWins)
{
    CIniFile ini(Write("[ torv ]\n  escfile =  /a/b.esc  \nPORT=/dev/ttyUSB0\nport=/dev/second\n"
                       "[Torv]\nPort=/dev/third\nSaveFolder=/later\n"));
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.Value("TORV", "ESCFile"), QStringLiteral("/a/b.esc"));
    EXPECT_EQ(ini.Value("TORV", "Port"), QStringLiteral("/dev/ttyUSB0"));
    // A key only in a later occurrence of the section is still found.
    EXPECT_EQ(ini.Value("TORV", "SaveFolder"), QStringLiteral("/later"));
    EXPECT_FALSE(ini.Value("TORV", "cx").has_value());
    EXPECT_FALSE(ini.Value("Other", "Port").has_value());
    EXPECT_EQ(ini.Sections(), QStringList { "torv" });
    EXPECT_EQ(ini.Keys("TORV"), (QStringList { "escfile", "PORT", "SaveFolder" }));
}

TEST_F(IniFileTest, IntegersAreReadFromTheLeadingDigitsAndOddValuesGiveTheFallback)
{
    CIniFile ini(Write("[S]\na=640\nb= -1 \nc=12px\nd=abc\ne=\nf=99999999999\ng=-2147483648\nh=+5\ni=2147483648\n"));
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.Int("S", "a", 7), 640);
    EXPECT_EQ(ini.Int("S", "b", 7), -1);
    EXPECT_EQ(ini.Int("S", "c", 7), 12);
    EXPECT_EQ(ini.Int("S", "d", 7), 7);
    EXPECT_EQ(ini.Int("S", "e", 7), 7);
    EXPECT_EQ(ini.Int("S", "f", 7), 7);
    EXPECT_EQ(ini.Int("S", "g", 7), std::numeric_limits<int>::min());
    EXPECT_EQ(ini.Int("S", "h", 7), 5);
    EXPECT_EQ(ini.Int("S", "i", 7), 7);
    EXPECT_EQ(ini.Int("S", "missing", 7), 7);
}

TEST_F(IniFileTest, RewritingChangesOnlyTheKeysSetAndKeepsEveryOtherByte)
{
    const QByteArray original =
        "; written by hand\r\n"
        "[Chart.RPM]\r\n"
        "Color=16711680\r\n"
        "\r\n"
        "[TORV]\r\n"
        "  Port = COM3:   \r\n"
        "some line without an equals sign\r\n"
        "\r\n"
        "[Panel.Tracks]\r\n"
        "1=/home/me/a.tplay\r\n";
    const QString path = Write(original);
    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    ini.SetValue("torv", "PORT", "/dev/ttyACM0");
    ini.SetValue("TORV", "cx", "600");
    ASSERT_TRUE(ini.Save());

    const QByteArray expected =
        "; written by hand\r\n"
        "[Chart.RPM]\r\n"
        "Color=16711680\r\n"
        "\r\n"
        "[TORV]\r\n"
        "Port=/dev/ttyACM0\r\n"
        "some line without an equals sign\r\n"
        "cx=600\r\n"
        "\r\n"
        "[Panel.Tracks]\r\n"
        "1=/home/me/a.tplay\r\n";
    EXPECT_EQ(Read(path), expected);
}

TEST_F(IniFileTest, MissingSectionIsAppendedAfterABlankLine)
{
    const QString path = Write("[Other]\nx=1");
    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    ini.SetValue("TORV", "Port", "COM1:");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(Read(path), QByteArray("[Other]\nx=1\n\n[TORV]\nPort=COM1:\n"));
}

TEST_F(IniFileTest, LineBreaksInAValueCannotForgeOtherKeysOrSections)
{
    const QString path = m_dir.filePath("new.ini");
    CIniFile ini(path);
    ini.SetValue("TORV", "Port", "COM1:\n[Evil]\r\ncx=5");
    ASSERT_TRUE(ini.Save());

    CIniFile back(path);
    ASSERT_EQ(back.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(back.Sections(), QStringList { "TORV" });
    EXPECT_EQ(back.Keys("TORV"), QStringList { "Port" });
    EXPECT_EQ(back.Value("TORV", "Port"), QStringLiteral("COM1: [Evil]  cx=5"));
}

TEST_F(IniFileTest, RemoveSectionDropsEveryOccurrenceAndNothingElse)
{
    const QString path = Write("[A]\na=1\n[Panel.Tracks]\n1=x\n2=y\n[B]\nb=2\n[panel.tracks]\n3=z\n");
    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    ini.RemoveSection("Panel.Tracks");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(Read(path), QByteArray("[A]\na=1\n[B]\nb=2\n"));
}

TEST_F(IniFileTest, BinaryJunkLoadsWithoutHarmAndSurvivesARewrite)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(static_cast<char>((i * 7919 + 13) % 256));
    junk.append('\0');
    junk.append("\xff\xfe[TORV\x00=\x01", 10);
    const QString path = Write(junk);

    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_FALSE(ini.Value("TORV", "Port").has_value());
    ini.SetValue("TORV", "Port", "/dev/ttyUSB0");
    ASSERT_TRUE(ini.Save());

    CIniFile back(path);
    ASSERT_EQ(back.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(back.Value("TORV", "Port"), QStringLiteral("/dev/ttyUSB0"));
    // The junk itself is kept ahead of the new section.
    QByteArray firstLine = junk.left(junk.indexOf('\n'));
    if (firstLine.endsWith('\r'))
        firstLine.chop(1);
    EXPECT_TRUE(Read(path).startsWith(firstLine));
}

TEST_F(IniFileTest, MissingUnreadableAndUnwritableFilesFailCleanly)
{
    CIniFile missing(m_dir.filePath("none.ini"));
    EXPECT_EQ(missing.Load(), CIniFile::LoadResult::Missing);

    CIniFile directory(m_dir.path());
    EXPECT_EQ(directory.Load(), CIniFile::LoadResult::Unreadable);
    EXPECT_FALSE(directory.Save());

    // The parent of the path is a regular file: no folder can be made there,
    // whoever runs the test.
    const QString file = Write("[TORV]\n");
    CIniFile underFile(file + "/TORV/TORV.ini");
    underFile.SetValue("TORV", "Port", "COM1:");
    EXPECT_FALSE(underFile.Save());

    CIniFile inProc("/proc/torv-test/TORV.ini");
    inProc.SetValue("TORV", "Port", "COM1:");
    EXPECT_FALSE(inProc.Save());
}

}
