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
    const Bytes read = {0, 11, 32, 58, 255};
    {
        CCurveDlg dlg(QStringLiteral("Brake curve"), read, true);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Curve - Brake curve"));
        EXPECT_TRUE(dlg.findChild<QCheckBox*>("line")->isChecked());
        EXPECT_TRUE(dlg.Control()->LineShown());
        EXPECT_TRUE(dlg.Control()->EndsFixed());
        EXPECT_EQ(dlg.findChild<QLabel*>("incompleteNote"), nullptr);
        dlg.findChild<QCheckBox*>("line")->setChecked(false);
        EXPECT_FALSE(dlg.Control()->LineShown());

        QTest::keyClick(dlg.Control(), Qt::Key_Up);
        EXPECT_EQ(dlg.Control()->Points()[1], 12);
        Click(dlg, "reset");
        EXPECT_EQ(dlg.Control()->Points(), read);
        QTest::keyClick(dlg.Control(), Qt::Key_Down);
        Click(dlg, "save");
        EXPECT_EQ(dlg.result(), CCurveDlg::ResultSave);
        EXPECT_EQ(dlg.Points(), (Bytes{0, 10, 32, 58, 255}));
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

TEST(CurveDlg, AThreePointCurveKeepsItsEndsAgainstMouseAndKeys)
{
    CCurveDlg dlg(QStringLiteral("Three"), {10, 20, 30}, true);
    dlg.show();
    CCurveCtrl* ctrl = dlg.Control();
    ASSERT_EQ(ctrl->Points(), (Bytes{10, 20, 30}));
    for (int i : {0, 2, 1}) {
        const QPoint from = ctrl->PointCentre(i);
        const QPoint to = from - QPoint(0, 50);
        QTest::mousePress(ctrl, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(ctrl, to);
        QTest::mouseRelease(ctrl, Qt::LeftButton, Qt::NoModifier, to);
    }
    EXPECT_EQ(ctrl->Points(), (Bytes{10, 70, 30})) << "only the inner point moves";
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Home, Qt::Key_Right, Qt::Key_Right, Qt::Key_PageDown})
        QTest::keyClick(ctrl, key);
    Click(dlg, "save");
    EXPECT_EQ(dlg.Points(), (Bytes{10, 245, 30}));
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
