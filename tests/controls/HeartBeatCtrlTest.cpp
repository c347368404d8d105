#include "controls/CHeartBeatCtrl.h"

#include "common/TestApplication.h"
#include "common/WaitFor.h"

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

// Records the regions the chart is asked to paint.
class PaintSpy : public QObject {
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
};

CHeartBeatSample Sample(quint32 time, quint16 level)
{
    CHeartBeatSample sample;
    sample.time = time;
    // Each trace on its own level, trace 0 near the bottom.
    sample.values[0] = 100;
    for (size_t trace = 1; trace < sample.values.size(); ++trace)
        sample.values[trace] = static_cast<quint16>(level + 300 * trace);
    return sample;
}

bool HasColour(const QImage& image, const QRect& area, const QColor& colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

class HeartBeatCtrlTest : public ::testing::Test {
protected:
    void SetUp() override { chart.resize(200, 80); }

    // The columns a sample scrolled in by dx drew.
    QRect Strip(int dx) const { return QRect(chart.width() - 1 - dx + 1, 0, dx, chart.height()); }

    CHeartBeatCtrl chart;
};

TEST_F(HeartBeatCtrlTest, VisibleTracesDrawTheirColourHiddenOnesStopAtTheNextSample)
{
    chart.AddSample(Sample(0, 2048), 0);
    chart.AddSample(Sample(5, 2048), 5);
    QImage image = chart.grab().toImage();
    for (int trace = 0; trace < CHeartBeatCtrl::kTraceCount; ++trace)
        EXPECT_TRUE(HasColour(image, Strip(5), chart.DrawnTraceColour(trace))) << trace;

    chart.SetTraceVisible(1, false);
    chart.SetTraceVisible(0, false);  // trace 0 is always drawn
    EXPECT_TRUE(chart.IsTraceVisible(0));
    chart.AddSample(Sample(10, 2048), 5);
    image = chart.grab().toImage();
    EXPECT_FALSE(HasColour(image, Strip(5), chart.DrawnTraceColour(1)));
    EXPECT_TRUE(HasColour(image, Strip(5), chart.DrawnTraceColour(2)));
    EXPECT_TRUE(HasColour(image, Strip(5), chart.DrawnTraceColour(0)));
    // The piece drawn before the change moved left and stays.
    EXPECT_TRUE(HasColour(image, Strip(5).translated(-5, 0), chart.DrawnTraceColour(1)));
}

TEST_F(HeartBeatCtrlTest, RedrawAfterAResizeKeepsWhatEachSampleShowed)
{
    chart.AddSample(Sample(0, 1000), 0);
    chart.AddSample(Sample(4, 1000), 4);
    chart.SetTraceVisible(3, false);
    chart.AddSample(Sample(8, 1000), 4);
    const QImage before = chart.grab().toImage();
    chart.resize(200, 81);
    chart.resize(200, 80);
    EXPECT_EQ(chart.grab().toImage(), before);
}

TEST_F(HeartBeatCtrlTest, ANewSampleRepaintsOnlyItsStrip)
{
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    for (quint32 t = 0; t < 10; ++t)
        chart.AddSample(Sample(t * 3, static_cast<quint16>(500 + 100 * t)), 3);
    QApplication::processEvents();

    PaintSpy spy;
    chart.installEventFilter(&spy);
    chart.AddSample(Sample(33, 3000), 3);
    ASSERT_TRUE(WaitFor([&] { return spy.paints > 0; }));
    const QRect bounds = spy.painted.boundingRect();
    EXPECT_LE(bounds.width(), 4);
    EXPECT_EQ(bounds.right(), chart.width() - 1);
    EXPECT_TRUE(HasColour(chart.grab().toImage(), Strip(3), chart.DrawnTraceColour(0)));
}

}
