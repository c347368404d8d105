#include <QJsonArray>
#include <QJsonObject>

#include "CliFixture.h"
#include "common/PageWrites.h"
#include "logger/CLogImageWriter.h"
#include "firmware/FirmwareTestSupport.h"
#include "logger/LoggerTestSupport.h"

namespace {

class CliLoggerFirmwareTest : public CliTest {
protected:
    // An update file of device 3, version 2.5.
    QString Upd(const QString& name, int hardware, const std::vector<uint8_t>& image)
    {
        return WriteFile(name, FirmwareTestSupport::UpdText(3, hardware, "2.5", "x", image));
    }
};

TEST_F(CliLoggerFirmwareTest, LogsListShowsTheSimulatorsThreeLogs)
{
    StartSim();
    const QJsonArray logs = Json({"logs", "list"}).array();
    ASSERT_EQ(logs.size(), 3);
    // 20, 12 and 6 pages, one after the other: the last one's fields.
    const QJsonObject last = logs[2].toObject();
    EXPECT_EQ(last.value("number").toInt(), 3);
    EXPECT_EQ(last.value("first_page").toInt(), 32);
    EXPECT_EQ(last.value("last_page").toInt(), 37);
    EXPECT_GT(last.value("duration").toDouble(), 0.0);
    EXPECT_EQ(last.value("content").toArray(), (QJsonArray{"Throttle", "Voltage", "Temperature"}));
    EXPECT_TRUE(LeftAt19200());

    const CliRun text = Cli({"logs", "list"});
    EXPECT_TRUE(Ended(text, 0));
    EXPECT_EQ(text.out.count(QLatin1Char('\n')), 3);
    EXPECT_TRUE(Holds(text.out, "pages   32-37"));
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
    const QStringList save{"logs", "save", folder};
    ASSERT_TRUE(Ended(Cli(save), 0));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"log-1-2.csv", "log-1.csv", "log-2.csv"}));
    const QByteArray first = TestFiles::Read(logOne);
    EXPECT_NE(first, TestFiles::Read(QDir(folder).filePath(QStringLiteral("log-1-2.csv"))));

    // A log the memory does not hold is refused.
    EXPECT_TRUE(Ended(Cli(save + QStringList{"--log", "99"}), 2, "no log 99"));
    // The same memory again: the files already hold these logs.
    EXPECT_EQ(Cli(save).status, 0);

    // Another flight under the same number is not written over the first
    // one unless asked to.
    sim->SetLoggerMemory(Page(1, 5, 0x7F, 0x41));
    EXPECT_TRUE(Ended(Cli(save), 2, logOne));
    EXPECT_TRUE(TestFiles::Read(logOne) == first) << "log-1.csv was replaced";
    EXPECT_EQ(Cli(save + QStringList{"--force"}).status, 0);
    EXPECT_FALSE(TestFiles::Read(logOne) == first) << "log-1.csv was kept";

    // An empty logger: said so, no folder made.
    sim->SetLoggerMemory(LoggerTest::Erased());
    const QString empty = dir.filePath(QStringLiteral("empty"));
    EXPECT_TRUE(Ended(Cli({"logs", "save", empty}), 1, "holds no log"));
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
    const CliRun run = Cli({"logs", "save", folder});
    EXPECT_TRUE(Ended(run, 0, "the ESC is not answering at page 5 of 38"));
    EXPECT_TRUE(Holds(run.err, "the ESC answers again"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
    EXPECT_TRUE(LeftAt19200());

    // Gone for good in the second log: the first one is saved.
    sim->AddFault({Fault::Action::Unplug, CEscSimulator::AnswerKind::LoggerPage, 26, 0});
    const QString cut = dir.filePath(QStringLiteral("cut"));
    EXPECT_TRUE(Ended(Cli({"logs", "save", cut}), 1, "stopped answering at page 25 of 38; saved the one complete log"));
    EXPECT_EQ(QDir(cut).entryList(QDir::Files), QStringList{QStringLiteral("log-1.csv")});
    sim->SetUnplugged(false);
}

// Without a terminal the erase needs --yes. Ctrl+C or SIGTERM, sent once
// the second block is asked for, stops the block erase between two blocks.
TEST_F(CliLoggerFirmwareTest, EraseNeedsYesWithoutATerminalAndStopsBetweenTwoBlocksOnASignal)
{
    struct Case {
        QStringList args;
        int signal;    // 0: none
        int status;
        bool erased;
        char letter;   // 'e' for the one-shot erase, 'E' for the blocks
        int frames;    // of that letter; -1: fewer than the 8 blocks
    };
    const Case cases[] = {
        {{}, 0, 2, false, 'e', 0},
        {{"--yes"}, 0, 0, true, 'e', 1},
        {{"--blocks", "--yes"}, 0, 0, true, 'E', 8},
        {{"--blocks", "--yes"}, SIGINT, 130, false, 'E', -1},
        {{"--blocks", "--yes"}, SIGTERM, 130, false, 'E', -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString() + ", signal " + std::to_string(c.signal));
        StartSim();
        sim->ClearFrames();
        const QStringList args = QStringList{"logs", "erase"} + c.args;
        const auto secondBlock = [this] { return FramesWith('E') >= 2; };
        const CliRun run = c.signal == 0 ? Cli(args) : SignalledWhen(args, secondBlock, c.signal);
        EXPECT_TRUE(Ended(run, c.status, c.signal != 0 ? "partly erased" : ""));
        EXPECT_EQ(MemoryErased(), c.erased);
        if (c.frames >= 0) {
            EXPECT_EQ(FramesWith(c.letter), c.frames);
        } else {
            EXPECT_LT(FramesWith(c.letter), 8);
        }
        EXPECT_TRUE(LeftAt19200());
    }
}

TEST_F(CliLoggerFirmwareTest, WriteImageAsksRefusesWhatDoesNotFitAndReadsEveryPageBack)
{
    StartSim();
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(1000);
    const QString path = WriteFile("image.bin", QByteArray(reinterpret_cast<const char*>(image.data()), 1000));
    EXPECT_TRUE(Ended(Cli({"logs", "write-image", path}), 2, "--yes"));
    // One page more than the 2048 of the logger memory.
    const QString big = WriteFile("big.bin", QByteArray(2048 * 264 + 1, '\0'));
    EXPECT_TRUE(Ended(Cli({"logs", "write-image", big, "--yes"}), 2, "holds 2049 pages, more than the logger memory"));
    EXPECT_EQ(FramesWith('u'), 0);

    const CliRun run = Cli({"logs", "write-image", path, "--yes"});
    EXPECT_TRUE(Ended(run, 0));
    EXPECT_TRUE(Holds(run.out, "every page reads back as written"));
    EXPECT_GE(FramesWith('l'), 4);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), sim->LoggerMemory().begin()));
}

