#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "CliFixture.h"
#include "common/PageWrites.h"
#include "common/TestFiles.h"
#include "logger/CLogImageWriter.h"
#include "firmware/FirmwareTestSupport.h"
#include "logger/LoggerTestSupport.h"
#include "common/SignalProcess.h"

namespace {

const QString kLogs = QStringLiteral("logs");

class CliLoggerFirmwareTest : public CliTest {
protected:
    QString WriteFile(const QString& name, const QByteArray& bytes) { return TestFiles::Write(dir.path(), name, bytes); }
    static QByteArray Read(const QString& path) { return TestFiles::Read(path); }

    // Starts the program, sends SIGINT once the ESC has taken count frames
    // of the letter, and waits for the end.
    CliRun InterruptAfter(const QStringList& args, char letter, int count)
    {
        QProcess process;
        Launch(process, args);
        EXPECT_TRUE(WaitFor([&] { return FramesWith(letter) >= count; }, kRunDeadlineMs));
        EXPECT_TRUE(SignalProcess(process, SIGINT)) << "the program had already ended";
        return Finish(process);
    }

    bool MemoryErased() const
    {
        const std::vector<uint8_t> memory = sim->LoggerMemory();
        return std::all_of(memory.begin(), memory.end(), [](uint8_t b) { return b == 0xFF; });
    }
};

TEST_F(CliLoggerFirmwareTest, LogsListShowsTheSimulatorsThreeLogs)
{
    StartSim();
    const QJsonArray logs = Json({kLogs, QStringLiteral("list")}).array();
    ASSERT_EQ(logs.size(), 3);
    // 20, 12 and 6 pages, one after the other.
    const int pages[3][2] = {{0, 19}, {20, 31}, {32, 37}};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject log = logs[i].toObject();
        EXPECT_EQ(log.value("number").toInt(), i + 1);
        EXPECT_EQ(log.value("first_page").toInt(), pages[i][0]);
        EXPECT_EQ(log.value("last_page").toInt(), pages[i][1]);
        EXPECT_TRUE(log.value("duration").isDouble());
        EXPECT_GT(log.value("duration").toDouble(), 0.0);
    }
    EXPECT_EQ(logs[2].toObject().value("content").toArray(),
              (QJsonArray{"Throttle", "Voltage", "Temperature"}));
    EXPECT_TRUE(LeftAt19200());

    const CliRun text = Cli({kLogs, QStringLiteral("list")});
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.count(QLatin1Char('\n')), 3);
    EXPECT_TRUE(text.out.contains(QStringLiteral("pages   32-37"))) << text.out.toStdString();
}

TEST_F(CliLoggerFirmwareTest, SavedLogDecodesToOneRowPerSample)
{
    StartSim();
    const QString folder = dir.filePath(QStringLiteral("logs"));
    const CliRun saved = Cli({kLogs, QStringLiteral("save"), folder, QStringLiteral("--log"), QStringLiteral("2")});
    ASSERT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("log-2.csv")});
    const QString log = QDir(folder).filePath(QStringLiteral("log-2.csv"));
    const QByteArray logText = Read(log);
    ASSERT_TRUE(logText.startsWith('#'));
    EXPECT_TRUE(logText.endsWith("\r\n"));

    // Decoding needs no device: one row per group line of the log file.
    sim.reset();
    const CliRun decoded = Cli({kLogs, QStringLiteral("decode"), log});
    ASSERT_EQ(decoded.status, 0) << decoded.err.toStdString();
    const QStringList rows = decoded.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_TRUE(rows.front().startsWith(QStringLiteral("time,Throttle,RPM,Voltage,Current"))) << rows.front().toStdString();
    EXPECT_EQ(rows.size() - 1, logText.count("\r\n") - 1);
    EXPECT_FALSE(decoded.out.contains(QLatin1Char('\r')));

    const QString out = dir.filePath(QStringLiteral("decoded.csv"));
    EXPECT_EQ(Cli({kLogs, QStringLiteral("decode"), log, QStringLiteral("-o"), out}).status, 0);
    EXPECT_EQ(QString::fromUtf8(Read(out)), decoded.out);
    input = log;
    EXPECT_EQ(Cli({kLogs, QStringLiteral("decode"), QStringLiteral("-"), QStringLiteral("-o"), QStringLiteral("-")}).out,
              decoded.out);
    input.clear();

    const CliRun missing = Cli({kLogs, QStringLiteral("decode"), dir.filePath(QStringLiteral("none.csv"))});
    EXPECT_EQ(missing.status, 4);
}

