#include "controls/CCurveCtrl.h"

#include "common/TestApplication.h"
#include "common/ThemePalettes.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

using Bytes = std::vector<uint8_t>;

class CurveCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ctrl.SetPoints({0, 40, 128, 200, 255}, true);
        ctrl.resize(220, CCurveCtrl::kMaxValue + 1 + 2 * CCurveCtrl::kMarginY);
        ctrl.show();
    }

    // Presses on point i, moves to y and lets go there.
    void Drag(int i, int y)
    {
        const QPoint from = ctrl.PointCentre(i);
        QTest::mousePress(&ctrl, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(&ctrl, QPoint(from.x(), y));
        QTest::mouseRelease(&ctrl, Qt::LeftButton, Qt::NoModifier, QPoint(from.x(), y));
    }

    CCurveCtrl ctrl;
};

TEST_F(CurveCtrlTest, DraggingMovesInnerPointsWithinTheRangeAndNeverTheEnds)
{
    QSignalSpy changed(&ctrl, &CCurveCtrl::changed);
    const int h = ctrl.height();
    struct Case {
        int point, y;
        Bytes expected;
    };
    const Case cases[] = {
        {1, h - CCurveCtrl::kMarginY - 100, {0, 100, 128, 200, 255}},   // one pixel per unit
        {2, -50, {0, 100, 255, 200, 255}},                               // above the top
        {3, h + 50, {0, 100, 255, 0, 255}},                              // below the bottom
        {0, 10, {0, 100, 255, 0, 255}},                                  // a fixed end
        {4, h - 20, {0, 100, 255, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        Drag(c.point, c.y);
        EXPECT_EQ(ctrl.Points(), c.expected);
        EXPECT_EQ(ctrl.DraggedPoint(), -1);
    }
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(ctrl.HitTest(ctrl.PointCentre(0)), -1);
    EXPECT_EQ(ctrl.HitTest(QPoint(ctrl.PointCentre(1).x() + 30, 0)), -1) << "a press on no handle does nothing";
}

TEST_F(CurveCtrlTest, KeysSelectOnlyMovablePointsAndKeepValuesInRange)
{
    ctrl.setFocus();
    EXPECT_EQ(ctrl.SelectedPoint(), 1);
    QTest::keyClick(&ctrl, Qt::Key_Left);
    EXPECT_EQ(ctrl.SelectedPoint(), 1) << "the fixed first point is not selected";
    QTest::keyClick(&ctrl, Qt::Key_Up);
    QTest::keyClick(&ctrl, Qt::Key_PageUp);
    EXPECT_EQ(ctrl.Points()[1], 51);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&ctrl, Qt::Key_Right);
    EXPECT_EQ(ctrl.SelectedPoint(), 3) << "nor the fixed last point";
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(&ctrl, Qt::Key_PageUp);
    QTest::keyClick(&ctrl, Qt::Key_Left);
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(&ctrl, Qt::Key_PageDown);
    EXPECT_EQ(ctrl.Points(), (Bytes{0, 51, 0, 255, 255}));

    // Without fixed ends (fewer than three points in a dialog, or by choice)
    // the ends move too.
    ctrl.SetPoints({10, 20}, false);
    EXPECT_EQ(ctrl.SelectedPoint(), 0);
    QTest::keyClick(&ctrl, Qt::Key_Down);
    EXPECT_EQ(ctrl.Points(), (Bytes{9, 20}));
}

TEST_F(CurveCtrlTest, TheReferenceLineIsDrawnOnlyWhenShown)
{
    // Ends at the bottom, the inner point at the top: the reference line runs
    // along the bottom, apart from every other stroke.
    ctrl.SetPoints({0, 255, 0}, true);
    const int y = ctrl.PointCentre(0).y();
    const int from = ctrl.PointCentre(0).x() + CCurveCtrl::kHandleSize;
    const int to = ctrl.PointCentre(1).x() - CCurveCtrl::kHandleSize;
    const auto strokes = [&] {
        const QImage image = ctrl.grab().toImage();
        const QRgb background = image.pixel(to, y - 20);
        int count = 0;
        for (int x = from; x < to; ++x)
            count += image.pixel(x, y) != background ? 1 : 0;
        return count;
    };
    ctrl.SetLine(true);
    EXPECT_GT(strokes(), 0);
    ctrl.SetLine(false);
    EXPECT_EQ(strokes(), 0);
}

TEST_F(CurveCtrlTest, ReadOutNamesTheSelectedPointAndGridLinesFollowThePalette)
{
    ctrl.setFocus();
    EXPECT_EQ(ctrl.ReadOut(), QStringLiteral("Point 2 of 5: 40"));
    QTest::keyClick(&ctrl, Qt::Key_Right);
    QTest::keyClick(&ctrl, Qt::Key_Up);
    EXPECT_EQ(ctrl.ReadOut(), QStringLiteral("Point 3 of 5: 129"));
    ctrl.SetPoints({}, false);
    EXPECT_TRUE(ctrl.ReadOut().isEmpty());

    // A grid line between two handles, away from the curve along the bottom,
    // in a light and in a dark palette.
    ctrl.SetPoints({0, 0, 0}, false);
    const int x = (ctrl.PointCentre(0).x() + ctrl.PointCentre(1).x()) / 2;
    const int y = ctrl.height() - CCurveCtrl::kMarginY - 2 * CCurveCtrl::kGridStep;
    for (const QPalette& palette : {ThemePalettes::Light(), ThemePalettes::Dark()}) {
        ctrl.setPalette(palette);
        const QImage image = ctrl.grab().toImage();
        const QColor grid = CCurveCtrl::GridColour(palette);
        EXPECT_EQ(QColor(image.pixel(x, y)), grid);
        EXPECT_NE(grid, palette.color(QPalette::Base));
        EXPECT_EQ(QColor(image.pixel(x, y + CCurveCtrl::kGridStep / 2)), palette.color(QPalette::Base));
    }
}

} // namespace
