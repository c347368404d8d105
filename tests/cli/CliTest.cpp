#include <QJsonArray>
#include <QJsonObject>

#include <sys/stat.h>

#include "CliFixture.h"
#include "common/ScopedEnv.h"
#include "cli/CliExit.h"

namespace {

TEST_F(CliTest, IdentifyReportsTheDeviceAndLeavesItAt19200)
{
    StartSim();
    const QJsonObject id = Json({"identify"}).object();
    EXPECT_EQ(id.value("name").toString(), QStringLiteral("Brisko Pro 80"));
    EXPECT_EQ(id.value("identity").toObject().value("type").toInt(), 3);
    EXPECT_EQ(id.value("firmware").toString(), QStringLiteral("2.4"));
    EXPECT_TRUE(id.value("capabilities").toObject().value("rangeReads").toBool());
    EXPECT_EQ(id.value("loggerBlocks").toInt(), 2048);
    EXPECT_GT(id.value("linkSpeed").toInt(), 57600);
    EXPECT_TRUE(LeftAt19200());

    EXPECT_EQ(Json({"--max-speed", "57600", "identify"}).object().value("linkSpeed").toInt(), 57600);
}

TEST_F(CliTest, ShowListsEveryParameterOfBothProfiles)
{
    struct Case {
        std::string profile;
        QString name, category, value;
        int raw;
        QJsonArray cells;
        int count;
    };
    const Case cases[] = {
        // Governor is a category the library shows collapsed: its rows are listed too.
        {"full", "Head speed (rpm)", "Governor", "2600", 2600, {22, 23}, 30},
        {"plain", "Throttle dead band (us)", "", "20", 20, {8}, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        StartSim(c.profile);
        const QJsonArray rows = Json({"show"}).array();
        EXPECT_EQ(rows.size(), c.count);
        QJsonObject found;
        for (const QJsonValue& row : rows) {
            if (row.toObject().value("name").toString() == c.name)
                found = row.toObject();
        }
        EXPECT_EQ(found.value("category").toString(), c.category);
        EXPECT_EQ(found.value("value").toString(), c.value);
        EXPECT_EQ(found.value("raw").toInt(), c.raw);
        EXPECT_EQ(found.value("cells").toArray(), c.cells);
    }
    EXPECT_TRUE(Holds(Cli({"show"}).out, "Throttle dead band (us): 20\n"));
}

TEST_F(CliTest, WritingCommandsKeepABackupFirstUnlessNoBackup)
{
    StartSim();
    QTemporaryDir data;
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().toUtf8());
    const QDir folder(data.path() + QStringLiteral("/TORV/backups"));

    EXPECT_TRUE(Ended(Cli({"set", "timing", "20"}), 0));
    const QStringList files = folder.entryList({QStringLiteral("*.escp")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const QByteArray cells = TestFiles::Read(folder.filePath(files.front()));
    ASSERT_EQ(cells.size(), 128);
    EXPECT_EQ(cells[7], 15) << "the value before the set";

    EXPECT_TRUE(Ended(Cli({"--no-backup", "set", "timing", "21"}), 0));
    EXPECT_EQ(sim->Cell(7), 21);
    EXPECT_EQ(folder.entryList({QStringLiteral("*.escp")}, QDir::Files).size(), 1);

    // No backup, no write.
    const QString blocked = TestFiles::Write(QDir(data.path()), "blocked", "a file where the folder would go");
    dataHome.Set(blocked.toUtf8());
    EXPECT_TRUE(Ended(Cli({"set", "timing", "22"}), CliExit::FileError, "--no-backup"));
    EXPECT_EQ(sim->Cell(7), 21);
}

TEST_F(CliTest, SetTakesEditorValuesAndRefusesValuesOutsideTheLimits)
{
    StartSim();
    struct Case {
        QString name, value;
        int status;
        QString shown;
        std::vector<std::pair<int, uint8_t>> cells;
    };
    const Case cases[] = {
        {"running", "forward/REVERSE with brake", 0, "Running mode: Forward/reverse with brake", {{0, 2}}},
        {"Reverse lockout", "off", 0, "Reverse lockout: off", {{21, 0}}},
        // Two cells, high first: 95.5 A is 955 counts = 3 * 256 + 187.
        {"current limit", "95.5", 0, "Current limit (A): 95.5", {{16, 3}, {17, 187}}},
        {"timing", "45", 2, "", {{7, 15}}},
        {"brake delay", "300", 2, "", {{20, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        sim->ClearFrames();
        const CliRun run = Cli({"set", c.name, c.value});
        EXPECT_TRUE(Ended(run, c.status, c.status != 0 ? "nothing written" : ""));
        EXPECT_EQ(run.out.trimmed(), c.shown);
        for (const auto& [cell, value] : c.cells)
            EXPECT_EQ(sim->Cell(cell), value);
        EXPECT_EQ(WritesSeen() > 0, c.status == 0);
    }
}

// Diff and restore list every cell the file changes: parameters, curve
// points, and cells no parameter shows. A file of another revision is
// restored only with --force, and never over the identity cells.
TEST_F(CliTest, BackupHoldsTheDeviceCellsDiffListsEveryChangeAndRestoreWritesThem)
{
    StartSim();
    const QString path = dir.filePath(QStringLiteral("esc.escp"));
    ASSERT_TRUE(Ended(Cli({"backup", path}), 0));
    const auto cells = sim->Cells();
    QByteArray file = TestFiles::Read(path);
    EXPECT_EQ(file, QByteArray(reinterpret_cast<const char*>(cells.data()), 128));
    EXPECT_EQ(Cli({"diff", path}).status, 0);
    input = path;
    EXPECT_EQ(Cli({"diff", "-"}).status, 0);
    input.clear();

    sim->SetCell(7, 20);
    const uint8_t point = cells[33];   // point 2 of the throttle curve
    const uint8_t spare = cells[31];   // a cell no parameter shows
    file[33] = static_cast<char>(point + 7);
    file[31] = static_cast<char>(spare + 1);
    WriteFile("esc.escp", file);
    const QString lines = QStringLiteral("Timing (deg): 20 -> 15\nThrottle curve point 2 (cell 33): %1 -> %2\n"
                                         "cell 31: %3 -> %4\n")
                              .arg(point).arg(static_cast<uint8_t>(point + 7))
                              .arg(spare).arg(static_cast<uint8_t>(spare + 1));
    const CliRun diff = Cli({"diff", path});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out, lines);

    const QString restored = QStringLiteral("Restored; every setting reads back as in the file\n");
    const CliRun restore = Cli({"restore", path});
    EXPECT_TRUE(Ended(restore, 0));
    EXPECT_EQ(restore.out, lines + restored);
    EXPECT_EQ(sim->Cell(7), 15);
    EXPECT_EQ(sim->Cell(33), static_cast<uint8_t>(point + 7));
    EXPECT_EQ(sim->Cell(31), static_cast<uint8_t>(spare + 1));
    EXPECT_EQ(Cli({"diff", path}).status, 0) << "live cells read by formulas are no change";

    file[65] = 3;   // saved from firmware 3.x
    file[7] = 25;
    WriteFile("esc.escp", file);
    sim->ClearFrames();
    EXPECT_TRUE(Ended(Cli({"restore", path}), 2, "does not match"));
    EXPECT_EQ(WritesSeen(), 0);
    const CliRun forced = Cli({"--force", "restore", path});
    EXPECT_TRUE(Ended(forced, 0));
    EXPECT_EQ(forced.out, QStringLiteral("Timing (deg): 15 -> 25\n") + restored);
    EXPECT_EQ(sim->Cell(7), 25);
    EXPECT_EQ(sim->Cell(65), 2);   // identity cells are never written
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliTest, NoDeviceEndsWithStatus3)
{
    EXPECT_TRUE(Ended(Cli({"identify"}), 3, "no such device"));
    StartSim();
    sim->SetUnplugged(true);
    EXPECT_TRUE(Ended(Cli({"show"}), 3, "no ESC answered"));
}

TEST_F(CliTest, HangupDuringBackupLeavesTheEscAt19200AndNoFile)
{
    // Without range reads the backup reads cell by cell, so it is still
    // running when the signal comes.
    QByteArray text = TestFiles::Read(kLibrary);
    text.replace("caps=\"SRM\"", "caps=\"SM\"");
    const QString library = WriteFile("NoRange.esc", text);

    StartSim();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    QProcess process;
    Launch(process, {"backup", dir.filePath(QStringLiteral("out/esc.escp"))}, library);
    ASSERT_TRUE(WaitFor([this] { return sim->DeviceBaud() > 19200; }, kRunDeadlineMs));
    sim->ClearFrames();
    sim->SetExtraAnswerDelayMs(40);
    ASSERT_TRUE(WaitFor([this] { return sim->Frames().size() >= 4; }, kRunDeadlineMs));
    // A closing terminal hangs up: that ends the command as Ctrl+C does.
    EXPECT_TRUE(SignalProcess(process, SIGHUP)) << "the program had already ended";

    EXPECT_TRUE(Ended(Finish(process), 130));
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("out"))).isEmpty());
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliTest, FileErrorsComeBeforeAnyExchangeAndStandardErrorHoldsOnlyTheProgramsLines)
{
    StartSim();
    const QString missing = dir.filePath(QStringLiteral("missing.escp"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.escp"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    sim->ClearFrames();
    const CliRun absent = Cli({"restore", missing});
    EXPECT_EQ(absent.status, 4);
    EXPECT_EQ(absent.err, QStringLiteral("torv-cli: Unable to open file %1: No such file or directory\n").arg(missing));
    const CliRun pipe = Cli({"diff", fifo});
    EXPECT_EQ(pipe.status, 4);
    EXPECT_EQ(pipe.err, QStringLiteral("torv-cli: Unable to open file %1: it is not a regular file\n").arg(fifo));
    EXPECT_TRUE(sim->Frames().empty()) << "nothing is sent for a file that cannot be read";

    // A port that takes no line settings, and the offscreen drawing without
    // XDG_RUNTIME_DIR: one line of the program's own each, no toolkit noise.
    const CliRun null = Cli({"--port", "/dev/null", "identify"});
    EXPECT_EQ(null.status, 3);
    EXPECT_EQ(null.err.count(QLatin1Char('\n')), 1) << null.err;
    QProcess plot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    plot.setProcessEnvironment(env);
    plot.start(QStringLiteral(TORV_CLI_PATH),
               {"--library", kLibrary, "logs", "plot", missing, "-o", dir.filePath(QStringLiteral("plot.png"))});
    const CliRun drawn = Finish(plot);
    EXPECT_EQ(drawn.status, 4);
    EXPECT_EQ(drawn.err.count(QLatin1Char('\n')), 1) << drawn.err;
    EXPECT_TRUE(drawn.err.startsWith(QStringLiteral("torv-cli: "))) << drawn.err;
}

TEST_F(CliTest, AnEscThatDoesNotConfirmTheReturnTo19200IsNoPlainSuccess)
{
    StartSim();
    // Late answers leave time to pull the plug once the link is raised and
    // before the command has left it.
    sim->SetExtraAnswerDelayMs(300);
    QProcess process;
    Launch(process, {"identify"});
    ASSERT_TRUE(WaitFor([this] { return sim->DeviceBaud() == 460800; }, kRunDeadlineMs));
    sim->SetUnplugged(true);
    const CliRun run = Finish(process);
    EXPECT_TRUE(Holds(run.out, "Device:       Brisko Pro 80"));
    EXPECT_TRUE(Ended(run, 1, "the ESC did not confirm its return to 19200 baud"));
}

} // namespace
