#include "panel/CTrackFile.h"

#include "common/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

CTrackSegment Seg(quint32 start, quint32 end, quint16 a, quint16 b)
{
    return CTrackSegment{start, end, a, b};
}

TEST(TrackFileTest, TextsGiveTheirSegments)
{
    const struct {
        const char* name;
        QByteArray text;
        CTrack track;
    } cases[] = {
        {"comment, ramp, hold", "# a ramp\n1,10,200\n0.5,200\n", {Seg(0, 50, 10, 200), Seg(50, 75, 200, 200)}},
        {"durations divide in double: 0.02, 0.04, 0.7, 0.06 s", "0.02,5\n0.04,5\n0.7,5\n0.06,5,6",
         {Seg(0, 1, 5, 5), Seg(1, 3, 5, 5), Seg(3, 38, 5, 5), Seg(38, 41, 5, 6)}},
        {"0 gives 1, 300 gives 255, -1 gives 255", "1,0,300\n1,-1", {Seg(0, 50, 1, 255), Seg(50, 100, 255, 255)}},
        {"low 16 bits: 65536 is 0, so 1", "1,65536,65791", {Seg(0, 50, 1, 255)}},
        {"duration only gives 1 to 1", "2", {Seg(0, 100, 1, 1)}},
        {"empty fields are skipped", ",1,,,20,,30,", {Seg(0, 50, 20, 30)}},
        {"lines without fields are no segments", "\n,,,\n\r\n1,9\n", {Seg(0, 50, 9, 9)}},
        {"field without digits converts to 0", "abc,x,7y", {Seg(0, 0, 1, 7)}},
        {"leading number only", " 1.5e1s, +12abc ,0x20", {Seg(0, 750, 12, 1)}},
        {"below one tick is a segment of 0 ticks", "0.01,4\n1,5", {Seg(0, 0, 4, 4), Seg(0, 50, 5, 5)}},
        {"CR LF line ends", "#c\r\n1,3,4\r\n", {Seg(0, 50, 3, 4)}},
        {"fourth field ignored", "1,2,3,4", {Seg(0, 50, 2, 3)}},
        {"negative and NaN durations give 0 ticks", "-1,5\nnan,6\n1,7",
         {Seg(0, 0, 5, 5), Seg(0, 0, 6, 6), Seg(0, 50, 7, 7)}},
        {"huge durations stop at the counter's end", "1e400,5\n1e12,6",
         {Seg(0, 0xFFFFFFFFu, 5, 5), Seg(0xFFFFFFFFu, 0xFFFFFFFFu, 6, 6)}},
        {"a finite duration beyond the counter stops at its end", "1e300,5", {Seg(0, 0xFFFFFFFFu, 5, 5)}},
        {"integers beyond 32 bits saturate", "1,99999999999999,-99999999999999", {Seg(0, 50, 255, 1)}},
        // The comment's tail and the over-long value do not become segments.
        {"lines longer than the limit lose their rest",
         "#" + QByteArray(1500, 'x') + "\n1," + QByteArray(1021, ' ') + "7,8\n", {Seg(0, 50, 1, 1)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTrackFile::Parse(c.text), c.track) << c.name;
}

TEST(TrackFileTest, ReadGivesTheFileOrNoneWhenItCannotBeOpened)
{
    QTemporaryDir folder;
    const QString path = TestFiles::Write(QDir(folder.path()), "ramp.tplay", "1,10,200\n");
    EXPECT_EQ(CTrackFile::Read(path), (CTrack{Seg(0, 50, 10, 200)}));
    EXPECT_EQ(CTrackFile::Read(folder.filePath("missing.tplay")), std::nullopt);
    EXPECT_EQ(CTrackFile::Read(folder.path()), std::nullopt);
    EXPECT_EQ(CTrackFile::Read(TestFiles::Write(QDir(folder.path()), "empty.tplay", "# nothing\n")), CTrack{});
}

}
