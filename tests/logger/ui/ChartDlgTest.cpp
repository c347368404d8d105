#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "../LoggerTestSupport.h"
#include "common/Screenshots.h"
#include "common/TestFiles.h"
#include "base/CIniFile.h"
#include "controls/CElidedLabel.h"
#include "controls/CMChartCtrl.h"
#include "logger/CLogCsvWriter.h"
#include "logger/CLoggerCommands.h"
#include "logger/CLoggerTransfer.h"
#include "logger/ui/CLogLinkDlg.h"
#include "logger/ui/CChartDlg.h"
#include "logger/ui/CChartStyle.h"
#include "logger/ui/LogDisplay.h"

using namespace LoggerTest;

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QApplication>::Register();

class ChartDlgTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(logger); }

    // The pages of logger 3.2.1 with Snapshot(), or of the given logger and
    // snapshot.
    CChartDlg::Input Input(const Bytes& pages, pugi::xml_node of = {}, const Bytes& snapshot = Snapshot())
    {
        CChartDlg::Input input;
        input.pages = pages.data();
        input.pageCount = pages.size() / 264;
        input.logger = of ? of : logger;
        input.snapshot = snapshot;
        input.settingsPath = dir.filePath("TORV.ini");
        input.saveFolder = dir.path();
        return input;
    }

    QTemporaryDir dir;
    SampleLibrary library;
    pugi::xml_node logger = library.FindLogger(3, 2, 1);
    CScriptedPrompt prompt;
};

TEST_F(ChartDlgTest, StepsThroughTheLogsOfThePageBuffer)
{
    // Logs 1, 1, 2: pages 0 to 1 and page 2; a single-page log is shown too.
    const Bytes pages = Concat({Page(1, 5, 0x0F, 0x40), Page(1, 5, 0x0F, 0x40), Page(2, 5, 0x01, 0x20)});
    CChartDlg dialog(Input(pages), prompt);
    ASSERT_EQ(dialog.Logs().size(), 2u);
    EXPECT_EQ(dialog.Logs()[0], std::make_pair(std::size_t{0}, std::size_t{1}));
    EXPECT_FALSE(dialog.Action(CChartDlg::CommandPrevious)->isEnabled());
    EXPECT_TRUE(dialog.Action(CChartDlg::CommandNext)->isEnabled());
    EXPECT_TRUE(dialog.Action(CChartDlg::CommandSave)->isEnabled());
    // Throttle, RPM, Voltage, Current and the two computed channels.
    EXPECT_EQ(dialog.Chart().Series().size(), 6u);
    EXPECT_EQ(dialog.Chart().Series()[0]->Size(), 2u * 42);
    EXPECT_EQ(dialog.Chart().Series()[0]->Colour(), 255);  // palette 0, red

    dialog.Next();
    EXPECT_EQ(dialog.CurrentLog(), 1);
    EXPECT_EQ(dialog.Chart().Series().size(), 3u);
    EXPECT_TRUE(dialog.Action(CChartDlg::CommandPrevious)->isEnabled());
    EXPECT_FALSE(dialog.Action(CChartDlg::CommandNext)->isEnabled());

    // Save writes the shown log; Open replaces the chart and disables Save.
    const QString path = dir.filePath("log.csv");
    prompt.AnswerSaveFile(path);
    dialog.Action(CChartDlg::CommandSave)->trigger();
    EXPECT_EQ(TestFiles::Read(path), CLogCsvWriter::Format(pages.data(), 3, 2, 2, Snapshot()));
    prompt.AnswerOpenFile(path);
    dialog.Action(CChartDlg::CommandOpen)->trigger();
    EXPECT_TRUE(dialog.Logs().empty());
    EXPECT_FALSE(dialog.Action(CChartDlg::CommandSave)->isEnabled());
    EXPECT_FALSE(dialog.Action(CChartDlg::CommandNext)->isEnabled());
    EXPECT_EQ(dialog.Chart().Series()[0]->Size(), 85u);
}

