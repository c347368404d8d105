#include "firmware/CFirmwareFolder.h"
#include "common/TestFiles.h"
#include "firmware/CUpdateFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "firmware/FirmwareTestSupport.h"

namespace {

using FirmwareTestSupport::Image;
using FirmwareTestSupport::UpdText;

class UpdateFileTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& text) { return TestFiles::Write(m_dir.path(), name, text); }

    QTemporaryDir m_dir;
};

TEST_F(UpdateFileTest, ImagesAreWholePagesOfLinesWithGoodCrcs)
{
    // 18 lines: two pages, accepted; lower-case digits read as upper-case.
    const std::vector<uint8_t> image = Image(288);
    CUpdateFile::Image read = CUpdateFile::ReadImage(Write("two.upd", UpdText(3, 1, "2.4", "", image).toLower()));
    EXPECT_EQ(read.status, CUpdateFile::Image::Status::Ok);
    EXPECT_EQ(read.bytes, image);

    // 17 lines: the size is refused with the length.
    read = CUpdateFile::ReadImage(Write("short.upd", UpdText(3, 1, "2.4", "", Image(272))));
    EXPECT_EQ(read.status, CUpdateFile::Image::Status::WrongSize);
    EXPECT_EQ(read.size, 272U);
    EXPECT_TRUE(read.bytes.empty());
}

TEST_F(UpdateFileTest, BadLinesAreCrcErrorsCountedFromTheHexLine)
{
    const QByteArray good = UpdText(3, 1, "2.4", "", Image(288));
    QList<QByteArray> lines = good.split('\n');
    const int hex = static_cast<int>(lines.indexOf("[Hex]"));
    ASSERT_GE(hex, 0);
    const struct {
        const char* name;
        QByteArray third;   // the third data line
    } cases[] = {
        {"crc", QByteArray(lines[hex + 3]).replace(0, 1, lines[hex + 3].at(0) == '0' ? "1" : "0")},
        {"short", lines[hex + 3].left(35)},
        {"not hex", QByteArray(lines[hex + 3]).replace(4, 1, "G")},
    };
    for (const auto& c : cases) {
        QList<QByteArray> changed = lines;
        changed[hex + 3] = c.third;
        const CUpdateFile::Image read = CUpdateFile::ReadImage(Write(c.name, changed.join('\n')));
        EXPECT_EQ(read.status, CUpdateFile::Image::Status::CrcError) << c.name;
        EXPECT_EQ(read.line, 4) << c.name;
        EXPECT_EQ(read.size, 0U) << c.name;
    }

    QByteArray noHex = good;
    noHex.replace("[Hex]", "[Data]");
    EXPECT_EQ(CUpdateFile::ReadImage(Write("nohex.upd", noHex)).size, 0U);
    QByteArray capitals = good;
    capitals.replace("[Hex]", "[HEX]");
    EXPECT_EQ(CUpdateFile::ReadImage(Write("caps.upd", capitals)).status, CUpdateFile::Image::Status::Ok);
    EXPECT_EQ(CUpdateFile::ReadImage(m_dir.filePath("missing.upd")).status, CUpdateFile::Image::Status::WrongSize);
}

TEST_F(UpdateFileTest, FolderListsTheFilesOfTheDeviceNewestFoundFirst)
{
    const std::vector<uint8_t> image = Image(144);
    Write("a.upd", UpdText(3, 1, "2.4", "Faster$$brake", image));
    Write("b.upd", UpdText(3, 1, "2.5", "", image));
    Write("otherhw.upd", UpdText(3, 2, "2.6", "", image));
    Write("otherdev.upd", UpdText(4, 1, "2.7", "", image));
    Write("notes.txt", "DevId=3");

    CFirmwareFolder folder(3, 1);
    folder.Start(m_dir.path());
    int steps = 0;
    std::vector<QString> found;   // versions in the order the steps found them
    while (folder.Step()) {
        ++steps;
        if (folder.Rows().size() > found.size())
            found.push_back(folder.Rows().front().version);
    }
    EXPECT_EQ(steps, 4) << "one step per update file";
    ASSERT_EQ(folder.Rows().size(), 2U);
    // Whatever order the folder yields, the last file found is on top.
    EXPECT_EQ(folder.Rows()[0].version, found.back());
    EXPECT_EQ(folder.Rows()[1].version, found.front());
    const CUpdateFile::Info& a = folder.Rows()[0].version == "2.4" ? folder.Rows()[0] : folder.Rows()[1];
    EXPECT_EQ(a.OneLine(), QStringLiteral("Faster brake "));
    EXPECT_EQ(a.Lines(), QStringLiteral("Faster\r\nbrake\r\n"));

    folder.Start(m_dir.filePath("nowhere"));
    EXPECT_FALSE(folder.Searching());
    EXPECT_EQ(folder.Rows().size(), 2U) << "another folder keeps the rows";
}

}
