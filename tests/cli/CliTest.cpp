#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

#include <sys/stat.h>

#include "CliFixture.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "cli/CliExit.h"
#include "common/WaitFor.h"
#include "common/SignalProcess.h"

namespace {

const bool kApp = TestApplication<QCoreApplication>::Register();

TEST_F(CliTest, IdentifyReportsTheDeviceAndLeavesItAt19200)
{
    StartSim();
    const QJsonObject id = Json({QStringLiteral("identify")}).object();
    EXPECT_EQ(id.value("name").toString(), QStringLiteral("Brisko Pro 80"));
    EXPECT_EQ(id.value("identity").toObject().value("type").toInt(), 3);
    EXPECT_EQ(id.value("firmware").toString(), QStringLiteral("2.4"));
    EXPECT_TRUE(id.value("capabilities").toObject().value("rangeReads").toBool());
    EXPECT_EQ(id.value("loggerBlocks").toInt(), 2048);
    EXPECT_GT(id.value("linkSpeed").toInt(), 57600);
    EXPECT_TRUE(LeftAt19200());

    const QJsonObject bounded = Json({QStringLiteral("--max-speed"), QStringLiteral("57600"), QStringLiteral("identify")}).object();
    EXPECT_EQ(bounded.value("linkSpeed").toInt(), 57600);
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
        const QJsonArray rows = Json({QStringLiteral("show")}).array();
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
    const CliRun text = Cli({QStringLiteral("show")});
    EXPECT_TRUE(text.out.contains(QStringLiteral("Throttle dead band (us): 20\n"))) << text.out.toStdString();
}

TEST_F(CliTest, WritingCommandsKeepABackupFirstUnlessNoBackup)
{
    StartSim();
    QTemporaryDir data;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    const QDir folder(data.path() + QStringLiteral("/TORV/backups"));

    CliRun run = Cli({QStringLiteral("set"), QStringLiteral("timing"), QStringLiteral("20")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList files = folder.entryList({QStringLiteral("*.escp")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile kept(folder.filePath(files.front()));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray cells = kept.readAll();
    ASSERT_EQ(cells.size(), 128);
    EXPECT_EQ(cells[7], 15) << "the value before the set";

    run = Cli({QStringLiteral("--no-backup"), QStringLiteral("set"), QStringLiteral("timing"), QStringLiteral("21")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(sim->Cell(7), 21);
    EXPECT_EQ(folder.entryList({QStringLiteral("*.escp")}, QDir::Files).size(), 1);

    // No backup, no write.
    TestFiles::Write(QDir(data.path()), QStringLiteral("blocked"), "a file where the folder would go");
    qputenv("XDG_DATA_HOME", data.filePath(QStringLiteral("blocked")).toUtf8());
    run = Cli({QStringLiteral("set"), QStringLiteral("timing"), QStringLiteral("22")});
    EXPECT_EQ(run.status, CliExit::FileError);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--no-backup"))) << run.err.toStdString();
    EXPECT_EQ(sim->Cell(7), 21);
    qputenv("XDG_DATA_HOME", oldData);
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
        const CliRun run = Cli({QStringLiteral("set"), c.name, c.value});
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_EQ(run.out.trimmed(), c.shown);
        for (const auto& [cell, value] : c.cells)
            EXPECT_EQ(sim->Cell(cell), value);
        if (c.status != 0) {
            EXPECT_EQ(WritesSeen(), 0);
            EXPECT_TRUE(run.err.contains(QStringLiteral("nothing written")));
        }
    }
}

TEST_F(CliTest, BackupHoldsTheDeviceCellsAndDiffComparesThem)
{
    StartSim();
    const QString path = Backup();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto cells = sim->Cells();
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(cells.data()), 128));

    EXPECT_EQ(Cli({QStringLiteral("diff"), path}).status, 0);
    input = path;
    EXPECT_EQ(Cli({QStringLiteral("diff"), QStringLiteral("-")}).status, 0);
    input.clear();
    sim->SetCell(7, 20);
    const CliRun changed = Cli({QStringLiteral("diff"), path});
    EXPECT_EQ(changed.status, 1);
    EXPECT_EQ(changed.out, QStringLiteral("Timing (deg): 20 -> 15\n"));
}

TEST_F(CliTest, RestoreOfAnotherRevisionNeedsForceAndIsVerified)
{
    StartSim();
    const QString path = Backup();
    Patch(path, 65, 3);   // saved from firmware 3.x
    Patch(path, 7, 25);   // timing 25 degrees
    sim->ClearFrames();

    const CliRun refused = Cli({QStringLiteral("restore"), path});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("does not match"))) << refused.err.toStdString();
    EXPECT_EQ(WritesSeen(), 0);

    const CliRun forced = Cli({QStringLiteral("--force"), QStringLiteral("restore"), path});
    EXPECT_EQ(forced.status, 0) << forced.err.toStdString();
    EXPECT_TRUE(forced.out.contains(QStringLiteral("Timing (deg): 15 -> 25"))) << forced.out.toStdString();
    EXPECT_EQ(sim->Cell(7), 25);
    EXPECT_EQ(sim->Cell(65), 2);   // identity cells are never written
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliTest, NoDeviceEndsWithStatus3)
{
    const CliRun missing = Cli({QStringLiteral("identify")});
    EXPECT_EQ(missing.status, 3);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("no such device"))) << missing.err.toStdString();

    StartSim();
    sim->SetUnplugged(true);
    const CliRun silent = Cli({QStringLiteral("show")});
    EXPECT_EQ(silent.status, 3);
    EXPECT_TRUE(silent.err.contains(QStringLiteral("no ESC answered"))) << silent.err.toStdString();
}

