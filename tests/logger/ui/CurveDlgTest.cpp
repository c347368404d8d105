#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "common/TestApplication.h"
#include "controls/CCurveCtrl.h"
#include "logger/ui/CCurveDlg.h"
#include "logger/ui/CCurveUi.h"

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

using Bytes = std::vector<uint8_t>;

void Click(CCurveDlg& dlg, const char* name)
{
    dlg.findChild<QPushButton*>(name)->click();
}

TEST(CurveDlg, SaveHandsOutTheEditsCancelAndResetKeepTheReadPoints)
{
    // Three points: the fewest whose ends stay fixed.
    const Bytes read = {0, 11, 255};
    {
        CCurveDlg dlg(QStringLiteral("Brake curve"), read, true);
        dlg.show();
        CCurveCtrl* ctrl = dlg.Control();
        ASSERT_EQ(ctrl->Points(), read);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Curve - Brake curve"));
        EXPECT_TRUE(dlg.findChild<QCheckBox*>("line")->isChecked());
        EXPECT_TRUE(ctrl->LineShown());
        EXPECT_EQ(dlg.findChild<QLabel*>("incompleteNote"), nullptr);
        dlg.findChild<QCheckBox*>("line")->setChecked(false);
        EXPECT_FALSE(ctrl->LineShown());

        // With fixed ends Left keeps the inner point selected, and Up moves it.
        QTest::keyClick(ctrl, Qt::Key_Left);
        QTest::keyClick(ctrl, Qt::Key_Up);
        EXPECT_EQ(ctrl->Points(), (Bytes{0, 12, 255})) << "only the inner point moves";
        Click(dlg, "reset");
        EXPECT_EQ(ctrl->Points(), read);
        QTest::keyClick(ctrl, Qt::Key_Right);
        QTest::keyClick(ctrl, Qt::Key_Down);
        Click(dlg, "save");
        EXPECT_EQ(dlg.result(), CCurveDlg::ResultSave);
        EXPECT_EQ(dlg.Points(), (Bytes{0, 10, 255}));
    }
    {
        CCurveDlg dlg(QStringLiteral("Brake curve"), read, false);
        EXPECT_NE(dlg.findChild<QLabel*>("incompleteNote"), nullptr) << "the user is told of unread points";
        QTest::keyClick(dlg.Control(), Qt::Key_Up);
        Click(dlg, "cancel");
        EXPECT_EQ(dlg.result(), CCurveDlg::ResultCancel);
        EXPECT_EQ(dlg.Points(), read);
    }
    {
        // Fewer than three points: an empty control; Save keeps them.
        CCurveDlg dlg(QStringLiteral("Short"), {7, 9}, true);
        EXPECT_TRUE(dlg.Control()->Points().empty());
        Click(dlg, "save");
        EXPECT_EQ(dlg.Points(), (Bytes{7, 9}));
    }
}

TEST(CurveUi, TheDropDownListsTheCurvesOfTheConnectedEscOnly)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<L><ESC id="3"><Curves><Curve name="Throttle"/><Curve/>
        <Curve name="Brake"/></Curves></ESC><ESC id="5"/></L>)"));
    const std::vector<CCurveUi::MenuEntry> entries =
        CCurveUi::MenuEntries(doc.child("L").find_child_by_attribute("id", "3"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, QStringLiteral("Brake"));
    EXPECT_EQ(entries[1].position, 3);
    EXPECT_TRUE(CCurveUi::MenuEntries(doc.child("L").find_child_by_attribute("id", "5")).empty());
}

} // namespace
