#include "app/CMainCommands.h"
#include "app/CTORVModule.h"
#include "app/ui/CMainDlg.h"
#include "app/ui/CMainDlgFactory.h"
#include "app/ui/CHelpView.h"
#include "app/ui/CWidgetPrompt.h"
#include "controls/CPropertyListCtrl.h"
#include "library/CBackupFolder.h"
#include "library/CDeviceLibrary.h"
#include "common/CScriptedPrompt.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "common/ThemePalettes.h"
#include "common/WaitFor.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

// The windows end their own event loops; the application must not quit first.
[[maybe_unused]] const bool kQtApplication =
    TestApplication<QApplication>::Register([] { QApplication::setQuitOnLastWindowClosed(false); });

CTorvSettings SettingsWithSize(int cx, int cy)
{
    CTorvSettings s = CTorvSettings::Defaults("/opt/torv");
    s.cx = cx;
    s.cy = cy;
    s.port = QStringLiteral("/dev/torv-no-such-port");
    return s;
}

// A window on a port that does not exist: it stays in the closed state.
struct PortlessWindow {
    explicit PortlessWindow(const CTorvSettings& settings) : collector(port), dlg(settings, nullptr, port, collector, prompt) {}
    CSerialPort port;
    CSynchroBytesCollector collector;
    CScriptedPrompt prompt;
    CMainDlg dlg;
};

// Runs the window's event loop; while it runs, the action looks at the
// window and then presses Escape. Returns the loop's result.
int RunAndEscape(CMainDlg& dlg, const std::function<void(CMainDlg&)>& whileOpen)
{
    QTimer::singleShot(0, &dlg, [&dlg, whileOpen] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
        whileOpen(dlg);
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    return dlg.Run();
}

TEST(MainDlgTest, MenuBarHoldsEveryCommandWithQtShortcutsAndOpensWithAlt)
{
    PortlessWindow window(SettingsWithSize(-1, -1));
    CMainDlg& dlg = window.dlg;
    dlg.Open();
    const std::vector<std::pair<QString, std::vector<int>>> expected = {
        {"&File",
         {MainCommand::LoadParameters, MainCommand::SaveParameters, MainCommand::CompareWithFile,
          MainCommand::OpenLogFile, MainCommand::WriteLoggerImage, MainCommand::OpenBackupFolder, MainCommand::Close}},
        {"&ESC",
         {MainCommand::Undo, MainCommand::Redo, MainCommand::Refresh, MainCommand::RestoreDefaults,
          MainCommand::FirmwareUpdate, MainCommand::Melodies, MainCommand::Curves, MainCommand::PortSetup}},
        {"&Logger", {MainCommand::Logs, MainCommand::EraseLogger}},
        {"&Tools", {MainCommand::MeasurementPanel, MainCommand::LibraryUpdate}},
        {"&Help", {MainCommand::Help, MainCommand::KeyboardShortcuts, MainCommand::About}},
    };
    const QList<QAction*> menus = dlg.menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (size_t m = 0; m < expected.size(); ++m) {
        EXPECT_EQ(menus[m]->text(), expected[m].first);
        std::vector<int> commands;
        for (QAction* action : menus[m]->menu()->actions()) {
            if (!action->isSeparator())
                commands.push_back(action->objectName().mid(7).toInt());
        }
        EXPECT_EQ(commands, expected[m].second) << expected[m].first.toStdString();
    }
    // Without an ESC only what needs none is offered.
    const std::set<int> enabled = {MainCommand::OpenLogFile, MainCommand::OpenBackupFolder, MainCommand::Close,
                                   MainCommand::PortSetup,   MainCommand::Logs,             MainCommand::LibraryUpdate,
                                   MainCommand::Help,        MainCommand::KeyboardShortcuts, MainCommand::About};
    for (const auto& menu : expected) {
        for (int command : menu.second)
            EXPECT_EQ(dlg.Action(command)->isEnabled(), enabled.count(command) != 0) << command;
    }
    EXPECT_EQ(dlg.Action(MainCommand::PortSetup)->shortcut().toString(QKeySequence::NativeText), QStringLiteral("Ctrl+P"));
    for (QAction* action : dlg.findChild<QMenu*>(QStringLiteral("systemMenu"))->actions()) {
        EXPECT_FALSE(action->text().contains(QLatin1Char('<'))) << action->text().toStdString();
        EXPECT_FALSE(action->text().contains(QLatin1Char('\t'))) << action->text().toStdString();
    }

    // The shortcut list is there in every state, and complete.
    window.prompt.AnswerMessage(IPrompt::Answer::Ok);
    dlg.OnCommand(MainCommand::KeyboardShortcuts);
    ASSERT_EQ(window.prompt.Messages().size(), 1u);
    const QString list = window.prompt.Messages().front().text;
    for (const char* key : {"Ctrl+L", "Ctrl+Y", "Ctrl+O", "Ctrl+Z", "Ctrl+Shift+Z", "F1", "Ctrl+M", "Ctrl+E"})
        EXPECT_TRUE(list.contains(QLatin1String(key))) << key;

    std::vector<QUrl> opened;
    dlg.SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    dlg.OnCommand(MainCommand::OpenBackupFolder);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(CBackupFolder::Path())});

    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QMenu* file = dlg.findChild<QMenu*>(QStringLiteral("fileMenu"));
    QTest::keyClick(&dlg, Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([file] { return file->isVisible(); }, 5000)) << "Alt+F opens the File menu";
    file->close();
    dlg.close();
}

