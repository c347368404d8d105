#include <QImage>
#include <QJsonObject>

#include <pugixml.hpp>

#include "CliFixture.h"

namespace {

using CliWorkbookPlotTest = CliTest;

TEST_F(CliWorkbookPlotTest, WorkbookHoldsTheChosenLogsPagesAndIsRefusedWhereItCannotBeWritten)
{
    StartSim();
    const QString folder = dir.filePath(QStringLiteral("book"));
    // The simulator's logs have 20, 12 and 6 pages.
    const struct {
        QStringList choice;
        int pages;
    } cases[] = {{{}, 38}, {{"--log", "2"}, 12}};
    for (const auto& c : cases) {
        const QJsonObject written = Json(QStringList{"logs", "workbook", folder} + c.choice).object();
        EXPECT_EQ(written.value("pages").toInt(), c.pages);
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(QDir(folder).filePath(QStringLiteral("logs.xml")).toLocal8Bit().constData()));
        const pugi::xml_node workbook = document.child("Workbook");
        for (const char* sheet : {"Ini", "Log"})
            EXPECT_TRUE(workbook.find_child_by_attribute("Worksheet", "ss:Name", sheet).child("Table")) << sheet;
    }
    EXPECT_EQ(Cli({"logs", "workbook", folder, "--log", "9"}).status, 2);

    // logs.xml taken by a folder: nothing can be written there.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(QDir(blocked).filePath(QStringLiteral("logs.xml"))));
    EXPECT_EQ(Cli({"logs", "workbook", blocked}).status, 4);
    EXPECT_TRUE(LeftAt19200());
}

// Decoding and plotting need no device: decode writes one row per group
// line of the log file, plot a PNG of the asked size.
TEST_F(CliWorkbookPlotTest, ASavedLogIsDecodedAndPlottedWithoutADevice)
{
    StartSim();
    const QString folder = dir.filePath(QStringLiteral("logs"));
    ASSERT_TRUE(Ended(Cli({"logs", "save", folder, "--log", "1"}), 0));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("log-1.csv")});
    const QString log = QDir(folder).filePath(QStringLiteral("log-1.csv"));
    sim.reset();

    const CliRun decoded = Cli({"logs", "decode", log});
    ASSERT_TRUE(Ended(decoded, 0));
    const QStringList rows = decoded.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows.front().startsWith(QStringLiteral("time,Throttle,RPM,Voltage,Current"))) << rows.front();
    EXPECT_EQ(rows.size() - 1, TestFiles::Read(log).count("\r\n") - 1);
    EXPECT_FALSE(decoded.out.contains(QLatin1Char('\r')));
    const QString csv = dir.filePath(QStringLiteral("decoded.csv"));
    EXPECT_TRUE(Ended(Cli({"logs", "decode", log, "-o", csv}), 0));
    EXPECT_EQ(QString::fromUtf8(TestFiles::Read(csv)), decoded.out);
    input = log;
    EXPECT_EQ(Cli({"logs", "decode", "-", "-o", "-"}).out, decoded.out);
    input.clear();
    EXPECT_EQ(Cli({"logs", "decode", dir.filePath(QStringLiteral("none.csv"))}).status, 4);

    const QString png = dir.filePath(QStringLiteral("chart.png"));
    const struct {
        QStringList size;
        QSize expected;
    } cases[] = {{{}, QSize(1200, 700)}, {{"--size", "640x360"}, QSize(640, 360)}};
    for (const auto& c : cases) {
        QFile::remove(png);
        ASSERT_TRUE(Ended(Cli(QStringList{"logs", "plot", log, "-o", png} + c.size), 0));
        const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(image.size(), c.expected);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; ++y) {
            for (int x = 0; x < image.width() && !varied; ++x)
                varied = image.pixel(x, y) != image.pixel(0, 0);
        }
        EXPECT_TRUE(varied) << "the image is one colour";
    }

    // Cut inside page 4 (21 groups a page): decode writes the 68 whole
    // samples, plot draws them, both name the page and exit 4.
    const QList<QByteArray> lines = TestFiles::Read(log).split('\n');
    const QString cut = WriteFile("cut.csv", lines.mid(0, 1 + 3 * 21 + 5).join('\n'));
    const QString incomplete = QStringLiteral("page 4 of the log is incomplete: the file ends after line 69");
    const CliRun partial = Cli({"logs", "decode", cut});
    EXPECT_TRUE(Ended(partial, 4, incomplete));
    EXPECT_EQ(partial.out.count(QLatin1Char('\n')), 1 + 68);
    QFile::remove(png);
    EXPECT_TRUE(Ended(Cli({"logs", "plot", cut, "-o", png}), 4, incomplete + "; only the 68 whole samples"));
    EXPECT_FALSE(QImage(png).isNull());
}

} // namespace
