#include <QJsonArray>
#include <QJsonObject>

#include "CliFixture.h"

namespace {

// Set refuses points it cannot write as given, with nothing written, and
// writes good ones that show then reads back.
TEST_F(CliTest, CurvesSetWritesOnlyGoodPointsAndShowListsThem)
{
    StartSim();
    const QJsonArray curves = Json({"curves", "show"}).array();
    ASSERT_EQ(curves.size(), 2);
    const QJsonObject brake = curves.at(1).toObject();
    EXPECT_EQ(brake.value("name").toString(), QStringLiteral("Brake curve"));
    EXPECT_EQ(brake.value("start").toInt(), 44);
    EXPECT_EQ(brake.value("points").toArray(), (QJsonArray{0, 11, 32, 58, 90, 126, 166, 209, 255}));
    EXPECT_TRUE(brake.value("complete").toBool());

    struct Case {
        QString name, values, error;
    };
    const Case cases[] = {
        {"brake", "0,20,255", "9 points, 3 values"},
        {"brake", "0,20,40,60,80,100,120,256,255", "outside 0 .. 255"},
        {"brake", "0,20,40,60,80,100,120,-1,255", "outside 0 .. 255"},
        {"brake", "0,20,40,60,80,100,120,x,255", "not a whole number"},
        {"brake", "1,20,40,60,80,100,120,140,255", "fixed end"},
        {"brake", "0,20,40,60,80,100,120,140,254", "fixed end"},
        {"pitch", "0,1,2", "no curve called"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.values.toStdString());
        EXPECT_TRUE(Ended(Cli({"curves", "set", c.name, c.values}), 2, c.error));
    }
    EXPECT_EQ(WritesSeen(), 0);

    const CliRun set = Cli({"curves", "set", "brake", "0,20,40,60,80,100,120,140,255"});
    EXPECT_TRUE(Ended(set, 0));
    EXPECT_EQ(set.out, QStringLiteral("Brake curve (cells 44..52): 0,20,40,60,80,100,120,140,255\n"));
    EXPECT_EQ(sim->Cell(45), 20);
    EXPECT_EQ(sim->Cell(51), 140);
    EXPECT_TRUE(LeftAt19200());
    const QJsonObject shown = Json({"curves", "show", "Brake"}).object();
    EXPECT_EQ(shown.value("points").toArray(), (QJsonArray{0, 20, 40, 60, 80, 100, 120, 140, 255}));
}

TEST_F(CliTest, CurvesShowFailsWhenAPointCannotBeRead)
{
    StartSim();
    // Each answer late enough that the fault is set before the last point
    // is asked for: its three tries get spoilt answers.
    sim->SetExtraAnswerDelayMs(150);
    QProcess process;
    Launch(process, {"curves", "show", "Brake"});
    const auto askedFor = [this](int cell) {
        for (const CEscSimulator::Frame& frame : sim->Frames()) {
            if (frame.bytes.size() == 5 && frame.bytes[1] == 'r' && frame.bytes[3] == cell)
                return true;
        }
        return false;
    };
    ASSERT_TRUE(WaitFor([&] { return askedFor(51); }, kRunDeadlineMs)) << "the curve was never read";
    sim->CorruptNextAnswers(3);
    const CliRun run = Finish(process);
    EXPECT_TRUE(Ended(run, 1, "could not be read completely"));
    EXPECT_EQ(run.out, QStringLiteral("Brake curve (cells 44..52): 0,11,32,58,90,126,166,209,?\n"));
}

TEST_F(CliTest, AnEscWithoutCurvesGetsNoneOfAnotherEscsCurves)
{
    // The sample library gives curves to the Pro 80 only; the Basic 25 has none.
    StartSim("plain");
    const CliRun shown = Cli({"curves", "show"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, QStringLiteral("No curves\n"));
    EXPECT_TRUE(Ended(Cli({"curves", "set", "brake", "0,20,40,60,80,100,120,140,255"}), 2, "no curve called"));
    EXPECT_EQ(WritesSeen(), 0);
}

TEST_F(CliStopTest, CurvesSetStopsBetweenTwoPointsOnSigterm)
{
    StartSim();
    const CliRun run = TerminatedAfterFirstWrite({"curves", "set", "throttle", "0,1,2,3,4,5,6,7,8,9,255"});
    EXPECT_TRUE(Ended(run, 130, "interrupted after"));
    EXPECT_LT(WritesSeen(), 11);
    EXPECT_NE(sim->Cell(41), 9) << "the last inner point was not written";
    EXPECT_TRUE(LeftAt19200());
}

} // namespace