TEST(MainDlgTest, IconsAreDrawnAgainForTheNewThemeWhenItChanges)
{
    PortlessWindow window(SettingsWithSize(-1, -1));
    QAction* load = window.dlg.Action(MainCommand::LoadParameters);
    const auto image = [load] { return load->icon().pixmap(16, 16).toImage(); };
    const QImage light = image();
    window.dlg.setPalette(ThemePalettes::Dark());
    EXPECT_NE(image(), light);
    window.dlg.setPalette(ThemePalettes::Light());
    EXPECT_EQ(image(), light);
}

TEST(MainDlgTest, OpensWithTheLibraryAndClosesWithEscapeReturningTheCloseCommand)
{
    PortlessWindow window(SettingsWithSize(-1, -1));
    CMainDlg& dlg = window.dlg;
    QString title;
    bool helpShown = false;
    QSize client;
    QSize outer;
    const int result = RunAndEscape(dlg, [&](CMainDlg& d) {
        title = d.windowTitle();
        client = d.size();
        outer = d.frameGeometry().size();
        helpShown = d.HelpView()->isVisible() && !d.PropertyList()->isVisible();
    });
    EXPECT_EQ(result, CMainDlg::CloseCommand);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(title, "TORV");
    EXPECT_TRUE(helpShown);
    // No stored size: the window opens at its smallest size, and that size
    // is what is stored on closing.
    EXPECT_EQ(client, CMainDlg::MinimumClientSize());
    EXPECT_EQ(QSize(dlg.Settings().cx, dlg.Settings().cy), outer);
}

// A window manager frames the window only some time after it is shown. The
// stored outer size must open and close unchanged, run after run; a size the
// user gives the window is stored with the frame. The other settings pass
// through unchanged.
TEST(MainDlgTest, StoredOuterSizeStaysTheSameOverRunsUnderAWindowManagerFrameAndTheUsersSizeIsKept)
{
    const QMargins frame(1, 24, 1, 1);
    const QSize stored(600, 500);
    CTorvSettings settings = SettingsWithSize(stored.width(), stored.height());
    for (int run = 1; run <= 3; ++run) {
        PortlessWindow window(settings);
        CMainDlg& dlg = window.dlg;
        dlg.SetFrameMargins([&dlg, frame] { return dlg.isActiveWindow() ? frame : QMargins(); });
        QSize opened;
        RunAndEscape(dlg, [&](CMainDlg& d) {
            opened = d.size().grownBy(frame);
            if (run == 3)
                d.resize(640, 520);
        });
        EXPECT_EQ(opened, stored) << "run " << run;
        settings = dlg.Settings();
        EXPECT_EQ(QSize(settings.cx, settings.cy), run < 3 ? stored : QSize(640, 520).grownBy(frame)) << "run " << run;
    }
    EXPECT_EQ(settings.port, "/dev/torv-no-such-port");
    EXPECT_EQ(settings.firmwareFolder, "/opt/torv");
}

TEST(MainDlgTest, StoredSizeBelowTheMinimumOrBeyondTheScreenIsBounded)
{
    PortlessWindow smallWindow(SettingsWithSize(100, 50));
    CMainDlg& small = smallWindow.dlg;
    QSize opened;
    RunAndEscape(small, [&](CMainDlg& d) { opened = d.size(); });
    EXPECT_EQ(opened, CMainDlg::MinimumClientSize());

    PortlessWindow hugeWindow(SettingsWithSize(100000, 100000));
    CMainDlg& huge = hugeWindow.dlg;
    QSize screen;
    RunAndEscape(huge, [&](CMainDlg& d) {
        opened = d.frameGeometry().size();
        screen = d.screen()->availableGeometry().size();
    });
    EXPECT_LE(opened.width(), std::max(screen.width(), CMainDlg::MinimumClientSize().width()));
    EXPECT_LE(opened.height(), std::max(screen.height(), CMainDlg::MinimumClientSize().height()));
}

