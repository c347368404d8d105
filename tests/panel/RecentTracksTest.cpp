#include "panel/CRecentTracks.h"

#include "base/CIniFile.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class RecentTracksTest : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QString path = folder.filePath("TORV.ini");
};

TEST_F(RecentTracksTest, SaveKeepsOtherSectionsAndTheListReadAgainComesBackReversed)
{
    TestFiles::Write(QDir(folder.path()), "TORV.ini", "[TORV]\nPort=/dev/ttyUSB0\n");
    CRecentTracks recent;
    recent.Add("/t/A.tplay");
    recent.Add("/t/B.tplay");
    ASSERT_TRUE(recent.Save(path));
    EXPECT_EQ(TestFiles::Read(path), "[TORV]\nPort=/dev/ttyUSB0\n\n[Panel.Tracks]\nDocumentCount=4\nDocument1=/t/A.tplay\n"
                                     "Document2=/t/B.tplay\n");

    CIniFile ini(path);
    ini.Load();
    CRecentTracks read;
    read.Read(ini);
    EXPECT_EQ(read.Entries(), (QStringList{"/t/B.tplay", "/t/A.tplay"}));
    EXPECT_EQ(read.Capacity(), 4);
}

TEST_F(RecentTracksTest, CapacityIsLimitedWhenRead)
{
    const struct {
        const char* stored;
        int capacity;
    } cases[] = {{nullptr, 4}, {"1", 2}, {"16", 16}, {"40", 16}, {"-3", 2}, {"x", 4}};
    for (const auto& c : cases) {
        CIniFile ini(path);
        if (c.stored)
            ini.SetValue(CRecentTracks::Section(), "DocumentCount", c.stored);
        for (int i = 1; i <= 20; ++i)
            ini.SetValue(CRecentTracks::Section(), QStringLiteral("Document%1").arg(i), QString::number(i));
        CRecentTracks recent;
        recent.Read(ini);
        EXPECT_EQ(recent.Capacity(), c.capacity) << (c.stored ? c.stored : "absent");
        EXPECT_EQ(recent.Entries().size(), c.capacity);
        EXPECT_EQ(recent.Entries().front(), QString::number(c.capacity));
    }
}

TEST(RecentTracksAddTest, FullListDropsItsFirstAndEqualPathsMoveToTheEnd)
{
    CRecentTracks recent;
    for (const char* p : {"/a", "/b", "/c", "/d", "/e"})
        recent.Add(p);
    EXPECT_EQ(recent.Entries(), (QStringList{"/b", "/c", "/d", "/e"}));
    recent.Add("/C");
    EXPECT_EQ(recent.Entries(), (QStringList{"/b", "/d", "/e", "/C"}));
}

TEST(RecentTracksMenuTest, MenuTextsNumberAndShortenThePath)
{
    EXPECT_EQ(CRecentTracks::MenuText(0, "/t/a.tplay"), "&1 /t/a.tplay");
    EXPECT_EQ(CRecentTracks::MenuText(2, "/home/pilot/tracks/takeoff.tplay"), "&3 /home/...f.tplay");
    EXPECT_EQ(CRecentTracks::ShortPath("0123456789abcdef"), "0123456789abcdef");
    EXPECT_EQ(CRecentTracks::MenuText(0, "/R&D/x.tplay"), "&1 /R&&D/x.tplay");
}

}