// The cable echoes every write frame, also while the ESC is unplugged: the
// pages read back tell which ones the memory does not hold.
TEST_F(CliLoggerFirmwareTest, WriteImageToAnEscUnpluggedHalfWayNamesThePagesItDoesNotHold)
{
    StartSim();
    constexpr int kPages = 600;
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(kPages * 264);
    const QString path = WriteFile("flight.bin", QByteArray(reinterpret_cast<const char*>(image.data()), kPages * 264));
    QProcess process;
    Launch(process, {"logs", "write-image", path, "--yes"});
    // Switched off for a second at the 20th frame after the write has begun:
    // the ESC then listens at its start speed again.
    ASSERT_TRUE(WaitFor([&] { return FramesWith('u') >= 1; }, kRunDeadlineMs));
    sim->AddFault({CEscSimulator::Fault::Action::Unplug, CEscSimulator::AnswerKind::Any, 20, 1000});
    const CliRun run = Finish(process);
    const std::vector<std::size_t> lost = PagesNotTaken(sim->Frames());
    EXPECT_TRUE(Ended(run, 1, QStringLiteral("%1 of %2 pages read back otherwise than written (pages %3); the "
                                              "logger memory now holds part of the image")
                                   .arg(lost.size())
                                   .arg(kPages)
                                   .arg(CLogImageWriter::PageRanges(lost))));
}

