#include <QJsonObject>
#include <QRegularExpression>

#include "CliFixture.h"

namespace {

class CliMonitorTest : public CliTest {
protected:
    // Every telemetry request the ESC received, with the speed it came at.
    std::vector<CEscSimulator::Frame> Requests() const
    {
        std::vector<CEscSimulator::Frame> requests;
        for (const CEscSimulator::Frame& frame : sim->Frames()) {
            if (frame.bytes.size() == 5 && frame.bytes[1] == 'T')
                requests.push_back(frame);
        }
        return requests;
    }

    void ExpectOnlyServoOneAtTheRaisedSpeed() const
    {
        const std::vector<CEscSimulator::Frame> requests = Requests();
        ASSERT_FALSE(requests.empty());
        for (const CEscSimulator::Frame& frame : requests) {
            EXPECT_EQ(frame.bytes, (std::vector<uint8_t>{'M', 'T', '-', 1, 0xCF}));
            EXPECT_EQ(frame.hostBaud, 460800);
        }
    }
};

} // namespace

TEST_F(CliMonitorTest, CsvLinesForTheGivenTimeThenTheLinkReturnsTo19200)
{
    StartSim();
    const CliRun run = Cli({"monitor", "--seconds", "2", "--csv"});
    ASSERT_EQ(run.status, 0) << run.err;
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    // Units in the header, plain numbers below, the time in seconds to the millisecond.
    EXPECT_EQ(lines.front(), QStringLiteral("time_s,servo_us,RPM,voltage_V,current_A,tempA"));
    const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    double previous = -1;
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines.at(i).split(QLatin1Char(','));
        ASSERT_EQ(fields.size(), 6) << lines.at(i);
        ASSERT_EQ(fields.front().section(QLatin1Char('.'), 1).size(), 3) << lines.at(i);
        const double time = fields.front().toDouble();
        EXPECT_GE(time, previous);
        previous = time;
        EXPECT_EQ(fields.at(1), QStringLiteral("1000"));   // servo value 1
        for (const QString& field : fields)
            EXPECT_TRUE(number.match(field).hasMatch()) << lines.at(i);
    }
    EXPECT_TRUE(Holds(run.err, "records/s at 460800 baud"));
    // One line per record received, the answer to the last request included.
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("%1 records in ").arg(lines.size() - 1))) << run.err;
    ExpectOnlyServoOneAtTheRaisedSpeed();
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliMonitorTest, CtrlCEndsTheStreamWithServoOneAndTheLinkAt19200)
{
    StartSim();
    const CliRun run = SignalledWhen({"monitor"}, [this] { return Requests().size() >= 20; });
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("0.00  servo 1000 us  RPM ")));
    ExpectOnlyServoOneAtTheRaisedSpeed();
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliMonitorTest, AnEscThatStoppedAnsweringEndsTheRunWithStatus1HoweverLate)
{
    StartSim();
    QProcess process;
    Launch(process, {"monitor", "--seconds", "6"});
    ASSERT_TRUE(WaitFor([&] { return Requests().size() >= 20; }, kRunDeadlineMs));
    // A power cycle: the ESC is gone, then back at 19200 baud, where the
    // stream at the raised speed does not reach it but the return does.
    sim->SetUnplugged(true);
    QString err;
    ASSERT_TRUE(WaitFor([&] {
        err += QString::fromUtf8(process.readAllStandardError());
        return err.contains(QStringLiteral("the ESC stopped answering"));
    }, kRunDeadlineMs));
    sim->SetUnplugged(false);
    const CliRun run = Finish(process);
    err += run.err;
    EXPECT_EQ(run.status, 1) << err;
    EXPECT_TRUE(Holds(err, "Brisko Pro 80 stopped answering"));
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliMonitorTest, TheLimitFactorStretchesTheTelemetryAndPageTimeouts)
{
    // Answers 300 ms late: beyond the product's 100 ms for a telemetry record
    // and 300 ms for a logger page, within the same limits stretched five
    // times (the fixture's TORV_LIMIT_FACTOR).
    StartSim();
    QProcess monitor;
    Launch(monitor, {"--json", "monitor", "--seconds", "2"});
    ASSERT_TRUE(WaitFor([&] { return !Requests().empty(); }, kRunDeadlineMs));
    sim->SetExtraAnswerDelayMs(300);
    const CliRun streamed = Finish(monitor);
    sim->SetExtraAnswerDelayMs(0);
    EXPECT_EQ(streamed.status, 0) << streamed.err;
    const QJsonObject summary = QJsonDocument::fromJson(streamed.out.toUtf8()).object();
    EXPECT_GE(summary.value("recordsReceived").toInt(), 2);
    EXPECT_EQ(summary.value("answersMissed").toInt(), 0);

    sim->ClearFrames();
    QProcess list;
    Launch(list, {"logs", "list"});
    ASSERT_TRUE(WaitFor([&] { return FramesWith('l') >= 1; }, kRunDeadlineMs));
    sim->SetExtraAnswerDelayMs(400);
    ASSERT_TRUE(WaitFor([&] { return FramesWith('l') >= 3; }, kRunDeadlineMs));
    sim->SetExtraAnswerDelayMs(0);
    const CliRun listed = Finish(list);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(FramesWith('l'), 38) << "no page was asked for twice";
}