TEST_F(CliTest, HangupDuringBackupLeavesTheEscAt19200AndNoFile)
{
    // Without range reads the backup reads cell by cell, so it is still
    // running when the signal comes.
    QFile source(kLibrary);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    text.replace("caps=\"SRM\"", "caps=\"SM\"");
    const QString library = dir.filePath(QStringLiteral("NoRange.esc"));
    QFile copy(library);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(text);
    copy.close();

    StartSim();
    const QString target = dir.filePath(QStringLiteral("out/esc.escp"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("out")));
    QProcess process;
    Launch(process, {QStringLiteral("backup"), target}, library);
    ASSERT_TRUE(WaitFor([this] { return sim->DeviceBaud() > 19200; }, kRunDeadlineMs));
    sim->ClearFrames();
    sim->SetExtraAnswerDelayMs(40);
    ASSERT_TRUE(WaitFor([this] { return sim->Frames().size() >= 4; }, kRunDeadlineMs));
    // A closing terminal hangs up: that ends the command as Ctrl+C does.
    EXPECT_TRUE(SignalProcess(process, SIGHUP)) << "the program had already ended";

    const CliRun run = Finish(process);
    EXPECT_EQ(run.status, 130) << run.err.toStdString();
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("out"))).isEmpty());
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliTest, DiffAndRestoreListEveryCellTheFileChangesCurvePointsIncluded)
{
    StartSim();
    const QString path = Backup();
    const uint8_t point = sim->Cell(33);   // point 2 of the throttle curve
    const uint8_t spare = sim->Cell(31);   // a cell no parameter shows
    Patch(path, 33, static_cast<uint8_t>(point + 7));
    Patch(path, 31, static_cast<uint8_t>(spare + 1));
    const QString lines = QStringLiteral("Throttle curve point 2 (cell 33): %1 -> %2\ncell 31: %3 -> %4\n")
                              .arg(point).arg(static_cast<uint8_t>(point + 7))
                              .arg(spare).arg(static_cast<uint8_t>(spare + 1));

    const CliRun diff = Cli({QStringLiteral("diff"), path});
    EXPECT_EQ(diff.status, 1);
    EXPECT_EQ(diff.out.toStdString(), lines.toStdString());

    const CliRun restore = Cli({QStringLiteral("restore"), path});
    EXPECT_EQ(restore.status, 0) << restore.err.toStdString();
    EXPECT_EQ(restore.out.toStdString(),
              (lines + QStringLiteral("Restored; every setting reads back as in the file\n")).toStdString());
    EXPECT_EQ(sim->Cell(33), static_cast<uint8_t>(point + 7));
    EXPECT_EQ(sim->Cell(31), static_cast<uint8_t>(spare + 1));
    EXPECT_EQ(Cli({QStringLiteral("diff"), path}).status, 0) << "live cells read by formulas are no change";
}

TEST_F(CliTest, FileErrorsComeBeforeAnyExchangeAndStandardErrorHoldsOnlyTheProgramsLines)
{
    StartSim();
    const QString missing = dir.filePath(QStringLiteral("missing.escp"));
    const QString fifo = dir.filePath(QStringLiteral("fifo.escp"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    sim->ClearFrames();
    const CliRun absent = Cli({QStringLiteral("restore"), missing});
    EXPECT_EQ(absent.status, 4);
    EXPECT_EQ(absent.err.toStdString(),
              QStringLiteral("torv-cli: Unable to open file %1: No such file or directory\n").arg(missing).toStdString());
    const CliRun pipe = Cli({QStringLiteral("diff"), fifo});
    EXPECT_EQ(pipe.status, 4);
    EXPECT_EQ(pipe.err.toStdString(),
              QStringLiteral("torv-cli: Unable to open file %1: it is not a regular file\n").arg(fifo).toStdString());
    EXPECT_TRUE(sim->Frames().empty()) << "nothing is sent for a file that cannot be read";

    // A port that takes no line settings, and the offscreen drawing without
    // XDG_RUNTIME_DIR: one line of the program's own each, no toolkit noise.
    const CliRun null = Cli({QStringLiteral("--port"), QStringLiteral("/dev/null"), QStringLiteral("identify")});
    EXPECT_EQ(null.status, 3);
    EXPECT_EQ(null.err.count(QLatin1Char('\n')), 1) << null.err.toStdString();
    QProcess plot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    plot.setProcessEnvironment(env);
    plot.start(QStringLiteral(TORV_CLI_PATH), {QStringLiteral("--library"), kLibrary, QStringLiteral("logs"),
                                             QStringLiteral("plot"), missing, QStringLiteral("-o"),
                                             dir.filePath(QStringLiteral("plot.png"))});
    const CliRun drawn = Finish(plot);
    EXPECT_EQ(drawn.status, 4);
    EXPECT_EQ(drawn.err.count(QLatin1Char('\n')), 1) << drawn.err.toStdString();
    EXPECT_TRUE(drawn.err.startsWith(QStringLiteral("torv-cli: "))) << drawn.err.toStdString();
}

TEST_F(CliTest, AnEscThatDoesNotConfirmTheReturnTo19200IsNoPlainSuccess)
{
    StartSim();
    // Late answers leave time to pull the plug once the link is raised and
    // before the command has left it.
    sim->SetExtraAnswerDelayMs(300);
    QProcess process;
    Launch(process, {QStringLiteral("identify")});
    ASSERT_TRUE(WaitFor([this] { return sim->DeviceBaud() == 460800; }, kRunDeadlineMs));
    sim->SetUnplugged(true);
    const CliRun run = Finish(process);
    EXPECT_TRUE(run.out.contains(QStringLiteral("Device:       Brisko Pro 80"))) << run.out.toStdString();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("the ESC did not confirm its return to 19200 baud")))
        << run.err.toStdString();
}

} // namespace
