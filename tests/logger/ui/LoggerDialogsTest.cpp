#include <gtest/gtest.h>

#include <QApplication>
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

TEST_F(LoggerDialogsTest, CommandRaisesTheSpeedStopsTheRefreshAndHandsTheLogsOn)
{
    CLoggerUi ui(*esc.session, esc.host, esc.prompt, nullptr);
    std::optional<LogSelection> shown;
    ui.SetDisplay([&](const LogSelection& selection) { shown = selection; });
    int speedDuringDialog = 0;
    ui.SetDialogHook([&](QDialog& dialog) {
        auto* log = qobject_cast<CLogLinkDlg*>(&dialog);
        ASSERT_NE(log, nullptr);
        speedDuringDialog = esc.link->Port().LinkSpeed();
        // Poll from the dialog's own loop: a nested wait inside a queued
        // call would hold back the download's queued start.
        auto* poll = new QTimer(log);
        poll->setInterval(10);
        auto ticks = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, log, [log, poll, ticks] {
            auto* list = log->findChild<QTreeWidget*>("logList");
            if (list->topLevelItemCount() == 3) {
                poll->stop();
                list->topLevelItem(1)->setSelected(true);
                log->OnDisplay();
            } else if (++*ticks > 3000) {
                poll->stop();
                ADD_FAILURE() << "the three logs were not listed";
                log->reject();
            }
        });
        poll->start();
    });
    const int stops = esc.host.stops;
    EXPECT_TRUE(ui.DownloadAndShow());
    EXPECT_EQ(speedDuringDialog, 460800);
    EXPECT_EQ(esc.link->Port().LinkSpeed(), 19200);
    EXPECT_GT(esc.host.stops, stops);
    EXPECT_GE(esc.host.restarts, 1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->pageCount, 12u);
    EXPECT_EQ(shown->logs.at(0).number, 2);
    EXPECT_TRUE(shown->logger);
}

} // namespace
