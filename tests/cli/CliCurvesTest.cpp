#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include "CliFixture.h"
#include "common/TestApplication.h"

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QCoreApplication>::Register();

QJsonArray Ints(const std::vector<int>& values)
{
    QJsonArray array;
    for (int v : values)
        array.append(v);
    return array;
}

TEST_F(CliTest, CurvesShowListsThePointsAndSetWritesAndReadsThemBack)
{
    StartSim();
    const QJsonArray curves = Json({QStringLiteral("curves"), QStringLiteral("show")}).array();
    ASSERT_EQ(curves.size(), 2);
    const QJsonObject brake = curves.at(1).toObject();
    EXPECT_EQ(brake.value("name").toString(), QStringLiteral("Brake curve"));
    EXPECT_EQ(brake.value("start").toInt(), 44);
    EXPECT_EQ(brake.value("points").toArray(), Ints({0, 11, 32, 58, 90, 126, 166, 209, 255}));
    EXPECT_TRUE(brake.value("complete").toBool());

    const CliRun set = Cli({QStringLiteral("curves"), QStringLiteral("set"), QStringLiteral("brake"),
                            QStringLiteral("0,20,40,60,80,100,120,140,255")});
    EXPECT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(set.out, QStringLiteral("Brake curve (cells 44..52): 0,20,40,60,80,100,120,140,255\n"));
    EXPECT_EQ(sim->Cell(45), 20);
    EXPECT_EQ(sim->Cell(51), 140);
    EXPECT_TRUE(LeftAt19200());

    const QJsonObject shown = Json({QStringLiteral("curves"), QStringLiteral("show"), QStringLiteral("Brake")}).object();
    EXPECT_EQ(shown.value("points").toArray(), Ints({0, 20, 40, 60, 80, 100, 120, 140, 255}));
}

TEST_F(CliTest, CurvesSetRefusesBadValuesWithoutWriting)
{
    StartSim();
    struct Case {
        QString name, values, error;
    };
    const Case cases[] = {
        {"brake", "0,20,255", "9 points, 3 values"},
        {"brake", "0,20,40,60,80,100,120,256,255", "outside 0 .. 255"},
        {"brake", "0,20,40,60,80,100,120,x,255", "not a whole number"},
        {"brake", "1,20,40,60,80,100,120,140,255", "fixed end"},
        {"pitch", "0,1,2", "no curve called"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values.toStdString());
        const CliRun run = Cli({QStringLiteral("curves"), QStringLiteral("set"), c.name, c.values});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
    }
    EXPECT_EQ(WritesSeen(), 0);
    const CliRun help = Cli({QStringLiteral("curves"), QStringLiteral("set"), QStringLiteral("--help")});
    EXPECT_TRUE(help.out.contains(QStringLiteral("torv-cli [options] curves set NAME V1,V2,..."))) << help.out.toStdString();
}

} // namespace
