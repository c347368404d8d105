#include "panel/ui/CTrackToolBar.h"

#include "common/TestApplication.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

using C = CTrackToolBar;

TEST(TrackToolBarTest, NineButtonsStartWithOnlyOpenRewindAndTheBlankEnabled)
{
    CTrackToolBar bar;
    ASSERT_EQ(bar.actions().size(), 9);
    for (size_t i = 0; i < C::kCommands.size(); ++i) {
        QAction* action = bar.actions()[static_cast<int>(i)];
        EXPECT_EQ(action, bar.Action(C::kCommands[i]));
        EXPECT_EQ(action->data().toInt(), C::kCommands[i]);
        EXPECT_FALSE(action->icon().isNull()) << i;
        const bool enabled = C::kCommands[i] == C::Blank || C::kCommands[i] == C::Open || C::kCommands[i] == C::Rewind;
        EXPECT_EQ(action->isEnabled(), enabled) << C::kCommands[i];
        EXPECT_EQ(action->isCheckable(), C::kCommands[i] == C::Rewind || C::kCommands[i] == C::Pause);
    }

    bar.SetTrackLoaded(true);
    bar.SetPlaying(true);
    for (C::Command c : {C::Play, C::Stop, C::Pause})
        EXPECT_TRUE(bar.Action(c)->isEnabled()) << c;
    for (C::Command c : {C::Save, C::Setup, C::Record})
        EXPECT_FALSE(bar.Action(c)->isEnabled()) << c;
    bar.SetPlaying(false);
    EXPECT_FALSE(bar.Action(C::Stop)->isEnabled());
    EXPECT_FALSE(bar.Action(C::Pause)->isEnabled());
}

TEST(TrackToolBarTest, ButtonsReportTheirCommandAndStatesSetQuietly)
{
    CTrackToolBar bar;
    bar.SetTrackLoaded(true);
    bar.SetPlaying(true);
    QSignalSpy open(&bar, &C::OpenRequested), play(&bar, &C::PlayRequested), stop(&bar, &C::StopRequested),
        pause(&bar, &C::PauseToggled), repeat(&bar, &C::RepeatToggled);
    for (C::Command c : {C::Open, C::Play, C::Stop, C::Pause, C::Rewind, C::Blank})
        bar.Action(c)->trigger();
    EXPECT_EQ(open.count(), 1);
    EXPECT_EQ(play.count(), 1);
    EXPECT_EQ(stop.count(), 1);
    ASSERT_EQ(pause.count(), 1);
    EXPECT_TRUE(pause.front().front().toBool());
    ASSERT_EQ(repeat.count(), 1);
    EXPECT_TRUE(repeat.front().front().toBool());

    bar.SetPaused(false);
    bar.SetRepeat(false);
    EXPECT_FALSE(bar.Action(C::Pause)->isChecked());
    EXPECT_FALSE(bar.Action(C::Rewind)->isChecked());
    EXPECT_EQ(pause.count(), 1);
    EXPECT_EQ(repeat.count(), 1);
}

TEST(TrackToolBarTest, OpenArrowListsRecentFilesAndReportsTheChosenOne)
{
    CTrackToolBar bar;
    auto* button = qobject_cast<QToolButton*>(bar.widgetForAction(bar.Action(C::Open)));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->popupMode(), QToolButton::MenuButtonPopup);

    bar.SetRecentFiles({"/t/a.tplay", "/home/pilot/tracks/takeoff.tplay"});
    QSignalSpy chosen(&bar, &C::RecentChosen);
    emit bar.RecentMenu()->aboutToShow();
    const QList<QAction*> items = bar.RecentMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), "&1 /t/a.tplay");
    EXPECT_EQ(items[1]->text(), "&2 /home/...f.tplay");
    items[1]->trigger();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.front().front().toString(), "/home/pilot/tracks/takeoff.tplay");
}

TEST(TrackToolBarTest, ButtonsShowNoTooltips)
{
    CTrackToolBar bar;
    bar.show();
    QWidget* button = bar.widgetForAction(bar.Action(C::Play));
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &help);
    EXPECT_FALSE(QToolTip::isVisible());
}

}