TEST_F(CliLoggerFirmwareTest, SaveKeepsEveryLogAndNeverReplacesAnotherFlight)
{
    using LoggerTest::Page;
    StartSim();
    // Log 1 of two pages, log 2, and log 1 again after it.
    sim->SetLoggerMemory(LoggerTest::Concat(
        {Page(1, 5, 0x7F, 0x11), Page(1, 5, 0x7F, 0x12), Page(2, 5, 0x7F, 0x21), Page(1, 5, 0x7F, 0x31)}));
    const QString folder = dir.filePath(QStringLiteral("logs"));
    const QString logOne = QDir(folder).filePath(QStringLiteral("log-1.csv"));
    const QStringList save{kLogs, QStringLiteral("save"), folder};
    CliRun run = Cli(save);
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).join(QLatin1Char(' ')).toStdString(),
              "log-1-2.csv log-1.csv log-2.csv");
    const QByteArray first = Read(logOne);
    EXPECT_NE(first, Read(QDir(folder).filePath(QStringLiteral("log-1-2.csv"))));

    // A log the memory does not hold is refused.
    run = Cli(save + QStringList{QStringLiteral("--log"), QStringLiteral("99")});
    EXPECT_EQ(run.status, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("no log 99"))) << run.err.toStdString();
    // The same memory again: the files already hold these logs.
    EXPECT_EQ(Cli(save).status, 0);

    // Another flight under the same number is not written over the first
    // one unless asked to.
    sim->SetLoggerMemory(Page(1, 5, 0x7F, 0x41));
    run = Cli(save);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains(logOne)) << run.err.toStdString();
    EXPECT_TRUE(Read(logOne) == first) << "log-1.csv was replaced";
    EXPECT_EQ(Cli(save + QStringList{QStringLiteral("--force")}).status, 0);
    EXPECT_FALSE(Read(logOne) == first) << "log-1.csv was kept";

    // An empty logger: said so, no folder made.
    sim->SetLoggerMemory(LoggerTest::Erased());
    const QString empty = dir.filePath(QStringLiteral("empty"));
    run = Cli({kLogs, QStringLiteral("save"), empty});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("holds no log"))) << run.err.toStdString();
    EXPECT_FALSE(QDir(empty).exists());
}

TEST_F(CliLoggerFirmwareTest, SaveSaysWhenTheEscIsSilentAndKeepsTheCompleteLogs)
{
    using Fault = CEscSimulator::Fault;
    StartSim();
    // Switched off for 3 s at the request for page 5: it comes back at
    // 19200 baud, and the download goes on.
    sim->AddFault({Fault::Action::Unplug, CEscSimulator::AnswerKind::LoggerPage, 6, 3000});
    const QString folder = dir.filePath(QStringLiteral("logs"));
    CliRun run = Cli({kLogs, QStringLiteral("save"), folder});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("the ESC is not answering at page 5 of 38"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("the ESC answers again"))) << run.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
    EXPECT_TRUE(LeftAt19200());

    // Gone for good in the second log: the first one is saved.
    sim->AddFault({Fault::Action::Unplug, CEscSimulator::AnswerKind::LoggerPage, 26, 0});
    const QString cut = dir.filePath(QStringLiteral("cut"));
    run = Cli({kLogs, QStringLiteral("save"), cut});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("stopped answering at page 25 of 38; saved the one complete log")))
        << run.err.toStdString();
    EXPECT_EQ(QDir(cut).entryList(QDir::Files).join(QLatin1Char(' ')).toStdString(), "log-1.csv");
    sim->SetUnplugged(false);
}