// The reason why the port cannot be opened wraps and shows whole; other
// messages stay on one line and end in "…" when cut, following the width.
TEST(MainDlgTest, StatusMessagesShowWholeOrEndInAnEllipsisAndTheTitleIsCapped)
{
    PortlessWindow window(SettingsWithSize(-1, -1));
    RunAndEscape(window.dlg, [](CMainDlg& d) {
        ASSERT_TRUE(WaitFor([&d] { return d.MessagePaneText().startsWith(QStringLiteral("Cannot open")); }));
        auto* pane = d.findChild<QWidget*>(QStringLiteral("messagePane"));
        ASSERT_NE(pane, nullptr);
        QStringList lines = d.MessagePaneLines();
        EXPECT_GT(lines.size(), 1);
        EXPECT_EQ(lines.join(u' '), d.MessagePaneText());
        EXPECT_EQ(pane->toolTip(), d.MessagePaneText());
        EXPECT_TRUE(WaitFor([&] { return pane->height() >= lines.size() * pane->fontMetrics().lineSpacing(); }));

        const QString description = QStringLiteral("Commutation advance in electrical degrees; more timing gives "
                                                   "more speed and more heat");
        d.SetLinkState(IMainView::LinkConnected, QStringLiteral("/dev/ttyUSB0 19200"));
        d.SetMessage(description);
        lines = d.MessagePaneLines();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines[0].endsWith(QChar(0x2026))) << lines[0].toStdString();
        EXPECT_TRUE(description.startsWith(lines[0].chopped(1)));
        EXPECT_EQ(pane->toolTip(), description);
        d.resize(d.width() + pane->fontMetrics().horizontalAdvance(description), d.height());
        EXPECT_TRUE(WaitFor([&] { return d.MessagePaneLines() == QStringList{description}; }));

        // A library may name a device with megabytes, which no window system
        // takes as a title.
        d.SetTitle(QStringLiteral("TORV - %1 v 2.4").arg(QString(4 * 1024 * 1024, QLatin1Char('N'))));
        EXPECT_EQ(d.windowTitle().size(), CMainDlg::MaxTitleLength);
        EXPECT_TRUE(d.windowTitle().startsWith(QStringLiteral("TORV - NNN")));
        EXPECT_TRUE(d.windowTitle().endsWith(QChar(0x2026)));
        d.SetTitle(QStringLiteral("TORV - Brisko Pro 80 v 2.4"));
        EXPECT_EQ(d.windowTitle(), QStringLiteral("TORV - Brisko Pro 80 v 2.4"));
    });
}

// The start-up asks for a library before any window exists; once the
// factory has made the main window, message boxes and file dialogs are its.
TEST(WidgetPromptTest, DialogsBelongToTheMainWindowOnceItExists)
{
    CTORVModule module;
    CWidgetPrompt prompt;
    CMainDlgFactory factory(module, prompt);
    std::vector<QWidget*> parents;
    const auto answer = [&parents] {
        QTimer::singleShot(0, [&parents] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            parents.push_back(modal->parentWidget());
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
    };
    answer();
    prompt.Message("before", "TORV", IPrompt::Icon::Error, IPrompt::Buttons::Ok);

    std::unique_ptr<IMainWindow> window = factory.Create(SettingsWithSize(-1, -1), std::make_unique<CDeviceLibrary>());
    auto* dlg = dynamic_cast<CMainDlg*>(window.get());
    ASSERT_NE(dlg, nullptr);
    answer();
    prompt.Message("after", "TORV", IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    answer();
    prompt.SaveFile(IPrompt::FileRequest{});
    window.reset();
    EXPECT_EQ(prompt.Parent(), nullptr);
    EXPECT_EQ(parents, (std::vector<QWidget*>{nullptr, dlg, dlg}));
}

TEST(WidgetPromptTest, AllFilesFilterMatchesEveryFileInTheQtDialog)
{
    EXPECT_EQ(CWidgetPrompt::DialogFilter("All Files (*.*)"), "All Files (*)");
    EXPECT_EQ(CWidgetPrompt::DialogFilter("Esc Definition Files (*.esc)"), "Esc Definition Files (*.esc)");
    EXPECT_EQ(CWidgetPrompt::DialogFilter("Logs (*.csv *.*)"), "Logs (*.csv *)");
    EXPECT_EQ(CWidgetPrompt::DialogFilter("plain"), "plain");
}

TEST(WidgetPromptTest, MessageBoxShowsTheTextAndReturnsTheButtonPressed)
{
    CWidgetPrompt prompt;
    QString shownText;
    QString shownCaption;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text();
        shownCaption = box->windowTitle();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(prompt.Message("line one\r\nline two", "TORV", IPrompt::Icon::Error, IPrompt::Buttons::YesNo),
              IPrompt::Answer::Yes);
    EXPECT_EQ(shownText, "line one\nline two");
    EXPECT_EQ(shownCaption, "TORV");

    // A destructive question takes Enter as No.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(prompt.Message("Erase?", "TORV", IPrompt::Icon::Question, IPrompt::Buttons::YesNoDefaultNo),
              IPrompt::Answer::No);
}

TEST(WidgetPromptTest, OpenDialogReturnsTheChosenFileAndNothingOnCancel)
{
    QTemporaryDir dir;
    const QString file = TestFiles::Write(dir.path(), "lib.esc", {});

    CWidgetPrompt prompt;
    IPrompt::FileRequest request;
    request.defaultExtension = ".esc";
    request.filters = QStringList { "Esc Definition Files (*.esc)", "All Files (*.*)" };
    request.initialFolder = dir.path();
    request.mustExist = true;

    QStringList filters;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        dialog->selectFile(file);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    EXPECT_EQ(prompt.OpenFile(request), file);
    EXPECT_EQ(filters, (QStringList { "Esc Definition Files (*.esc)", "All Files (*)" }));

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_EQ(prompt.OpenFile(request), std::nullopt);
}

}
