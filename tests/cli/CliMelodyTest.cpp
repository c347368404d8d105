#include "cli/CliFixture.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

using CliMelodyTest = CliStopTest;

const QByteArray kIntro = "W \"Intro\" 120 C 1E4 'G8 P2";

TEST_F(CliMelodyTest, CheckPrintsTheEncodedMelodyOrTheFilesErrorWithStatus4)
{
    const CliRun good = Cli({"melody", "check", WriteFile("intro.tsm", kIntro)});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out, QStringLiteral("Kind:        W\nDescription: Intro\nMelody:      780151E820FF\n"));

    input = WriteFile("piped.tsm", kIntro);
    EXPECT_EQ(Cli({"melody", "check", "-"}).out, good.out);
    input.clear();

    const QString a = WriteFile("a.tsm", "A 300");
    EXPECT_EQ(Json({"melody", "check", a}).object(),
              (QJsonObject{{"file", a}, {"kind", "A"}, {"description", ""}, {"melody", "2CFF"}}));

    const QString bad = WriteFile("bad.tsm", "w 1 C");
    const CliRun refused = Cli({"melody", "check", bad});
    EXPECT_EQ(refused.status, 4);
    EXPECT_EQ(refused.err, QStringLiteral("torv-cli: %1: !error - type\n").arg(bad));
    EXPECT_TRUE(refused.out.isEmpty());
}

TEST_F(CliMelodyTest, WriteStoresTheMelodyThatShowThenReads)
{
    StartSim();
    const CliRun written = Cli({"melody", "write", WriteFile("intro.tsm", kIntro)});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(Holds(written.out, "cells 128 to 133"));
    EXPECT_TRUE(LeftAt19200());

    EXPECT_EQ(Json({"melody", "show"}).array(),
              (QJsonArray{QJsonObject{{"kind", "A"}, {"firstCell", 160}, {"melody", "01212528ADFF"}},
                          QJsonObject{{"kind", "W"}, {"firstCell", 128}, {"melody", "780151E820FF"}}}));
}

// A file the melody cannot come from ends with status 4 and nothing written;
// a cell that does not take its value, with status 1.
TEST_F(CliMelodyTest, WriteEndsWithTheStatusOfWhatWentWrong)
{
    StartSim();
    const CliRun refused = Cli({"melody", "write", WriteFile("x.tsm", "W \"x\" 65535 C D E")});
    EXPECT_TRUE(Ended(refused, 4, "lead number 65535"));
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(WritesSeen(), 0);

    sim->SetWriteProtected(161, true);
    const QString melody = WriteFile("a.tsm", "A 2 C D");
    EXPECT_TRUE(Ended(Cli({"melody", "write", melody}), 1, "cell 161 reads back 0x21, 0x01 was written"));
}

TEST_F(CliMelodyTest, SigtermStopsTheWritingBetweenTwoCells)
{
    StartSim();
    // 29 notes: 31 cells to write.
    const QString melody = WriteFile("long.tsm", "W 1 " + QByteArray("C ").repeated(29));
    const CliRun run = TerminatedAfterFirstWrite({"melody", "write", melody});
    EXPECT_TRUE(Ended(run, 130, "interrupted after"));
    EXPECT_LT(WritesSeen(), 31);
    EXPECT_TRUE(LeftAt19200());
}

} // namespace