TEST_F(CliLoggerFirmwareTest, EraseNeedsYesWithoutATerminal)
{
    struct Case {
        QStringList args;
        int status;
        bool erased;
        int eraseFrames;   // 'e' for the one-shot erase, 'E' for the blocks
        char letter;
    };
    const Case cases[] = {
        {{}, 2, false, 0, 'e'},
        {{QStringLiteral("--yes")}, 0, true, 1, 'e'},
        {{QStringLiteral("--blocks"), QStringLiteral("--yes")}, 0, true, 8, 'E'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        StartSim();
        sim->ClearFrames();
        const CliRun run = Cli(QStringList{kLogs, QStringLiteral("erase")} + c.args);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_EQ(MemoryErased(), c.erased);
        EXPECT_EQ(FramesWith(c.letter), c.eraseFrames);
        EXPECT_TRUE(LeftAt19200());
    }
}

TEST_F(CliLoggerFirmwareTest, CtrlCOrSigtermStopsTheBlockEraseBetweenTwoBlocks)
{
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        StartSim();
        sim->ClearFrames();
        QProcess process;
        Launch(process, {kLogs, QStringLiteral("erase"), QStringLiteral("--blocks"), QStringLiteral("--yes")});
        EXPECT_TRUE(WaitFor([&] { return FramesWith('E') >= 2; }, kRunDeadlineMs));
        EXPECT_TRUE(SignalProcess(process, signal)) << "the program had already ended";
        const CliRun run = Finish(process);
        EXPECT_EQ(run.status, 130) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("partly erased"))) << run.err.toStdString();
        EXPECT_LT(FramesWith('E'), 8);
        EXPECT_FALSE(MemoryErased());
        EXPECT_TRUE(LeftAt19200());
    }
}

// Ctrl+C at the question on a terminal ends the program at once, with
// nothing erased and the ESC back at 19200.
TEST_F(CliLoggerFirmwareTest, CtrlCAtTheEraseQuestionEndsWithNothingErased)
{
    StartSim();
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray terminal = ::ptsname(master);
    QProcess process;
    process.setChildProcessModifier([terminal] {
        const int fd = ::open(terminal.constData(), O_RDWR);
        if (fd >= 0)
            ::dup2(fd, STDIN_FILENO);
    });
    Launch(process, {kLogs, QStringLiteral("erase")});
    QByteArray err;
    EXPECT_TRUE(WaitFor([&] {
        process.waitForReadyRead(10);
        err += process.readAllStandardError();
        return err.contains("[y/N]");
    }, kRunDeadlineMs)) << err.toStdString();
    EXPECT_TRUE(SignalProcess(process, SIGINT)) << "the program had already ended";
    const CliRun run = Finish(process);
    ::close(master);
    EXPECT_EQ(run.status, 130) << (err + run.err.toUtf8()).toStdString();
    EXPECT_FALSE(MemoryErased());
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliLoggerFirmwareTest, WriteImageAsksRefusesWhatDoesNotFitAndReadsEveryPageBack)
{
    StartSim();
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(1000);
    const QString path = WriteFile(QStringLiteral("image.bin"),
                                   QByteArray(reinterpret_cast<const char*>(image.data()), 1000));
    const CliRun unasked = Cli({kLogs, QStringLiteral("write-image"), path});
    EXPECT_EQ(unasked.status, 2);
    EXPECT_TRUE(unasked.err.contains(QStringLiteral("--yes"))) << unasked.err.toStdString();
    // One page more than the 2048 of the logger memory.
    const QString big = WriteFile(QStringLiteral("big.bin"), QByteArray(2048 * 264 + 1, '\0'));
    const CliRun tooLarge = Cli({kLogs, QStringLiteral("write-image"), big, QStringLiteral("--yes")});
    EXPECT_EQ(tooLarge.status, 2);
    EXPECT_TRUE(tooLarge.err.contains(QStringLiteral("holds 2049 pages, more than the logger memory")))
        << tooLarge.err.toStdString();
    EXPECT_EQ(FramesWith('u'), 0);

    const CliRun run = Cli({kLogs, QStringLiteral("write-image"), path, QStringLiteral("--yes")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("every page reads back as written"))) << run.out.toStdString();
    EXPECT_GE(FramesWith('l'), 4);
    const std::vector<uint8_t> memory = sim->LoggerMemory();
    ASSERT_GE(memory.size(), 4u * 264);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
    EXPECT_TRUE(std::all_of(memory.begin() + 1000, memory.begin() + 4 * 264, [](uint8_t b) { return b == 0xFF; }));
}