TEST_F(ChartDlgTest, ZoomsByDraggingAndStepsBackWithTheMouseButtons)
{
    const Bytes pages = Concat({Page(1, 5, 0x01, 0x40), Page(1, 5, 0x01, 0x80)});
    CChartDlg dialog(Input(pages), prompt);
    dialog.resize(900, 600);
    dialog.show();
    CMChartCtrl& chart = dialog.Chart();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    chart.RecalcLayout();
    const QRect plot = chart.PlotRect();
    const int y = plot.center().y();
    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(plot.left() + 100, y));
    QTest::mouseMove(&chart, QPoint(plot.left() + 200, y));
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(plot.left() + 200, y));
    ASSERT_EQ(chart.BackStack().size(), 1u);
    const auto zoomed = chart.ViewRange();
    EXPECT_NEAR(zoomed.first, chart.BackStack()[0].second * 100 / plot.width(), 0.1);
    EXPECT_FALSE(dialog.StatusText().isEmpty());  // the cursor's values
    EXPECT_TRUE(dialog.StatusText().startsWith("t = "));

    QTest::mouseClick(&chart, Qt::BackButton, {}, QPoint(plot.left() + 10, y));
    EXPECT_EQ(chart.ViewRange(), chart.FullRange());
    QTest::mouseClick(&chart, Qt::ForwardButton, {}, QPoint(plot.left() + 10, y));
    EXPECT_EQ(chart.ViewRange(), zoomed);

    // A legend click hides a series; with Ctrl it asks for the style dialog.
    const QRect legend = chart.Series()[0]->LegendRect();
    QTest::mouseClick(&chart, Qt::LeftButton, {}, legend.center());
    EXPECT_FALSE(chart.Series()[0]->Visible());
    int asked = -2;
    QObject::disconnect(&chart, &CMChartCtrl::StyleRequested, nullptr, nullptr);
    QObject::connect(&chart, &CMChartCtrl::StyleRequested, [&](int serie) { asked = serie; });
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::ControlModifier, legend.center());
    EXPECT_EQ(asked, 0);
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::ControlModifier, plot.center());
    EXPECT_EQ(asked, -1);

    // Export writes the chart as shown, zoom included: the picture Copy gives.
    const QString png = dir.filePath("chart.png");
    prompt.AnswerSaveFile(png);
    dialog.ExportAction()->trigger();
    EXPECT_EQ(QImage(png).convertToFormat(QImage::Format_RGB32), chart.Image().convertToFormat(QImage::Format_RGB32));
    dialog.reject();
}

