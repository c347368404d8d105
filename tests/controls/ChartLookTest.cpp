#include "controls/CChartView.h"
#include "controls/CColourContrast.h"
#include "controls/CHeartBeatCtrl.h"
#include "controls/CMChartCtrl.h"
#include "controls/CThemedIcon.h"
#include "logger/CChartStyleSettings.h"

#include "common/TestApplication.h"
#include "common/ThemePalettes.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

QColor ToColour(int colour)
{
    return QColor(CMChartSerie::Red(colour), CMChartSerie::Green(colour), CMChartSerie::Blue(colour));
}

std::shared_ptr<CMChartSerie> Ramp(const QString& name, int samples, double step)
{
    std::vector<double> values(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i)
        values[static_cast<std::size_t>(i)] = i % 7;
    return std::make_shared<CMChartSerie>(name, 0.0, step, std::move(values));
}

// The reference values of the luminance formula, and every palette series
// drawn 3:1 against the chart's background in a light and a dark theme, in
// its own hue; the palette itself already holds 3:1 on white.
TEST(ChartLookTest, SeriesStandOutFromTheBackgroundOfTheThemeInTheirHue)
{
    EXPECT_NEAR(CColourContrast::Ratio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(CColourContrast::Ratio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(CColourContrast::Ratio(QColor(255, 255, 0), Qt::white), 1.07, 0.01);

    for (int i = 0; i < 10; ++i)
        EXPECT_GE(CColourContrast::Ratio(ToColour(CChartStyleSettings::PaletteColour(i)), Qt::white), 3.0) << i;

    for (const QPalette& palette : {ThemePalettes::Light(), ThemePalettes::Dark()}) {
        CMChartCtrl chart;
        chart.setPalette(palette);
        EXPECT_EQ(chart.Background(), palette.color(QPalette::Base));
        const bool dark = !CColourContrast::IsLight(chart.Background());
        for (int i = 0; i < 10; ++i) {
            // Stored colours of earlier runs (pure yellow) are made readable too.
            for (const int colour : {CChartStyleSettings::PaletteColour(i), CMChartSerie::MakeColour(255, 255, 0)}) {
                CMChartSerie serie("S", 0, 1, {0, 1});
                serie.SetColour(colour);
                const QColor drawn = chart.DrawnColour(serie);
                EXPECT_GE(CColourContrast::Ratio(drawn, chart.Background()), 3.0) << i << " dark " << dark;
                if (ToColour(colour).hslSaturationF() > 0.1)
                    EXPECT_NEAR(drawn.hslHueF(), ToColour(colour).hslHueF(), 0.02) << i << " dark " << dark;
            }
        }
        chart.AddSerie(Ramp("S", 50, 1));
        chart.resize(300, 200);
        const QImage image = chart.Image();
        EXPECT_EQ(image.pixelColor(1, 1), palette.color(QPalette::Base)) << dark;
    }
}

TEST(ChartLookTest, ReadOutShowsFourSignificantDigits)
{
    const std::pair<double, const char*> cases[] = {
        {0.413229, "0.4132"}, {12.5, "12.50"},   {4021.4, "4021"},     {123456.7, "123457"},
        {9.99996, "10.00"},   {-0.05, "-0.05000"}, {0, "0"},           {1.5e-5, "1.5e-05"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(CChartView::FormatValue(value), QString::fromLatin1(text)) << value;
    CChartView view;
    view.AddSerie(std::make_shared<CMChartSerie>("Volt", 0.0, 1.0, std::vector<double>{0.413229, 2}));
    EXPECT_EQ(view.CursorText(0.5), QStringLiteral("t = 0.50 s   Volt: 0.4132"));
}

void Wheel(CMChartCtrl& chart, const QPoint& at, int delta)
{
    QWheelEvent event(at, chart.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&chart, &event);
}

// The wheel zooms around the time under the cursor (one step of the zoom
// stacks for a run of turns); dragging with the middle button, or Shift and
// the left one, moves the shown time and stops at the ends.
TEST(ChartLookTest, WheelZoomsAroundTheCursorAndDraggingPans)
{
    CMChartCtrl chart;
    chart.AddSerie(Ramp("S", 1000, 0.1));  // 0 to 100 s
    chart.resize(600, 300);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.RecalcLayout();
    const QRect plot = chart.PlotRect();
    const QPoint at(plot.left() + plot.width() / 4, plot.center().y());
    const double time = chart.PixelToValue(at.x());
    Wheel(chart, at, 120);
    Wheel(chart, at, 120);
    const auto [from, to] = chart.ViewRange();
    EXPECT_NEAR(to - from, 100 * 0.8 * 0.8, 1e-6);
    EXPECT_NEAR(chart.PixelToValue(at.x()), time, (to - from) / plot.width() * 1.5);
    EXPECT_EQ(chart.BackStack().size(), 1u);
    Wheel(chart, at, -240);  // out again, never beyond the whole log
    Wheel(chart, at, -1200);
    EXPECT_EQ(chart.ViewRange(), chart.FullRange());

    chart.DoZoomTo(40, 50);
    const double perPixel = 10.0 / (plot.width() - 1);
    const QPoint grab = plot.center();
    QTest::mousePress(&chart, Qt::MiddleButton, {}, grab);
    QTest::mouseMove(&chart, grab - QPoint(50, 0));
    QTest::mouseRelease(&chart, Qt::MiddleButton, {}, grab - QPoint(50, 0));
    EXPECT_NEAR(chart.ViewRange().first, 40 + 50 * perPixel, 1e-6);
    EXPECT_EQ(chart.BackStack().size(), 3u);  // the pan is one step
    for (int drag = 0; drag < 6; ++drag) {  // 60 s back: past the start
        const QPoint left(plot.left() + 1, grab.y());
        QTest::mousePress(&chart, Qt::LeftButton, Qt::ShiftModifier, left);
        QTest::mouseMove(&chart, left + QPoint(plot.width() - 2, 0));
        QTest::mouseRelease(&chart, Qt::LeftButton, Qt::ShiftModifier, left + QPoint(plot.width() - 2, 0));
    }
    EXPECT_DOUBLE_EQ(chart.ViewRange().first, 0);
    EXPECT_NEAR(chart.ViewRange().second, 10, 1e-9);
}

// At two physical pixels per logical one, dense data is decimated per
// physical column: every column of the plot holds a full min-max stroke.
TEST(ChartLookTest, LinesAreDrawnPerPhysicalPixel)
{
    CChartView view;
    view.AddSerie(Ramp("S", 20000, 0.01));
    const QImage image = view.Render(QSize(400, 200), QFont(), 2.0);
    ASSERT_EQ(image.width(), 800);
    const QRect plot = view.PlotRect();
    const QColor line = view.DrawnColour(*view.Series()[0]);
    int full = 0;
    int columns = 0;
    for (int x = plot.left() * 2 + 4; x < plot.right() * 2 - 4; ++x, ++columns) {
        int lit = 0;
        for (int y = plot.top() * 2; y <= plot.bottom() * 2; ++y)
            lit += image.pixelColor(x, y) == line ? 1 : 0;
        full += lit > plot.height() * 2 * 3 / 4 ? 1 : 0;
    }
    EXPECT_GT(full, columns * 9 / 10);
}

// The panel's strip chart lies on the theme's Base colour with every trace
// 3:1 against it.
TEST(ChartLookTest, StripChartFollowsTheTheme)
{
    for (const QPalette& palette : {ThemePalettes::Light(), ThemePalettes::Dark()}) {
        CHeartBeatCtrl strip;
        strip.setPalette(palette);
        strip.resize(100, 60);
        EXPECT_EQ(strip.grab().toImage().pixelColor(50, 1), palette.color(QPalette::Base));
        for (int trace = 0; trace < CHeartBeatCtrl::kTraceCount; ++trace)
            EXPECT_GE(CColourContrast::Ratio(strip.DrawnTraceColour(trace), palette.color(QPalette::Base)), 3.0) << trace;
    }
}

// Every icon of the program shows ink that stands out 3:1 from the window
// of a light and of a dark theme.
TEST(ChartLookTest, IconsStayVisibleOnLightAndDarkWindows)
{
    const QStringList icons = QDir(QStringLiteral(TORV_SOURCE_DIR "/src/resources/icons")).entryList({"*.svg"});
    ASSERT_GT(icons.size(), 10);
    for (const QPalette& palette : {ThemePalettes::Light(), ThemePalettes::Dark()}) {
        const QColor window = palette.color(QPalette::Window);
        for (const QString& name : icons) {
            const int ink = ThemePalettes::VisibleInk(CThemedIcon::Load(QStringLiteral(":/icons/") + name, palette), window);
            EXPECT_GT(ink, 24) << name.toStdString() << " on " << window.name().toStdString();
        }
    }
}

}  // namespace
