#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <pugixml.hpp>

#include "CliFixture.h"

namespace {

const QString kLogs = QStringLiteral("logs");

using CliWorkbookPlotTest = CliTest;

TEST_F(CliWorkbookPlotTest, WorkbookHoldsTheChosenLogsPagesAndIsRefusedWhereItCannotBeWritten)
{
    StartSim();
    const QString folder = dir.filePath(QStringLiteral("book"));
    // The simulator's logs have 20, 12 and 6 pages.
    const struct {
        QStringList choice;
        int pages;
    } cases[] = {{{}, 38}, {{QStringLiteral("--log"), QStringLiteral("2")}, 12}};
    for (const auto& c : cases) {
        const QJsonObject written = Json(QStringList{kLogs, QStringLiteral("workbook"), folder} + c.choice).object();
        EXPECT_EQ(written.value("pages").toInt(), c.pages);
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(QDir(folder).filePath(QStringLiteral("logs.xml")).toLocal8Bit().constData()));
        const pugi::xml_node workbook = document.child("Workbook");
        for (const char* sheet : {"Ini", "Log"})
            EXPECT_TRUE(workbook.find_child_by_attribute("Worksheet", "ss:Name", sheet).child("Table")) << sheet;
    }
    EXPECT_EQ(Cli({kLogs, QStringLiteral("workbook"), folder, QStringLiteral("--log"), QStringLiteral("9")}).status, 2);

    // logs.xml taken by a folder: nothing can be written there.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(QDir(blocked).filePath(QStringLiteral("logs.xml"))));
    EXPECT_EQ(Cli({kLogs, QStringLiteral("workbook"), blocked}).status, 4);
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliWorkbookPlotTest, PlotDrawsASavedLogIntoAPngOfTheAskedSizeWithoutADevice)
{
    StartSim();
    const QString folder = dir.filePath(QStringLiteral("logs"));
    ASSERT_EQ(Cli({kLogs, QStringLiteral("save"), folder, QStringLiteral("--log"), QStringLiteral("1")}).status, 0);
    const QString log = QDir(folder).filePath(QStringLiteral("log-1.csv"));
    sim.reset();

    const struct {
        QStringList size;
        QSize expected;
    } cases[] = {{{}, QSize(1200, 700)}, {{QStringLiteral("--size"), QStringLiteral("640x360")}, QSize(640, 360)}};
    for (const auto& c : cases) {
        const QString png = dir.filePath(QStringLiteral("chart.png"));
        QFile::remove(png);
        const CliRun run = Cli(QStringList{kLogs, QStringLiteral("plot"), log, QStringLiteral("-o"), png} + c.size);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QImage image(png);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), c.expected);
        const QImage colours = image.convertToFormat(QImage::Format_RGB32);
        bool varied = false;
        for (int y = 0; y < colours.height() && !varied; ++y) {
            for (int x = 0; x < colours.width() && !varied; ++x)
                varied = colours.pixel(x, y) != colours.pixel(0, 0);
        }
        EXPECT_TRUE(varied) << "the image is one colour";
    }

    const QString out = dir.filePath(QStringLiteral("x.png"));
    EXPECT_EQ(Cli({kLogs, QStringLiteral("plot"), log}).status, 2);
    EXPECT_EQ(Cli({kLogs, QStringLiteral("plot"), log, QStringLiteral("-o"), out, QStringLiteral("--size"),
                   QStringLiteral("wide")}).status, 2);
    EXPECT_EQ(Cli({kLogs, QStringLiteral("plot"), dir.filePath(QStringLiteral("none.csv")), QStringLiteral("-o"), out})
                  .status, 4);

    // Cut inside page 4 (21 groups a page): decode writes the 68 whole
    // samples, plot draws them, both name the page and exit 4.
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    const QString cut = dir.filePath(QStringLiteral("cut.csv"));
    QFile cutFile(cut);
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(lines.mid(0, 1 + 3 * 21 + 5).join('\n'));
    cutFile.close();
    const QString incomplete = QStringLiteral("page 4 of the log is incomplete: the file ends after line 69");
    const CliRun decoded = Cli({kLogs, QStringLiteral("decode"), cut});
    EXPECT_EQ(decoded.status, 4);
    EXPECT_EQ(decoded.out.count(QLatin1Char('\n')), 1 + 68);
    EXPECT_TRUE(decoded.err.contains(incomplete)) << decoded.err.toStdString();
    const CliRun plotted = Cli({kLogs, QStringLiteral("plot"), cut, QStringLiteral("-o"), out});
    EXPECT_EQ(plotted.status, 4);
    EXPECT_TRUE(plotted.err.contains(incomplete + QStringLiteral("; only the 68 whole samples"))) << plotted.err.toStdString();
    EXPECT_FALSE(QImage(out).isNull());
}

} // namespace
