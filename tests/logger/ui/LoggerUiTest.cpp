#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "../LoggerTestSupport.h"
#include "common/PageWrites.h"
#include "common/TestFiles.h"
#include "controls/CMChartCtrl.h"
#include "logger/CLogCsvWriter.h"
#include "logger/CLogImageWriter.h"
#include "logger/CLoggerCommands.h"
#include "logger/CLoggerTransfer.h"
#include "logger/ui/CChartDlg.h"
#include "logger/ui/CLogDownLinkDlg.h"
#include "logger/ui/CLogLinkDlg.h"
#include "logger/ui/CLoggerUi.h"

using namespace LoggerTest;

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

// The window's logger commands (download, memory image write, erase, a log
// file opened without logger data) and their dialogs against the simulated
// ESC, answered through the scripted prompt.
class LoggerUiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(esc.connected);
        ui.SetSettingsPath(dir.filePath(QStringLiteral("TORV.ini")));
    }

    // Runs action inside each dialog's own event loop. A dialog still open
    // after the deadline fails the test and is cancelled.
    void OnEachDialog(std::function<void(QDialog&)> action)
    {
        ui.SetDialogHook([action](QDialog& dialog) {
            QTimer::singleShot(0, &dialog, [&dialog, action] { action(dialog); });
            QTimer::singleShot(kDialogDeadlineMs, &dialog, [&dialog] {
                ADD_FAILURE() << dialog.objectName().toStdString() << " did not end";
                dialog.reject();
            });
        });
    }

    static constexpr int kDialogDeadlineMs = 30000;

    QString File(const QString& name, const Bytes& bytes)
    {
        return TestFiles::Write(dir.path(), name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<qsizetype>(bytes.size())));
    }

    // Runs the image write on the file, the prompt giving these answers;
    // what the write returned.
    QString WriteImage(const QString& path,
                       std::initializer_list<IPrompt::Answer> answers = {IPrompt::Answer::Yes, IPrompt::Answer::Ok})
    {
        esc.prompt.AnswerOpenFile(path);
        for (IPrompt::Answer answer : answers)
            esc.prompt.AnswerMessage(answer);
        return ui.WriteImage(dir.path());
    }

    std::size_t FramesOf(uint8_t letter) const { return LoggerTest::FramesOf(*esc.link, letter).size(); }

    QString LastMessage() const
    {
        const auto messages = esc.prompt.Messages();
        return messages.empty() ? QString() : messages.back().text;
    }

    ConnectedEsc esc;
    CLoggerUi ui{*esc.session, esc.host, esc.prompt, nullptr};
    QTemporaryDir dir;
};

Bytes Image(std::size_t pages)
{
    Bytes image(pages * LoggerPage::kSize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + i / LoggerPage::kSize);
    return image;
}

TEST_F(LoggerUiTest, ImageWriteAsksFirstAndRefusesWhatIsNoImageOfTheMemory)
{
    const Bytes memory = esc.link->Sim().LoggerMemory();
    // One page more than the 2048 of the logger memory.
    WriteImage(File(QStringLiteral("big.img"), Bytes(2048 * 264 + 1, 0)), {IPrompt::Answer::Ok});
    EXPECT_EQ(LastMessage(), "\"big.img\" holds 2049 pages, but the logger memory of this ESC holds only 2048 "
                             "pages.\r\nNothing was written.");

    WriteImage(File(QStringLiteral("empty.img"), {}), {IPrompt::Answer::Ok});
    EXPECT_EQ(LastMessage(), "\"empty.img\" is empty: nothing was written.");

    WriteImage(dir.filePath(QStringLiteral("missing.img")), {IPrompt::Answer::Ok});
    EXPECT_EQ(LastMessage(), "Unable to open file");

    WriteImage(File(QStringLiteral("params.escp"), Bytes(128, 1)), {IPrompt::Answer::No});
    const IPrompt::FileRequest asked = esc.prompt.Requests().front().file;
    EXPECT_EQ(asked.filters, QStringList{"All Files (*.*)"});
    const CScriptedPrompt::Request question = esc.prompt.Messages().back();
    EXPECT_EQ(question.text, "Write the memory image \"params.escp\" (1 page) into the logger of the ESC?\r\n"
                             "The logs in the ESC will be overwritten.");
    EXPECT_EQ(question.buttons, IPrompt::Buttons::YesNoDefaultNo);
    EXPECT_EQ(question.icon, IPrompt::Icon::Warning);

    EXPECT_EQ(FramesOf('u'), 0u);
    EXPECT_EQ(esc.link->Sim().LoggerMemory(), memory);
}

