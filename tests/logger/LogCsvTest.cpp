#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

#include "LoggerTestSupport.h"
#include "common/TestFiles.h"
#include "logger/CDecodedCsvWriter.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogCsvWriter.h"
#include "logger/CChartStyleSettings.h"
#include "base/CIniFile.h"

using namespace LoggerTest;

namespace {

TEST(LogCsvTest, WriterPutsTheCalibrationLineAndOneLinePerGroup)
{
    // Mask 3: two slots, G = 3, 85 groups; slots 0x123 and 0x456 in each.
    Bytes page = Page(2, 5, 3, {0x12, 0x34, 0x56});
    QList<QByteArray> lines = CLogCsvWriter::Format(page.data(), 1, 0, 0, {1, 2, 3}).split('\n');
    ASSERT_EQ(lines.size(), 1 + 85 + 1);
    EXPECT_EQ(lines[0], "#1,2,3\r");
    EXPECT_EQ(lines[1], "0,2,5,3,0,291,1110\r");
    EXPECT_EQ(lines[2], ",,,,1,291,1110\r");
    EXPECT_TRUE(lines.back().isEmpty());

    // Mask 7: three slots, G = 6, 42 groups of four values, the last from
    // the odd half of the second triple.
    page = Page(1, 5, 7, {0, 0, 0, 0xAB, 0xC1, 0x23});
    lines = CLogCsvWriter::Format(page.data(), 1, 0, 0, Snapshot()).split('\n');
    EXPECT_EQ(lines[1], "0,1,5,7,0,0,0,2748,291\r");
    EXPECT_EQ(lines.size(), 1 + 42 + 1);
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

    const SampleLibrary library;
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
    EXPECT_EQ(TestFiles::Read(path), text);
}

TEST(LogCsvTest, ReaderRefusesFilesItCannotRebuild)
{
    const SampleLibrary library;
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
    // A mask selecting no slot is refused as a corrupted log.
    EXPECT_EQ(CLogCsvReader::Message(CLogCsvReader::Result::NoSlots), "Corrupted log can not be processed here");
}

// A file of two pages with mask 0x0F: 42 group lines each, lines 2-43 and
// 44-85, with the given lines changed.
QByteArray TwoPageFile(const std::function<void(QList<QByteArray>&)>& change)
{
    Bytes page = Page(4, 5, 0x0F, 0x11);
    const Bytes pages = Concat({page, page});
    QList<QByteArray> lines = CLogCsvWriter::Format(pages.data(), 2, 0, 1, Snapshot()).split('\n');
    change(lines);
    return lines.join('\n');
}

TEST(LogCsvTest, CutOrDamagedFileGivesOnlyItsWholeSamplesAndNamesTheIncompletePage)
{
    const SampleLibrary library;
    using Kind = CLogCsvReader::Damage::Kind;
    const struct {
        const char* what;
        std::function<void(QList<QByteArray>&)> change;
        Kind kind;
        std::size_t page;
        int line;
        std::size_t samples;
    } cases[] = {
        {"cut in page 2", [](QList<QByteArray>& l) { l = l.mid(0, 54); }, Kind::Cut, 2, 54, 42 + 11},
        {"a missing value", [](QList<QByteArray>& l) { l[48].truncate(l[48].lastIndexOf(',')); }, Kind::Damaged, 2,
         49, 42 + 5},
        {"a value above 4095", [](QList<QByteArray>& l) { l[2] = ",,,,1,4096,0,0,0\r"; }, Kind::Damaged, 1, 3, 1},
        {"a negative value", [](QList<QByteArray>& l) { l[2] = ",,,,1,-1,0,0,0\r"; }, Kind::Damaged, 1, 3, 1},
        {"a line left out", [](QList<QByteArray>& l) { l.removeAt(9); }, Kind::Damaged, 1, 10, 8},
        {"page 2 too early", [](QList<QByteArray>& l) { l.erase(l.begin() + 20, l.begin() + 43); }, Kind::Missing, 1,
         21, 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray text = TwoPageFile(c.change);
        CLogCsvReader::Log log;
        ASSERT_EQ(CLogCsvReader::Read(text, library, log), CLogCsvReader::Result::Ok);
        ASSERT_TRUE(log.damage);
        EXPECT_EQ(log.damage->kind, c.kind);
        EXPECT_EQ(log.damage->page, c.page);
        EXPECT_EQ(log.damage->line, c.line);
        // The message names the page and the line where the damage begins.
        const QString said = CLogCsvReader::DamageMessage(*log.damage);
        EXPECT_TRUE(said.startsWith(QStringLiteral("Page %1 ").arg(c.page))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("line %1").arg(c.line))) << said.toStdString();
        // The rebuilt pages and the chart's own reading give the same whole
        // samples, and no more.
        CDataProcessor processor(log.logger, log.snapshot);
        DecodedLog rebuilt;
        ASSERT_TRUE(processor.Decode(log.pages.data(), log.pageCount, 0, log.pageCount - 1, rebuilt, log.lastPageBytes));
        EXPECT_EQ(rebuilt.time.size(), c.samples);
        DecodedLog read;
        std::optional<CLogCsvReader::Damage> damage;
        ASSERT_TRUE(CLogCsvReader::ReadDecoded(text, log.logger, {}, nullptr, read, nullptr, &damage));
        EXPECT_EQ(read.time, rebuilt.time);
        ASSERT_TRUE(damage);
        EXPECT_EQ(damage->line, c.line);
    }
    CLogCsvReader::Damage cut{Kind::Cut, 2, 54, 11};
    EXPECT_EQ(CLogCsvReader::DamageText(cut), "page 2 of the log is incomplete: the file ends after line 54");
    EXPECT_EQ(CLogCsvReader::DamageMessage(cut),
              "Page 2 of the log is incomplete: the file ends after line 54.\r\nOnly the samples before it are shown.");
}

TEST(LogCsvTest, FileDecodesWithTheTimeBaseOfTheDownloadedLog)
{
    const GeneratedLogs generated;
    ASSERT_TRUE(generated.logger);
    DecodedLog downloaded;
    ASSERT_TRUE(generated.DecodeFirst(downloaded));
    ASSERT_EQ(downloaded.series.back().label, "Energy");
    EXPECT_GT(downloaded.series.back().values.back(), 0.01);

    // Energy integrates watt × dt: read from the file (the chart's Open, the
    // command line's plot) it rises exactly as after the download, also
    // from a file without the "#" line, which takes the shown log's snapshot.
    const QByteArray text =
        CLogCsvWriter::Format(generated.memory.data(), generated.memory.size() / LoggerPage::kSize, 0, 19, generated.snapshot);
    const QByteArray withoutSnapshot = text.mid(text.indexOf('\n') + 1);
    for (const QByteArray& file : {text, withoutSnapshot}) {
        DecodedLog read;
        Bytes used;
        ASSERT_TRUE(CLogCsvReader::ReadDecoded(file, generated.logger, generated.snapshot, nullptr, read, &used));
        EXPECT_EQ(used, generated.snapshot);
        EXPECT_EQ(read.time, downloaded.time);
        ASSERT_EQ(read.series.size(), downloaded.series.size());
        for (std::size_t i = 0; i < read.series.size(); ++i)
            EXPECT_EQ(read.series[i].values, downloaded.series[i].values) << read.series[i].label.toStdString();
    }
}

TEST(LogCsvTest, ChartStylesSurviveARestartThroughTheSettingsFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("TORV.ini");
    {
        CIniFile ini(path);
        CChartStyleSettings custom;
        custom.colour = CChartStyleSettings::PaletteColour(2);
        custom.visible = false;
        custom.mode = 2;
        custom.minimum = -1.5;
        custom.maximum = 30;
        custom.Write(ini, "Current");
        CChartStyleSettings aligned;
        aligned.mode = 1;
        aligned.Write(ini, "RPM");
        ini.SetValue("Chart.Bad", "Align", "2");
        ini.SetValue("Chart.Bad", "Range", "abc");
        ASSERT_TRUE(ini.Save());
    }
    CIniFile ini(path);
    ASSERT_EQ(ini.Load(), CIniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.String("Chart.Current", "Range", ""), "-1.500000,30.000000");
    const CChartStyleSettings current = CChartStyleSettings::Read(ini, "Current", 0);
    EXPECT_EQ(current.colour, 255 * 65536);
    EXPECT_FALSE(current.visible);
    EXPECT_EQ(current.mode, 2);
    EXPECT_DOUBLE_EQ(current.minimum, -1.5);
    EXPECT_DOUBLE_EQ(current.maximum, 30);
    EXPECT_EQ(CChartStyleSettings::Read(ini, "RPM", 1).mode, 1);
    EXPECT_EQ(CChartStyleSettings::Read(ini, "Bad", -1).mode, 0);  // "abc" is no range
    // Without a stored colour the palette gives it; without either none.
    EXPECT_EQ(CChartStyleSettings::Read(ini, "New", 11).colour, 150 * 256);
    EXPECT_FALSE(CChartStyleSettings::Read(ini, "New", -1).colour.has_value());
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
