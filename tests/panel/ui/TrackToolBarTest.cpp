#include "panel/ui/CTrackToolBar.h"

#include "common/TestApplication.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

using C = CTrackToolBar;

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

}
