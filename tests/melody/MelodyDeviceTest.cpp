#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

#include "common/TestFiles.h"
#include "logger/LoggerTestSupport.h"
#include "melody/CMelodyCells.h"
#include "melody/CMelodyFile.h"
#include "melody/CMelodyFolder.h"
#include "melody/CMelodyRow.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MelodyCellsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(esc.connected); }

    CEscSimulator& Sim() { return esc.link->Sim(); }
    void SetCells(int first, const Bytes& bytes)
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            Sim().SetCell(first + static_cast<int>(i), bytes[i]);
    }
    Bytes SimCells(int first, int count)
    {
        Bytes bytes;
        for (int i = 0; i < count; ++i)
            bytes.push_back(Sim().Cell(first + i));
        return bytes;
    }
    // The cells the ESC was told to write, in order.
    std::vector<int> WrittenCells()
    {
        std::vector<int> cells;
        for (const Bytes& frame : FramesWith(Sim(), 'w'))
            cells.push_back(frame[2]);
        return cells;
    }
    static std::vector<int> Range(int first, int last)
    {
        std::vector<int> cells;
        for (int cell = first; cell <= last; ++cell)
            cells.push_back(cell);
        return cells;
    }

    LoggerTest::ConnectedEsc esc;
    CMelodyCells cells{*esc.session};
};

TEST_F(MelodyCellsTest, DeviceRowsHoldTheBytesBeforeTheTerminatorAndNeedTwoOfThem)
{
    // The full profile keeps an 'A' melody; a 'W' melody of two bytes.
    SetCells(128, {0x78, 0x01, 0xFF});
    std::vector<CMelodyRow> rows = cells.ReadRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].type, QStringLiteral("A"));
    EXPECT_EQ(rows[0].file, QStringLiteral("ESC"));
    EXPECT_EQ(rows[0].description, QStringLiteral("current custom melody"));
    EXPECT_EQ(rows[0].hex, QStringLiteral("01212528ADFF"));
    EXPECT_EQ(rows[1].type, QStringLiteral("W"));
    EXPECT_EQ(rows[1].hex, QStringLiteral("7801FF"));

    // Erased 'A' cells and a single byte before the terminator give no row.
    Sim().SetCell(160, 0xFF);
    SetCells(128, {0x78, 0xFF});
    EXPECT_TRUE(cells.ReadRows().empty());
}

// Without a terminator in reach the melody ends inside its kind's area.
TEST_F(MelodyCellsTest, WriteStoresTheMelodyAndItsTerminatorInsideTheKindsAreaAndReadsThemBack)
{
    Sim().ClearFrames();
    CMelodyCells::WriteResult result = cells.Write('W', {0x78, 0x01, 0x51, 0xE8, 0x20, 0xFF, 0x33});
    EXPECT_TRUE(result.Ok()) << result.Problem().toStdString();
    EXPECT_EQ(WrittenCells(), Range(128, 133));
    EXPECT_EQ(SimCells(128, 6), (Bytes{0x78, 0x01, 0x51, 0xE8, 0x20, 0xFF}));

    // A row of kind 'A' goes to cell 160, wherever it came from.
    Sim().ClearFrames();
    const CMelody file = CMelodyFile::Parse("A \"x\" 2 C D");
    EXPECT_TRUE(cells.Write(CMelodyRow::FromFile("a.tsm", file).Kind(), file.bytes).Ok());
    EXPECT_EQ(WrittenCells(), Range(160, 163));
    EXPECT_EQ(SimCells(160, 4), (Bytes{0x02, 0x01, 0x03, 0xFF}));

    Sim().ClearFrames();
    const Bytes noTerminator(31, 0x21);
    EXPECT_TRUE(cells.Write('A', noTerminator).Ok());
    EXPECT_EQ(WrittenCells(), Range(160, 174));
    EXPECT_EQ(Sim().Cell(174), 0xFF);

    Sim().ClearFrames();
    EXPECT_TRUE(cells.Write('W', noTerminator).Ok());
    EXPECT_EQ(WrittenCells(), Range(128, 158));
}

TEST_F(MelodyCellsTest, ACellThatDoesNotTakeItsValueIsReported)
{
    Sim().SetCell(130, 0x03);
    Sim().SetWriteProtected(130, true);
    const CMelodyCells::WriteResult result = cells.Write('W', {0x78, 0x01, 0x51, 0xFF});
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.badCell, 130);
    EXPECT_EQ(result.Problem(), QStringLiteral("cell 130 reads back 0x03, 0x51 was written"));
    EXPECT_EQ(Sim().Cell(131), 0xFF) << "every cell is still written";
}

TEST_F(MelodyCellsTest, NothingIsWrittenForAnEmptyMelodyOrAfterAStopRequest)
{
    // A lead byte of 255 reads as the terminator: the stored melody would go.
    Sim().ClearFrames();
    CMelodyCells::WriteResult result = cells.Write('A', {0xFF, 0x01, 0x03, 0xFF});
    EXPECT_TRUE(result.refused);
    EXPECT_TRUE(result.Problem().contains("lead byte is 255")) << result.Problem().toStdString();
    EXPECT_TRUE(Sim().Frames().empty());
    EXPECT_EQ(SimCells(160, 2), (Bytes{0x01, 0x21}));

    // A stop asked for after two cells: no third write, no read-back.
    int asked = 0;
    cells.SetStopRequest([&asked] { return ++asked > 2; });
    result = cells.Write('W', {0x78, 0x01, 0x51, 0xE8, 0x20, 0xFF});
    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ(result.cellsSent, 2);
    EXPECT_EQ(WrittenCells(), Range(128, 129));
    EXPECT_EQ(Sim().Frames().size(), 2u);
    EXPECT_TRUE(result.Problem().startsWith("interrupted after 2 of 6 cells")) << result.Problem().toStdString();
}

TEST(MelodyRowTest, HexTextsDecodeUpToTheTerminatorOr31Bytes)
{
    const struct {
        QString hex;
        Bytes bytes;
    } cases[] = {
        {"780151E820FF", {0x78, 0x01, 0x51, 0xE8, 0x20, 0xFF}},
        {"01FF02", {0x01, 0xFF}},
        {"0102x3", {0x01, 0x02}},
        {QString("21").repeated(40), Bytes(31, 0x21)},
        {QString(" "), {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMelodyRow::Decode(c.hex), c.bytes) << c.hex.toStdString();
}

TEST(MelodyFolderTest, ListsOneTsmFilePerCallWithItsMelodyOrError)
{
    QTemporaryDir dir;
    TestFiles::Write(dir.path(), "intro.tsm", "W \"Intro\" 120 C 1E4 'G8 P2");
    TestFiles::Write(dir.path(), "broken.TSM", "w 1 C");
    TestFiles::Write(dir.path(), "notes.txt", "A 1 C");

    CMelodyFolder folder;
    folder.Start(dir.path());
    std::set<QString> rows;
    while (const std::optional<CMelodyRow> row = folder.Next())
        rows.insert(row->type + '|' + row->file + '|' + row->description + '|' + row->hex);
    EXPECT_FALSE(folder.Searching());
    EXPECT_EQ(rows, (std::set<QString>{"W|intro.tsm|Intro|780151E820FF", " |broken.TSM|!error - type|"}));

    folder.Start(dir.filePath("missing"));
    EXPECT_FALSE(folder.Next());
}

}
