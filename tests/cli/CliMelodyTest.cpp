#include "cli/CliStopFixture.h"

#include <QJsonArray>
#include <QJsonObject>

#include "common/TestFiles.h"
#include "melody/CMelodyFile.h"

namespace {

class CliMelodyTest : public CliStopTest {
protected:
    QString Melody(const QString& name, const QByteArray& text) { return TestFiles::Write(dir.path(), name, text); }
};

TEST_F(CliMelodyTest, CheckPrintsTheEncodedMelodyOrTheFilesErrorWithStatus4)
{
    const CliRun good = Cli({"melody", "check", Melody("intro.tsm", "W \"Intro\" 120 C 1E4 'G8 P2")});
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_EQ(good.out, QStringLiteral("Kind:        W\nDescription: Intro\nMelody:      780151E820FF\n"));

    input = Melody("piped.tsm", "W \"Intro\" 120 C 1E4 'G8 P2");
    EXPECT_EQ(Cli({"melody", "check", "-"}).out, good.out);
    input.clear();

    const QJsonObject json = Json({"melody", "check", Melody("a.tsm", "A 300")}).object();
    EXPECT_EQ(json.value("kind").toString(), QStringLiteral("A"));
    EXPECT_EQ(json.value("melody").toString(), QStringLiteral("2CFF"));

    const QString bad = Melody("bad.tsm", "w 1 C");
    const CliRun refused = Cli({"melody", "check", bad});
    EXPECT_EQ(refused.status, 4);
    EXPECT_EQ(refused.err, QStringLiteral("torv-cli: %1: !error - type\n").arg(bad));
    EXPECT_TRUE(refused.out.isEmpty());

    const QString ending = Melody("x.tsm", "W \"x\" 65535 C D E");
    const CliRun lead = Cli({"melody", "check", ending});
    EXPECT_EQ(lead.status, 4);
    EXPECT_EQ(lead.err, QStringLiteral("torv-cli: %1: %2\n").arg(ending, CMelodyFile::kErrorLead.arg("65535")));
}

TEST_F(CliMelodyTest, ALeadByteOf255IsRefusedWithNothingWritten)
{
    StartSim();
    const CliRun run = Cli({"melody", "write", Melody("x.tsm", "W \"x\" 65535 C D E")});
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(run.err.contains("lead number 65535")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(WritesSeen(), 0);
}

TEST_F(CliMelodyTest, SigtermStopsTheWritingBetweenTwoCells)
{
    StartSim();
    // 29 notes: 31 cells to write.
    const CliRun run = TerminatedAfterFirstWrite({"melody", "write", Melody("long.tsm", "W 1 " + QByteArray("C ").repeated(29))});
    EXPECT_EQ(run.status, 130) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("interrupted after")) << run.err.toStdString();
    EXPECT_LT(WritesSeen(), 31);
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliMelodyTest, WriteStoresTheMelodyThatShowThenReads)
{
    StartSim();
    const CliRun written = Cli({"melody", "write", Melody("intro.tsm", "W \"Intro\" 120 C 1E4 'G8 P2")});
    EXPECT_EQ(written.status, 0) << written.err.toStdString();
    EXPECT_TRUE(written.out.contains("cells 128 to 133")) << written.out.toStdString();
    EXPECT_TRUE(LeftAt19200());

    const QJsonArray shown = Json({"melody", "show"}).array();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.at(0).toObject().value("melody").toString(), QStringLiteral("01212528ADFF"));
    EXPECT_EQ(shown.at(1).toObject().value("kind").toString(), QStringLiteral("W"));
    EXPECT_EQ(shown.at(1).toObject().value("firstCell").toInt(), 128);
    EXPECT_EQ(shown.at(1).toObject().value("melody").toString(), QStringLiteral("780151E820FF"));
}

TEST_F(CliMelodyTest, WriteFailsWhenACellReadsBackOtherwise)
{
    StartSim();
    sim->SetWriteProtected(161, true);
    const CliRun run = Cli({"melody", "write", Melody("a.tsm", "A 2 C D")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("cell 161 reads back 0x21, 0x01 was written")) << run.err.toStdString();
}

}
