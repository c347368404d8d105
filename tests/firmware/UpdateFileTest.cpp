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

// An image is whole pages of lines with good CRCs after "[Hex]" in any case;
// a bad line is a CRC error counted from the "[Hex]" line.
TEST_F(UpdateFileTest, ImagesAreWholePagesOfLinesWithGoodCrcsAndBadLinesAreCountedFromTheHexLine)
{
    using Status = CUpdateFile::Image::Status;
    const std::vector<uint8_t> image = Image(288);
    const QByteArray good = UpdText(3, 1, "2.4", "", image);
    const int third = good.indexOf("[Hex]\n") + 6 + 2 * 37;   // the third data line, 36 characters
    const auto edited = [&](int at, int count, const char* by) { return QByteArray(good).replace(at, count, by); };
    const struct {
        const char* name;
        QByteArray text;
        Status status;
        int line;
        size_t size;
    } cases[] = {
        {"two.upd", good.toLower(), Status::Ok, 0, 288},   // lower-case digits read as upper-case
        {"caps.upd", QByteArray(good).replace("[Hex]", "[HEX]"), Status::Ok, 0, 288},
        {"short.upd", UpdText(3, 1, "2.4", "", Image(272)), Status::WrongSize, 0, 272},   // refused with the length
        {"crc.upd", edited(third, 1, good[third] == '0' ? "1" : "0"), Status::CrcError, 4, 0},
        {"cut.upd", edited(third + 35, 1, ""), Status::CrcError, 4, 0},
        {"nothex.upd", edited(third + 4, 1, "G"), Status::CrcError, 4, 0},
        {"nohex.upd", QByteArray(good).replace("[Hex]", "[Data]"), Status::WrongSize, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CUpdateFile::Image read = CUpdateFile::ReadImage(Write(c.name, c.text));
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.line, c.line);
        EXPECT_EQ(read.size, c.size);
        EXPECT_EQ(read.bytes, c.status == Status::Ok ? image : std::vector<uint8_t>());
    }
    EXPECT_EQ(CUpdateFile::ReadImage(m_dir.filePath("missing.upd")).status, Status::WrongSize);
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
