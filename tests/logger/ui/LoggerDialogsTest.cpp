#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "../LoggerTestSupport.h"
#include "logger/CLoggerCommands.h"
#include "logger/CLoggerTransfer.h"
#include "logger/ui/CLogLinkDlg.h"
#include "logger/ui/CLoggerUi.h"

using namespace LoggerTest;

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

class LoggerDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(esc.connected); }

    std::vector<Bytes> FramesOf(uint8_t letter)
    {
        std::vector<Bytes> frames;
        for (const Bytes& frame : esc.link->ReceivedFrames())
            if (frame.size() >= 5 && frame[1] == letter)
                frames.push_back(frame);
        return frames;
    }

    ConnectedEsc esc;
};

TEST_F(LoggerDialogsTest, LogLinkListsTheLogsAndDisplaysTheChosenRows)
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

TEST_F(LoggerDialogsTest, CommandSaysWhenTheEscIsSilentAndGoesOnRaisedAfterAPowerCycle)
{
    CLoggerUi ui(*esc.session, esc.host, esc.prompt, nullptr);
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
