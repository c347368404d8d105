#include "controls/CChartView.h"
#include "controls/CMinMaxPyramid.h"

#include "common/TestApplication.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace {

const bool kApp = TestApplication<QApplication>::Register();

TEST(ChartArithmeticTest, AxesMapValuesToPixelsAndBack)
{
    CXAxe x;
    x.SetRange(10, 20);
    x.SetPixelSpan(100, 300);
    EXPECT_EQ(x.ValueToPixel(10), 100);
    EXPECT_EQ(x.ValueToPixel(15), 200);
    EXPECT_EQ(x.ValueToPixel(15.004), 200);  // rounded down
    EXPECT_EQ(x.ValueToPixel(20), 300);
    EXPECT_DOUBLE_EQ(x.PixelToValue(250), 17.5);

    CYAxe y;  // the top pixel shows the maximum
    y.SetRange(0, 100);
    y.SetPixelSpan(10, 210);
    EXPECT_EQ(y.ValueToPixel(100), 10);
    EXPECT_EQ(y.ValueToPixel(0), 210);
    EXPECT_EQ(y.ValueToPixel(25), 160);
    EXPECT_DOUBLE_EQ(y.PixelToValue(110), 50);
}

TEST(ChartArithmeticTest, TickTableFollowsTheSpanPerLabel)
{
    // 800 pixels hold ten labels 80 pixels apart.
    const struct {
        double span;
        const char* format;
        CXAxe::Unit unit;
        int step;
    } cases[] = {
        {1, "%M:%S", CXAxe::Unit::Second, 1},       {20, "%M:%S", CXAxe::Unit::Second, 1},
        {50, "%M:%S", CXAxe::Unit::Second, 5},      {100, "%M:%S", CXAxe::Unit::Second, 10},
        {250, "%M:%S", CXAxe::Unit::Second, 30},    {400, "%M", CXAxe::Unit::Minute, 1},
        {1000, "%M", CXAxe::Unit::Minute, 2},       {3000, "%M", CXAxe::Unit::Minute, 5},
        {18000, "%M", CXAxe::Unit::Minute, 30},     {30000, "%H:00", CXAxe::Unit::Hour, 1},
        {72000, "%H:00", CXAxe::Unit::Hour, 2},     {500000, "%d %b", CXAxe::Unit::Day, 1},
        {5000000, "%d %b", CXAxe::Unit::Day, 7},    {20000000, "%b %Y", CXAxe::Unit::Month, 1},
        {150000000, "%b %Y", CXAxe::Unit::Month, 6}, {1000000000, "%Y", CXAxe::Unit::Year, 4},
    };
    for (const auto& c : cases) {
        const CXAxe::TickPlan plan = CXAxe::PlanTicks(c.span, 800);
        EXPECT_EQ(plan.format, QString::fromLatin1(c.format)) << c.span;
        EXPECT_EQ(plan.unit, c.unit) << c.span;
        EXPECT_EQ(plan.step, c.step) << c.span;
    }

    CXAxe x;
    x.SetRange(12.3, 112.3);  // 100 s over 800 px: 10-second ticks
    x.SetPixelSpan(0, 800);
    const CXAxe::TickPlan plan = x.Ticks();
    EXPECT_DOUBLE_EQ(plan.firstTick, 20);
    const std::vector<double> ticks = x.TickTimes(plan);
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_DOUBLE_EQ(ticks.back(), 110);
    EXPECT_EQ(CXAxe::FormatTime(75, plan.format), "01:15");
    EXPECT_EQ(CXAxe::FormatTime(7200, "%H:00"), "02:00");
}

TEST(ChartArithmeticTest, ScaleModesSetTheVerticalRange)
{
    using Mode = CMChartSerie::ScaleMode;
    const struct {
        std::vector<double> values;
        Mode mode;
        double min;
        double max;
    } cases[] = {
        {std::vector<double>(10, 3.0), Mode::Auto, 3, 4},  // a flat series still spans one
        {{2, 5, 8}, Mode::Auto, 2, 8},
        {{2, 5, 8}, Mode::AlignedToZero, 0, 8},
        {{-4, 5}, Mode::AlignedToZero, -4, 5},
        {{2, 5, 8}, Mode::Custom, -1, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.values.front() << ", mode " << static_cast<int>(c.mode));
        CMChartSerie serie("S", 0, 0.1, c.values);
        serie.SetCustomRange(-1, 20);
        serie.SetMode(c.mode);
        serie.RecalcRange();
        EXPECT_DOUBLE_EQ(serie.Minimum(), c.min);
        EXPECT_DOUBLE_EQ(serie.Maximum(), c.max);
    }
}