TEST_F(CliLoggerFirmwareTest, FirmwareListShowsOnlyFilesForTheDevice)
{
    StartSim();   // device 3, hardware 2
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(288);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("fw")));
    WriteFile("fw/a.upd", FirmwareTestSupport::UpdText(3, 2, "2.5", "Faster$start", image));
    WriteFile("fw/b.upd", FirmwareTestSupport::UpdText(3, 2, "2.6", "Quieter", image));
    WriteFile("fw/c.upd", FirmwareTestSupport::UpdText(3, 1, "1.9", "Other hardware", image));
    WriteFile("fw/d.upd", FirmwareTestSupport::UpdText(4, 2, "9.0", "Other device", image));
    QStringList versions;
    for (const QJsonValue& file : Json({"firmware", "list", dir.filePath(QStringLiteral("fw"))}).array())
        versions.append(file["version"].toString() + ":" + file["description"].toString());
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
        QString file;
        QStringList options;
        int status;
        QString error;
    };
    const Case cases[] = {
        {Upd("other.upd", 1, image), {"--yes"}, 2, "hardware 1"},
        {WriteFile("broken.upd", broken), {"--yes"}, 4, "4 line has wrong CRC"},
        {Upd("unasked.upd", 2, image), {}, 2, "no terminal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        sim->ClearFrames();
        EXPECT_TRUE(Ended(Cli(QStringList{"flash", c.file} + c.options), c.status, c.error));
        EXPECT_EQ(FramesWith('f') + FramesWith('u'), 0);
        EXPECT_TRUE(sim->UploadedFirmware().empty());
    }

    const CliRun run = Cli({"flash", Upd("good.upd", 2, image), "--yes"});
    EXPECT_TRUE(Ended(run, 0));
    EXPECT_EQ(sim->UploadedFirmware(), image);
    EXPECT_TRUE(Holds(run.out, "now reports firmware 2.4"));
    EXPECT_TRUE(LeftAt19200());
}

TEST_F(CliLoggerFirmwareTest, FlashRecoversAnEscThatAnswersOnlyItsBootLoader)
{
    CEscSimulator::Options options;
    options.bootloaderOnly = true;
    StartSim(options);   // its boot loader answers device 3, hardware 2
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(2 * 144);
    const auto flash = [&](int fileHardware, const QString& hwver) {
        const QString file = Upd(QStringLiteral("fw%1.upd").arg(fileHardware), fileHardware, image);
        return Cli({"flash", file, "--yes", "--bootloader", "--devid", "3", "--hwver", hwver});
    };
    // The file fits --devid and --hwver, but not what the boot loader says.
    EXPECT_TRUE(Ended(flash(1, "1"), 2, "boot loader"));
    // The file fits the boot loader, but not --hwver.
    EXPECT_EQ(flash(2, "1").status, 2);
    EXPECT_EQ(FramesWith('u') + FramesWith('f'), 0);

    const CliRun run = flash(2, "2");
    EXPECT_TRUE(Ended(run, 0));
    EXPECT_EQ(sim->UploadedFirmware(), image);
    EXPECT_TRUE(Holds(run.out, "now reports firmware 2.4"));
}

TEST_F(CliLoggerFirmwareTest, InterruptLeavesNoFileAndTheEscInAKnownState)
{
    StartSim();
    sim->SetExtraAnswerDelayMs(30);
    const QString folder = dir.filePath(QStringLiteral("saved"));
    EXPECT_TRUE(Ended(SignalledWhen({"logs", "save", folder}, [this] { return FramesWith('l') >= 3; }), 130));
    EXPECT_TRUE(QDir(folder).isEmpty());
    EXPECT_TRUE(LeftAt19200());

    // Flash: the page on the wire is the last; the ESC waits in its boot
    // loader, and the same command then completes the update.
    const std::vector<uint8_t> image = FirmwareTestSupport::Image(40 * 144);
    const QStringList flash{"flash", Upd("fw.upd", 2, image), "--yes"};
    sim->ClearFrames();
    EXPECT_TRUE(Ended(SignalledWhen(flash, [this] { return FramesWith('f') >= 3; }), 130, "boot loader"));
    EXPECT_LT(FramesWith('f'), 40);
    EXPECT_TRUE(sim->InBootloader());

    sim->SetExtraAnswerDelayMs(0);
    EXPECT_TRUE(Ended(Cli(flash), 0));
    EXPECT_EQ(sim->UploadedFirmware(), image);
}

} // namespace