TEST_F(LoggerUiTest, ImageWriteShowsProgressCanBeCancelledAndReadsThePagesBack)
{
    const QString path = File(QStringLiteral("flight.img"), Image(120));
    // Cancelled at page 5: the memory holds part of the image.
    OnEachDialog([](QDialog& dialog) {
        auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progress"));
        QObject::connect(progress, &QProgressBar::valueChanged, &dialog, [&dialog](int page) {
            if (page == 5)
                dialog.reject();
        });
    });
    const int stops = esc.host.stops;
    const int restarts = esc.host.restarts;
    WriteImage(path);
    EXPECT_EQ(LastMessage(), "The write was cancelled after 5 of 120 pages: the logger memory now holds part of the "
                             "image.");
    EXPECT_GT(esc.host.stops, stops);
    EXPECT_GT(esc.host.restarts, restarts);

    // Written to the end, every page read back.
    int range = 0;
    OnEachDialog([&range](QDialog& dialog) {
        range = dialog.findChild<QProgressBar*>(QStringLiteral("progress"))->maximum();
    });
    WriteImage(path);
    EXPECT_EQ(range, 120);
    EXPECT_EQ(LastMessage(), "The memory image \"flight.img\" is written: all 120 pages read back as written.");
    EXPECT_GE(FramesOf('l'), 120u);
    const Bytes memory = esc.link->Sim().LoggerMemory();
    EXPECT_EQ(Bytes(memory.begin(), memory.begin() + 120 * 264), Image(120));

    // The ESC unplugged while the pages are read back: the dialog says so,
    // and after Cancel the window says the memory may hold part of it.
    OnEachDialog([this](QDialog& dialog) {
        auto* write = qobject_cast<CLogDownLinkDlg*>(&dialog);
        auto* poll = new QTimer(&dialog);
        QObject::connect(poll, &QTimer::timeout, &dialog, [this, write] {
            if (write->CurrentPhase() != CLogDownLinkDlg::Phase::Checking || write->PagesChecked() < 3)
                return;
            esc.link->Sim().SetUnplugged(true);
            if (write->StatusText().startsWith("The ESC does not answer at page"))
                write->reject();
        });
        poll->start(5);
    });
    WriteImage(path);
    EXPECT_TRUE(LastMessage().startsWith("The image was written, but reading it back was cancelled after "))
        << LastMessage().toStdString();
    EXPECT_TRUE(LastMessage().endsWith(" of 120 pages: the logger memory may hold only part of the image."));
    esc.link->Sim().SetUnplugged(false);
}