TEST(ChartArithmeticTest, ZoomStacksStepBackAndForward)
{
    CChartView view;
    view.AddSerie(std::make_shared<CMChartSerie>("S", 0, 0.5, std::vector<double>(200, 1.0)));
    EXPECT_EQ(view.ViewRange(), CChartView::Range(0, 100));
    EXPECT_FALSE(view.ZoomBack());
    view.ZoomTo(40, 10);
    view.ZoomTo(20, 30);
    EXPECT_EQ(view.ViewRange(), CChartView::Range(20, 30));
    ASSERT_TRUE(view.ZoomBack());
    EXPECT_EQ(view.ViewRange(), CChartView::Range(10, 40));
    ASSERT_TRUE(view.ZoomBack());
    EXPECT_EQ(view.ViewRange(), CChartView::Range(0, 100));
    EXPECT_EQ(view.ForwardStack().size(), 2u);
    ASSERT_TRUE(view.ZoomForward());
    EXPECT_EQ(view.ViewRange(), CChartView::Range(10, 40));
    view.ZoomTo(15, 16);  // a new zoom forgets the way forward
    EXPECT_TRUE(view.ForwardStack().empty());
    EXPECT_EQ(view.BackStack().size(), 2u);
    view.ResetZoom();
    EXPECT_EQ(view.ViewRange(), CChartView::Range(0, 100));
    EXPECT_TRUE(view.BackStack().empty());
}

TEST(ChartArithmeticTest, PyramidAnswersMinMaxOfAnyRange)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1000, 1000);
    std::vector<double> values(5000);
    for (double& v : values)
        v = value(random);
    const CMinMaxPyramid pyramid(values);
    std::uniform_int_distribution<std::size_t> index(0, values.size());
    for (int i = 0; i < 2000; ++i) {
        std::size_t a = index(random);
        std::size_t b = index(random);
        if (a > b)
            std::swap(a, b);
        const auto [lo, hi] = pyramid.MinMax(a, b);
        if (a == b) {
            EXPECT_GT(lo, hi);
            continue;
        }
        EXPECT_EQ(lo, *std::min_element(values.begin() + a, values.begin() + b)) << a << ".." << b;
        EXPECT_EQ(hi, *std::max_element(values.begin() + a, values.begin() + b)) << a << ".." << b;
    }
}

TEST(ChartArithmeticTest, DecimationKeepsTwoPointsPerColumnAndEveryExtreme)
{
    constexpr std::size_t kSamples = 1000000;
    constexpr int kWidth = 800;
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 1);
    std::vector<double> values(kSamples);
    double level = 0;
    for (double& v : values)
        v = (level += noise(random));
    CMChartSerie serie("S", 0, 0.02, values);
    serie.SetPixelSpan(0, 400);
    CXAxe x;
    x.SetRange(0, serie.XEnd());
    x.SetPixelSpan(0, kWidth);
    std::vector<QPointF> points;
    serie.Decimate(x, points);
    EXPECT_LE(points.size(), 2u * kWidth);
    EXPECT_GE(points.size(), static_cast<std::size_t>(kWidth));

    // Every column's extremes are among the points of that column.
    const double perColumn = static_cast<double>(kSamples) / kWidth;
    for (int c = 0; c < kWidth; c += 37) {
        const auto from = values.begin() + static_cast<std::ptrdiff_t>(std::ceil(c * perColumn));
        const auto to = values.begin() + static_cast<std::ptrdiff_t>(std::ceil((c + 1) * perColumn));
        const double top = serie.ValueToPixelF(*std::max_element(from, to));
        const double bottom = serie.ValueToPixelF(*std::min_element(from, to));
        auto drawn = [&](double py) {
            return std::any_of(points.begin(), points.end(), [&](const QPointF& p) {
                return std::abs(p.x() - (c + 0.5)) < 1e-9 && std::abs(p.y() - py) < 1e-9;
            });
        };
        EXPECT_TRUE(drawn(top)) << c;
        EXPECT_TRUE(drawn(bottom)) << c;
    }

    // Zoomed in to fewer samples than columns every sample is drawn.
    x.SetRange(100, 101);  // 50 samples
    serie.Decimate(x, points);
    EXPECT_EQ(points.size(), 52u);
}

} // namespace
