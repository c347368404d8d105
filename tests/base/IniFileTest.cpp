#include "base/CIniFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>

#include "common/TestFiles.h"

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& content) { return TestFiles::Write(m_dir.path(), "test.ini", content); }

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
    const std::pair<const char*, int> cases[] = { { "a", 640 }, { "b", -1 }, { "c", 12 }, { "d", 7 }, { "e", 7 }, { "f", 7 },
                                                  { "g", INT_MIN }, { "h", 5 }, { "i", 7 }, { "missing", 7 } };
    for (const auto& [key, expected] : cases)
        EXPECT_EQ(ini.Int("S", key, 7), expected) << key;
}

TEST_F(IniFileTest, RewritingChangesOnlyTheKeysSetAndKeepsEveryOtherByte)
{
    const QByteArray original = "; written by hand\r\n[Chart.RPM]\r\nColor=16711680\r\n\r\n[TORV]\r\n  Port = COM3:   \r\n"
                                "some line without an equals sign\r\n\r\n[Panel.Tracks]\r\n1=/home/me/a.tplay\r\n";
    const QString path = Write(original);
    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    ini.SetValue("torv", "PORT", "/dev/ttyACM0");
    ini.SetValue("TORV", "cx", "600");
    ASSERT_TRUE(ini.Save());

    const QByteArray expected = "; written by hand\r\n[Chart.RPM]\r\nColor=16711680\r\n\r\n[TORV]\r\nPort=/dev/ttyACM0\r\n"
                                "some line without an equals sign\r\ncx=600\r\n\r\n[Panel.Tracks]\r\n1=/home/me/a.tplay\r\n";
    EXPECT_EQ(TestFiles::Read(path), expected);
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
    EXPECT_EQ(TestFiles::Read(path), QByteArray("[A]\na=1\n[B]\nb=2\n"));
}

}
