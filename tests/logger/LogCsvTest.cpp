#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "LoggerTestSupport.h"
#include "logger/CDecodedCsvWriter.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogCsvWriter.h"

using namespace LoggerTest;

namespace {

Bytes Snapshot()
{
    Bytes snapshot(128, 0);
    snapshot[64] = 3;
    snapshot[65] = 2;
    snapshot[66] = 1;
    return snapshot;
}

TEST(LogCsvTest, WriterPutsTheCalibrationLineAndOneLinePerGroup)
{
    // Mask 3: two slots, G = 3, 85 groups; slots 0x123 and 0x456 in each.
    Bytes page = Page(2, 5, 3);
    for (std::size_t at = 8; at + 3 <= page.size(); at += 3) {
        page[at] = 0x12;
        page[at + 1] = 0x34;
        page[at + 2] = 0x56;
    }
    const QByteArray text = CLogCsvWriter::Format(page.data(), 1, 0, 0, {1, 2, 3});
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 1 + 85 + 1);
    EXPECT_EQ(lines[0], "#1,2,3\r");
    EXPECT_EQ(lines[1], "0,2,5,3,0,291,1110\r");
    EXPECT_EQ(lines[2], ",,,,1,291,1110\r");
    EXPECT_TRUE(lines.back().isEmpty());
}

TEST(LogCsvTest, TwoPagesReadBackEqualInTheirGroupsAndZeroInTheTail)
{
    std::vector<Bytes> pages = {Page(2, 1, 0x0F), Page(2, 1, 0x0F)};
    for (Bytes& page : pages)
        for (std::size_t i = 8; i < page.size(); ++i)
            page[i] = static_cast<uint8_t>(i * 13 + page[0]);
    const Bytes buffer = Concat(pages);
    const QByteArray text = CLogCsvWriter::Format(buffer.data(), 2, 0, 1, Snapshot());
    EXPECT_EQ(text.count('\n'), 1 + 84);

    CDeviceLibrary library;
    ASSERT_TRUE(library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
    CLogCsvReader::Log log;
    ASSERT_EQ(CLogCsvReader::Read(text, library, log), CLogCsvReader::Result::Ok);
    EXPECT_EQ(log.snapshot, Snapshot());
    ASSERT_EQ(log.pageCount, 2u);
    for (std::size_t p = 0; p < 2; ++p) {
        const auto* read = log.pages.data() + p * 264;
        EXPECT_TRUE(std::equal(read, read + 4, buffer.data() + p * 264));
        EXPECT_TRUE(std::equal(read + 8, read + 260, buffer.data() + p * 264 + 8));
        EXPECT_EQ(Bytes(read + 260, read + 264), Bytes(4, 0));
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("log-2.csv");
    ASSERT_TRUE(CLogCsvWriter::Save(path, buffer.data(), 2, 0, 1, Snapshot()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
}

TEST(LogCsvTest, ReaderRefusesFilesItCannotRebuild)
{
    CDeviceLibrary library;
    ASSERT_TRUE(library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
    QByteArray short66 = "#0";
    for (int i = 1; i < 66; ++i)
        short66 += ",0";
    Bytes unknown = Snapshot();
    unknown[64] = 9;
    const struct {
        QByteArray text;
        CLogCsvReader::Result result;
    } cases[] = {
        {"0,2,5,3,0,1,2\r\n", CLogCsvReader::Result::OldStyle},
        {short66 + "\r\n", CLogCsvReader::Result::Corrupted},
        {CLogCsvWriter::Format(nullptr, 0, 0, 0, unknown), CLogCsvReader::Result::UnknownLogger},
        {CLogCsvWriter::Format(nullptr, 0, 0, 0, Snapshot()) + "0,2,5,0,0\r\n", CLogCsvReader::Result::NoSlots},
    };
    for (const auto& c : cases) {
        CLogCsvReader::Log log;
        EXPECT_EQ(CLogCsvReader::Read(c.text, library, log), c.result) << c.text.left(20).toStdString();
    }
    EXPECT_EQ(CLogCsvReader::Message(CLogCsvReader::Result::OldStyle), "Old style log can not be processed here");
}

TEST(LogCsvTest, DecodedCsvHasTimeAndOneColumnPerChannel)
{
    DecodedLog log;
    log.time = {0, 0.1};
    log.series = {{"Throttle", 0, {1.0 / 3.0, 50}}, {"A, B", 1, {123456789012.0, -2}}};
    EXPECT_EQ(CDecodedCsvWriter::Format(log),
              "time,Throttle,\"A, B\"\n0,0.333333333,1.23456789e+11\n0.1,50,-2\n");
}

} // namespace