// The style dialog opens from the toolbar too; Copy and Export show their
// own pictures, not the style's stock ones; in a dark theme every button's
// picture stays visible.
TEST_F(ChartDlgTest, ToolbarOpensTheStyleDialogAndCopyAndExportHaveOwnIcons)
{
    const Bytes pages = Page(1, 5, 0x01, 0x40);
    CChartDlg dialog(Input(pages), prompt);
    ASSERT_TRUE(dialog.StyleAction()->isEnabled());
    QString opened;
    QTimer::singleShot(0, &dialog, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = modal->windowTitle();
            modal->close();
        }
    });
    dialog.StyleAction()->trigger();
    EXPECT_EQ(opened, QStringLiteral("Chart Style"));

    auto picture = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
    const QImage copy = picture(dialog.CopyAction()->icon());
    const QImage exportPng = picture(dialog.ExportAction()->icon());
    EXPECT_FALSE(copy.isNull());
    EXPECT_NE(copy, exportPng);
    EXPECT_NE(copy, picture(dialog.style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    EXPECT_NE(exportPng, picture(dialog.style()->standardIcon(QStyle::SP_DriveFDIcon)));

    const ThemePalettes::Scope dark(ThemePalettes::Dark());
    CChartDlg darkDialog(Input(pages), prompt);
    for (QAction* action : darkDialog.findChild<QToolBar*>("toolbar")->actions()) {
        if (!action->isSeparator() && action->isEnabled())
            EXPECT_GT(ThemePalettes::VisibleInk(action->icon(), ThemePalettes::Dark().color(QPalette::Window)), 16)
                << action->objectName().toStdString();
    }
}

TEST_F(ChartDlgTest, StylesSurviveTheNextDialog)
{
    const Bytes pages = Page(1, 5, 0x01, 0x40);
    {
        CChartDlg dialog(Input(pages), prompt);
        CChartStyle style(dialog.Chart().Series(), 0, prompt, &dialog);
        style.findChild<QRadioButton*>("mode2")->setChecked(true);
        style.findChild<QLineEdit*>("min")->setText("abc");
        // A field without a number keeps the entry selected.
        style.findChild<QListWidget*>("object")->setCurrentRow(1);
        EXPECT_EQ(style.Current(), 0);
        style.findChild<QLineEdit*>("min")->setText("-5");
        style.findChild<QLineEdit*>("max")->setText("120");
        prompt.AnswerColour(0xFF102030u);
        style.findChild<QPushButton*>("colour")->click();
        style.accept();
        dialog.reject();
    }
    CIniFile ini(dir.filePath("TORV.ini"));
    ini.Load();
    EXPECT_EQ(ini.String("Chart.Throttle", "Range", ""), "-5.000000,120.000000");
    EXPECT_EQ(ini.Int("Chart.Throttle", "Color", 0), 0x30 * 65536 + 0x20 * 256 + 0x10);

    CChartDlg again(Input(pages), prompt);
    const CMChartSerie& throttle = *again.Chart().Series()[0];
    EXPECT_EQ(throttle.Mode(), CMChartSerie::ScaleMode::Custom);
    EXPECT_DOUBLE_EQ(throttle.Minimum(), -5);
    EXPECT_DOUBLE_EQ(throttle.Maximum(), 120);
}

// Opened again and again, the chart takes the outer size it stored, frame
// included, and stays within the screen; the cursor read-out is cut to the
// width instead of widening the window.
TEST_F(ChartDlgTest, KeepsItsStoredOuterSizeOnTheScreenAndTheReadOutElides)
{
    const Bytes pages = Page(1, 5, 0x01, 0x40);
    for (const QSize stored : {QSize(700, 500), QSize(1624, 1420)}) {
        CIniFile ini(dir.filePath("TORV.ini"));
        ini.Load();
        ini.SetInt("TORV", "cx_chart", stored.width());
        ini.SetInt("TORV", "cy_chart", stored.height());
        ASSERT_TRUE(ini.Save());
        QSize first;
        for (int run = 1; run <= 3; ++run) {
            CChartDlg dialog(Input(pages), prompt);
            dialog.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            const QRect outer = dialog.frameGeometry();
            EXPECT_TRUE(dialog.screen()->availableGeometry().contains(outer)) << run;
            if (run == 1)
                first = outer.size();
            EXPECT_EQ(outer.size(), first) << run;
            if (stored.width() < 800) {
                EXPECT_EQ(outer.size(), stored) << run;
            }

            const int width = dialog.width();
            emit dialog.Chart().CursorTextChanged(QStringLiteral("t = ") + QString(400, QLatin1Char('9')));
            // The layout settles over a few rounds of posted events.
            for (int round = 0; round < 3; ++round)
                QCoreApplication::processEvents();
            EXPECT_EQ(dialog.width(), width) << run;
            const auto* readOut = dialog.findChild<CElidedLabel*>("readOut");
            ASSERT_NE(readOut, nullptr);
            ASSERT_EQ(readOut->ShownLines().size(), 1);
            EXPECT_TRUE(readOut->ShownLines()[0].endsWith(QChar(0x2026))) << run;
            dialog.reject();
        }
    }
}

TEST_F(ChartDlgTest, WorkbookIsWrittenFirstAndCancellingItStillOpensTheChart)
{
    LogSelection selection;
    selection.pages = Concat({Page(1, 5, 0x01), Page(1, 5, 0x01)});
    selection.pageCount = 2;
    selection.snapshot = Snapshot();
    selection.logger = logger;
    selection.esc = library.Root().child("ESC");
    selection.workbook = true;
    LogDisplayContext context;
    context.settingsPath = dir.filePath("TORV.ini");
    context.saveFolder = dir.path();
    int charts = 0;
    context.dialogHook = [&](QDialog& chart) {
        ++charts;
        QTimer::singleShot(0, &chart, &QDialog::reject);
    };
    const QString path = dir.filePath("logs.xml");
    prompt.AnswerSaveFile(path);
    ShowLogs(selection, context, nullptr, prompt);
    EXPECT_EQ(prompt.Requests().front().file.filters, QStringList{"XML Spreadsheet (*.xml)"});
    EXPECT_EQ(prompt.Requests().front().file.initialFolder, dir.path());
    pugi::xml_document workbook;
    EXPECT_TRUE(workbook.load_file(path.toStdString().c_str()));
    EXPECT_TRUE(workbook.child("Workbook").child("Names"));
    prompt.AnswerSaveFile(std::nullopt);
    ShowLogs(selection, context, nullptr, prompt);
    EXPECT_EQ(charts, 2);

    // A workbook that cannot be written says so; the chart opens all the same.
    prompt.AnswerSaveFile(dir.filePath("no-such-folder/logs.xml"));
    prompt.AnswerMessage(IPrompt::Answer::Ok);
    ShowLogs(selection, context, nullptr, prompt);
    ASSERT_EQ(prompt.Messages().size(), 1U);
    EXPECT_EQ(prompt.Messages()[0].text, QStringLiteral("Unable to write to file"));
    EXPECT_EQ(charts, 3);
}

// Writes the pictures of the logger's windows into TORV_SCREENSHOT_DIR when
// that is set (docs/screenshots), at their default sizes, in a light and a
// dark theme; otherwise skipped.
using ChartScreenshots = ChartDlgTest;

TEST_F(ChartScreenshots, WritesTheLogListTheChartsAndTheStyleDialog)
{
    const QString folder = Screenshots::Folder();
    if (folder.isEmpty())
        GTEST_SKIP() << "TORV_SCREENSHOT_DIR not set";
    ConnectedEsc esc;
    ASSERT_TRUE(esc.connected);
    CLoggerCommands::DownloadPlan plan = CLoggerCommands::PlanDownload(*esc.session);
    CLogDownload download(plan.pageCount, plan.logger);
    CLoggerTransfer transfer(esc.link->Port(), &esc.prompt);
    for (const Screenshots::Theme& theme : Screenshots::Themes()) {
        Screenshots::ThemeScope scope(theme);
        const auto save = [&](QWidget& widget, const char* name) {
            EXPECT_TRUE(Screenshots::Save(widget, folder, QString::fromLatin1(name), theme)) << name;
        };
        {
            CLogLinkDlg dialog(download, transfer, plan.pageTimeoutMs, plan.snapshot);
            dialog.show();
            ASSERT_TRUE(WaitFor([&] { return download.CurrentState() == CLogDownload::State::Complete; }));
            dialog.findChild<QTreeWidget*>("logList")->topLevelItem(0)->setSelected(true);
            save(dialog, "log-list");
            dialog.reject();
        }
        const LogSelection selection = download.Select({0, 1, 2}, plan.snapshot, false);
        CChartDlg chart(Input(selection.pages, selection.logger, selection.snapshot), esc.prompt);
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        save(chart, "chart");

        CMChartCtrl& control = chart.Chart();
        const QRect plot = control.PlotRect();
        const int y = plot.center().y();
        const int from = plot.left() + plot.width() / 3;
        QTest::mousePress(&control, Qt::LeftButton, {}, QPoint(from, y));
        QTest::mouseRelease(&control, Qt::LeftButton, {}, QPoint(from + plot.width() / 8, y));
        QTest::mouseMove(&control, QPoint(plot.center().x(), y));
        save(chart, "chart-zoomed-cursor");

        CChartStyle style(control.Series(), 2, esc.prompt, &chart);
        style.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&style));
        style.findChild<QRadioButton*>("mode2")->setChecked(true);
        save(style, "chart-style");
        style.reject();
        chart.reject();
    }
}

} // namespace