// The cable echoes every write frame, also while the ESC is unplugged: the
// pages read back tell which ones the memory does not hold.
TEST_F(CliLoggerFirmwareTest, WriteImageToAnEscUnpluggedHalfWayNamesThePagesItDoesNotHold)
{
    StartSim();
    constexpr int kPages = 600;
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(kPages * 264);
    const QString path = WriteFile(QStringLiteral("flight.bin"),
                                   QByteArray(reinterpret_cast<const char*>(image.data()), kPages * 264));
    QProcess process;
    Launch(process, {kLogs, QStringLiteral("write-image"), path, QStringLiteral("--yes")});
    // Switched off for a second at the 20th frame after the write has begun:
    // the ESC then listens at its start speed again.
    ASSERT_TRUE(WaitFor([&] { return FramesWith('u') >= 1; }, kRunDeadlineMs));
    CEscSimulator::Fault unplug;
    unplug.action = CEscSimulator::Fault::Action::Unplug;
    unplug.nth = 20;
    unplug.ms = 1000;
    sim->AddFault(unplug);
    const CliRun run = Finish(process);
    const std::vector<std::size_t> lost = PagesNotTaken(sim->Frames());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("%1 of %2 pages read back otherwise than written (pages %3); the "
                                                "logger memory now holds part of the image")
                                     .arg(lost.size())
                                     .arg(kPages)
                                     .arg(CLogImageWriter::PageRanges(lost))))
        << run.err.toStdString();
}

TEST_F(CliLoggerFirmwareTest, FirmwareListShowsOnlyFilesForTheDevice)
{
    StartSim();   // device 3, hardware 2
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(288);
    const QString folder = dir.filePath(QStringLiteral("fw"));
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(QStringLiteral("fw/a.upd"), FirmwareTestSupport::UpdText(3, 2, "2.5", "Faster$start", image));
    WriteFile(QStringLiteral("fw/b.upd"), FirmwareTestSupport::UpdText(3, 2, "2.6", "Quieter", image));
    WriteFile(QStringLiteral("fw/c.upd"), FirmwareTestSupport::UpdText(3, 1, "1.9", "Other hardware", image));
    WriteFile(QStringLiteral("fw/d.upd"), FirmwareTestSupport::UpdText(4, 2, "9.0", "Other device", image));
    const QJsonArray files = Json({QStringLiteral("firmware"), QStringLiteral("list"), folder}).array();
    QStringList versions;
    for (const QJsonValue& file : files)
        versions.append(file.toObject().value("version").toString() + ":" +
                        file.toObject().value("description").toString());
    versions.sort();
    EXPECT_EQ(versions, (QStringList{"2.5:Faster start", "2.6:Quieter"}));
}