TEST_F(LoggerUiTest, ImageWriteNamesThePagesTheUnpluggedEscDidNotTake)
{
    const QString path = File(QStringLiteral("flight.img"), Image(200));
    // The ESC is unplugged from page 20 to page 40 of the write; the cable
    // still echoes every write frame.
    OnEachDialog([this](QDialog& dialog) {
        auto* write = qobject_cast<CLogDownLinkDlg*>(&dialog);
        ASSERT_NE(write, nullptr);
        auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progress"));
        QObject::connect(progress, &QProgressBar::valueChanged, &dialog, [this, write](int page) {
            if (write->CurrentPhase() == CLogDownLinkDlg::Phase::Writing && (page == 20 || page == 40))
                esc.link->Sim().SetUnplugged(page == 20);
        });
    });
    const QString outcome = WriteImage(path);

    const std::vector<std::size_t> lost = PagesNotTaken(esc.link->Sim().Frames());
    ASSERT_GE(lost.size(), 15u);
    const CScriptedPrompt::Request said = esc.prompt.Messages().back();
    EXPECT_EQ(said.text, QStringLiteral("%1 of the 200 pages read back otherwise than written: pages %2.\r\nThe logger "
                                        "memory now holds only part of the image.")
                             .arg(lost.size())
                             .arg(CLogImageWriter::PageRanges(lost)));
    EXPECT_EQ(said.icon, IPrompt::Icon::Error);
    // The window's one-line status bar gets it on one line.
    EXPECT_EQ(outcome, QString(said.text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
}

TEST_F(LoggerUiTest, EraseKeepsTheMemoryOnEnterStartsEmptyAndSaysWhenErased)
{
    std::vector<int> bar;
    auto watchBar = [&bar](QDialog& dialog) {
        auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progress"));
        bar = {progress->value()};
        QObject::connect(progress, &QProgressBar::valueChanged, &dialog, [&bar](int value) { bar.push_back(value); });
    };
    // Enter on the warning: Cancel is the default, nothing is erased.
    OnEachDialog([&](QDialog& dialog) {
        watchBar(dialog);
        QTest::keyClick(dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog, Qt::Key_Return);
    });
    ui.Erase(true);
    EXPECT_EQ(FramesOf('E'), 0u);
    EXPECT_GT(esc.link->Sim().Cell(128), 0);
    EXPECT_TRUE(esc.prompt.Messages().empty());

    // Erase block by block: the bar fills up from empty, then the window
    // says so.
    OnEachDialog([&](QDialog& dialog) {
        watchBar(dialog);
        dialog.findChild<QPushButton*>(QStringLiteral("erase"))->click();
    });
    esc.prompt.AnswerMessage(IPrompt::Answer::Ok);
    ui.Erase(true);
    EXPECT_EQ(FramesOf('E'), 8u);
    EXPECT_EQ(bar, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(LastMessage(), "The logger memory is erased.");
    EXPECT_EQ(esc.link->Sim().Cell(128), 0);

    // The one-shot erase after the confirmation.
    esc.link->Sim().SetLoggerMemory(Page(1, 5, 1));
    OnEachDialog([](QDialog& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("erase"))->click(); });
    esc.prompt.AnswerMessage(IPrompt::Answer::Ok);
    ui.Erase(false);
    EXPECT_EQ(FramesOf('e'), 1u);
    EXPECT_EQ(esc.link->Sim().Cell(128), 0);
    EXPECT_EQ(esc.prompt.Messages().size(), 2u);
    EXPECT_EQ(LastMessage(), "The logger memory is erased.");
}

TEST_F(LoggerUiTest, LogFileCutInAPageIsShownUpToItsLastWholeSampleAndThePageNamed)
{
    // Two pages of log 4 with four slots (42 groups a page), cut after ten
    // groups of the second page.
    const Bytes page = Page(4, 5, 0x0F, 0x11);
    const Bytes pages = Concat({page, page});
    const QList<QByteArray> lines = CLogCsvWriter::Format(pages.data(), 2, 0, 1, Snapshot()).split('\n');
    const QString path = TestFiles::Write(dir.path(), QStringLiteral("cut.csv"), lines.mid(0, 53).join('\n'));
    const QString incomplete = QStringLiteral("Page 2 of the log is incomplete: the file ends after line 53.\r\n"
                                              "Only the samples before it are shown.");

    std::vector<std::size_t> samples;
    OnEachDialog([&](QDialog& dialog) {
        auto* chart = qobject_cast<CChartDlg*>(&dialog);
        ASSERT_NE(chart, nullptr);
        samples.push_back(chart->Chart().Series().at(0)->Size());
        // Saved again, the log keeps only its whole groups.
        esc.prompt.AnswerSaveFile(dir.filePath(QStringLiteral("again.csv")));
        chart->Save();
        EXPECT_EQ(TestFiles::Read(dir.filePath(QStringLiteral("again.csv"))).count('\n'), 1 + 42 + 10);
        // The chart's own Open reads the file alike.
        esc.prompt.AnswerOpenFile(path);
        esc.prompt.AnswerMessage(IPrompt::Answer::Ok);
        chart->Open();
        samples.push_back(chart->Chart().Series().at(0)->Size());
        dialog.reject();
    });
    esc.prompt.AnswerOpenFile(path);
    esc.prompt.AnswerMessage(IPrompt::Answer::Ok);
    ui.OpenLogFile();
    EXPECT_EQ(samples, (std::vector<std::size_t>{52, 52}));
    const auto messages = esc.prompt.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, incomplete);
    EXPECT_EQ(messages[0].icon, IPrompt::Icon::Warning);
    EXPECT_EQ(messages[1].text, incomplete);
}

TEST_F(LoggerUiTest, LogLinkListsTheLogsAndDisplaysTheChosenRows)
{
    CLoggerCommands::DownloadPlan plan = CLoggerCommands::PlanDownload(*esc.session);
    CLogDownload download(plan.pageCount, plan.logger);
    CLoggerTransfer transfer(esc.link->Port(), &esc.prompt);
    for (bool shift : {false, true}) {
        CLogLinkDlg dialog(download, transfer, plan.pageTimeoutMs, plan.snapshot);
        dialog.SetShiftState([shift] { return shift; });
        dialog.show();
        auto* list = dialog.findChild<QTreeWidget*>("logList");
        auto* display = dialog.findChild<QPushButton*>("display");
        ASSERT_TRUE(WaitFor([&] { return download.CurrentState() == CLogDownload::State::Complete; }));
        ASSERT_EQ(list->topLevelItemCount(), 3);
        EXPECT_EQ(list->topLevelItem(0)->text(1), "  39.90 sec");  // 19 × 21 × 5 / 50
        EXPECT_EQ(list->topLevelItem(2)->text(2), "Throttle, Voltage, Temperature");
        EXPECT_EQ(dialog.findChild<QLabel*>("status")->text(), "38 transfered");
        EXPECT_EQ(dialog.findChild<QProgressBar*>("progress")->value(), 38);
        EXPECT_FALSE(display->isEnabled());
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        EXPECT_TRUE(display->isEnabled());
        display->click();
        EXPECT_EQ(dialog.result(), shift ? CLogLinkDlg::ResultDisplayShift : CLogLinkDlg::ResultDisplay);
        EXPECT_EQ(dialog.Selection().pageCount, 26u);
        EXPECT_EQ(dialog.Selection().snapshot, plan.snapshot);
    }
}

TEST_F(LoggerUiTest, CommandSaysWhenTheEscIsSilentAndGoesOnRaisedAfterAPowerCycle)
{
    std::optional<LogSelection> shown;
    ui.SetDisplay([&](const LogSelection& selection) { shown = selection; });
    // Switched off for 3 s at the request for page 5: when it comes back it
    // listens at 19200 baud.
    esc.link->Sim().AddFault({CEscSimulator::Fault::Action::Unplug, CEscSimulator::AnswerKind::LoggerPage, 6, 3000});
    QString silentText;
    int speedAtTheEnd = 0;
    ui.SetDialogHook([&](QDialog& dialog) {
        auto* log = qobject_cast<CLogLinkDlg*>(&dialog);
        ASSERT_NE(log, nullptr);
        // Poll from the dialog's own loop: a nested wait inside a queued
        // call would hold back the download's queued start.
        auto* poll = new QTimer(log);
        poll->setInterval(10);
        auto deadline = std::make_shared<QDeadlineTimer>(30000);
        QObject::connect(poll, &QTimer::timeout, log, [&, log, poll, deadline] {
            auto* progress = log->findChild<QProgressBar*>("progress");
            const QString rate = log->findChild<QLabel*>("rate")->text();
            if (deadline->hasExpired()) {
                poll->stop();
                ADD_FAILURE() << "the download did not end; rate: " << rate.toStdString();
                log->reject();
            } else if (rate.contains("not answering")) {
                silentText = rate;
            } else if (progress->value() == progress->maximum()) {
                poll->stop();
                speedAtTheEnd = esc.link->Sim().DeviceBaud();
                auto* list = log->findChild<QTreeWidget*>("logList");
                for (int row = 0; row < list->topLevelItemCount(); ++row)
                    list->topLevelItem(row)->setSelected(true);
                log->OnDisplay();
            }
        });
        poll->start();
    });
    const int stops = esc.host.stops;
    EXPECT_TRUE(ui.DownloadAndShow());
    EXPECT_EQ(silentText, "The ESC is not answering at page 5 of 38; Stop keeps the complete logs");
    EXPECT_EQ(speedAtTheEnd, 460800);
    EXPECT_EQ(esc.link->Port().LinkSpeed(), 19200);
    EXPECT_GT(esc.host.stops, stops);
    EXPECT_GE(esc.host.restarts, 1);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->logger);
    const Bytes memory = esc.link->Sim().LoggerMemory();
    EXPECT_TRUE(shown->pages == Bytes(memory.begin(), memory.begin() + 38 * LoggerPage::kSize));
    EXPECT_TRUE(WaitFor([&] { return esc.link->Sim().DeviceBaud() == 19200; }));
}

} // namespace