TEST_F(CliLoggerFirmwareTest, FlashUploadsAGoodFileAndRefusesBadOnesWithNothingSent)
{
    StartSim();
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(3 * 144);
    QByteArray broken = FirmwareTestSupport::UpdText(3, 2, "2.5", "x", image);
    // The third data line (line 4, "[Hex]" being line 1) loses a digit.
    const int third = broken.indexOf("[Hex]\n") + 6 + 2 * 37;
    broken[third] = broken[third] == '0' ? '1' : '0';
    struct Case {
        QString name;
        QByteArray text;
        QStringList options;
        int status;
        QString error;
    };
    const Case cases[] = {
        {"other.upd", FirmwareTestSupport::UpdText(3, 1, "2.5", "x", image), {"--yes"}, 2, "hardware 1"},
        {"broken.upd", broken, {"--yes"}, 4, "4 line has wrong CRC"},
        {"short.upd", FirmwareTestSupport::UpdText(3, 2, "2.5", "x", FirmwareTestSupport::Image(160)), {"--yes"}, 4,
         "wrong size 160"},
        {"unasked.upd", FirmwareTestSupport::UpdText(3, 2, "2.5", "x", image), {}, 2, "no terminal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        sim->ClearFrames();
        const CliRun run = Cli(QStringList{QStringLiteral("flash"), WriteFile(c.name, c.text)} + c.options);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
        EXPECT_EQ(FramesWith('f') + FramesWith('u'), 0);
        EXPECT_TRUE(sim->UploadedFirmware().empty());
    }

    const QString good = WriteFile(QStringLiteral("good.upd"), FirmwareTestSupport::UpdText(3, 2, "2.5", "x", image));
    const CliRun run = Cli({QStringLiteral("flash"), good, QStringLiteral("--yes")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(sim->UploadedFirmware(), image);
    EXPECT_TRUE(run.out.contains(QStringLiteral("now reports firmware 2.4"))) << run.out.toStdString();
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliLoggerFirmwareTest, FlashRecoversAnEscThatAnswersOnlyItsBootLoader)
{
    CEscSimulator::Options options;
    options.bootloaderOnly = true;
    StartSim(options);   // its boot loader answers device 3, hardware 2
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(2 * 144);
    const auto flash = [&](int hardware) {
        const QString file = WriteFile(QStringLiteral("fw%1.upd").arg(hardware),
                                       FirmwareTestSupport::UpdText(3, hardware, "2.5", "x", image));
        return Cli({QStringLiteral("flash"), file, QStringLiteral("--yes"), QStringLiteral("--bootloader"),
                    QStringLiteral("--devid"), QStringLiteral("3"), QStringLiteral("--hwver"), QStringLiteral("1")});
    };
    // The file fits --devid and --hwver, but not what the boot loader says.
    const CliRun mismatch = flash(1);
    EXPECT_EQ(mismatch.status, 2) << mismatch.err.toStdString();
    EXPECT_TRUE(mismatch.err.contains(QStringLiteral("boot loader"))) << mismatch.err.toStdString();
    // The file fits the boot loader, but not --hwver.
    EXPECT_EQ(flash(2).status, 2);
    EXPECT_EQ(FramesWith('u') + FramesWith('f'), 0);

    const QString file = WriteFile(QStringLiteral("fw.upd"), FirmwareTestSupport::UpdText(3, 2, "2.5", "x", image));
    const CliRun run = Cli({QStringLiteral("flash"), file, QStringLiteral("--yes"), QStringLiteral("--bootloader"),
                            QStringLiteral("--devid"), QStringLiteral("3"), QStringLiteral("--hwver"), QStringLiteral("2")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(sim->UploadedFirmware(), image);
    EXPECT_TRUE(run.out.contains(QStringLiteral("now reports firmware 2.4"))) << run.out.toStdString();
}

TEST_F(CliLoggerFirmwareTest, InterruptLeavesNoFileAndTheEscInAKnownState)
{
    StartSim();
    sim->SetExtraAnswerDelayMs(30);
    const QString folder = dir.filePath(QStringLiteral("saved"));
    const CliRun save = InterruptAfter({kLogs, QStringLiteral("save"), folder}, 'l', 3);
    EXPECT_EQ(save.status, 130) << save.err.toStdString();
    EXPECT_TRUE(QDir(folder).isEmpty());
    EXPECT_TRUE(LeftAt19200());

    // Flash: the page on the wire is the last; the ESC waits in its boot
    // loader, and the same command then completes the update.
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(40 * 144);
    const QString file = WriteFile(QStringLiteral("fw.upd"), FirmwareTestSupport::UpdText(3, 2, "2.5", "x", image));
    const QStringList flash{QStringLiteral("flash"), file, QStringLiteral("--yes")};
    sim->ClearFrames();
    const CliRun cut = InterruptAfter(flash, 'f', 3);
    EXPECT_EQ(cut.status, 130);
    EXPECT_TRUE(cut.err.contains(QStringLiteral("boot loader"))) << cut.err.toStdString();
    EXPECT_LT(FramesWith('f'), 40);
    EXPECT_TRUE(sim->InBootloader());

    sim->SetExtraAnswerDelayMs(0);
    const CliRun again = Cli(flash);
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(sim->UploadedFirmware(), image);
}

} // namespace
