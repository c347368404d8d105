#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "../../firmware/FirmwareTestSupport.h"
#include "app/CMainCommands.h"
#include "app/CMainController.h"
#include "app/ui/CHelpView.h"
#include "app/ui/CMainDlg.h"
#include "common/CScriptedPrompt.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/Screenshots.h"
#include "common/SimOptions.h"
#include "common/TestFiles.h"
#include "common/WaitFor.h"
#include "controls/CCurveCtrl.h"
#include "controls/CPropertyFilterEdit.h"
#include "controls/CPropertyListCtrl.h"
#include "firmware/ui/CFirmwareSelectDlg.h"
#include "library/CDeviceLibrary.h"
#include "library/CPropertyList.h"
#include "library/IProperty.h"
#include "library/ui/CAboutDlg.h"
#include "library/ui/CCompareDlg.h"
#include "link/ui/CComPortSetupDlg.h"
#include "logger/ui/CCurveDlg.h"
#include "logger/ui/CCurveUi.h"
#include "logger/ui/CLoggerUi.h"
#include "melody/ui/CMelodyDlg.h"
#include "panel/CTelemetryStream.h"
#include "panel/ui/CPanelDlg.h"
#include "panel/ui/CPanelUi.h"
#include "panel/ui/CTrackToolBar.h"

namespace {

constexpr int kDeadlineMs = 10000;

// A main window talking to a simulated ESC over a pseudo-terminal.
class ConnectedWindow {
public:
    // Tests size the window alike; pictures show it at the size it opens with.
    enum class Size { Test, Default };

    explicit ConnectedWindow(const std::string& profile, Size size = Size::Test, const QString& firmwareFolder = {})
        : m_link(SimOptions(profile))
    {
        CTorvSettings settings = CTorvSettings::Defaults(QDir::tempPath());
        if (!firmwareFolder.isEmpty())
            settings.firmwareFolder = firmwareFolder;
        settings.port = m_link.PortName();
        auto library = std::make_unique<CDeviceLibrary>();
        EXPECT_TRUE(library->Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")));
        m_dlg = std::make_unique<CMainDlg>(settings, std::move(library), m_link.Port(), m_link.ShortCollector(),
                                           m_prompt);
        if (size == Size::Test)
            m_dlg->resize(520, 560);
        m_dlg->Controller().Protocol().SetLimits(PatientLimits());
        m_dlg->Open();
    }

    bool WaitConnected()
    {
        return WaitFor([this] { return m_dlg->Controller().Connected() && m_dlg->LinkPaneText().size() > 1 &&
                                       m_dlg->MessagePaneText() == QStringLiteral("Connected. Ready for programming."); },
                       kDeadlineMs);
    }

    CMainDlg& Dlg() { return *m_dlg; }
    CSimulatedLink& Link() { return m_link; }
    CScriptedPrompt& Prompt() { return m_prompt; }

private:
    // Destroyed in reverse order: the window before the prompt and the link.
    CSimulatedLink m_link;
    CScriptedPrompt m_prompt;
    std::unique_ptr<CMainDlg> m_dlg;
};

// The write frames the simulated ESC has received.
int Writes(const CEscSimulator& sim) { return static_cast<int>(FramesWith(sim, 'w').size()); }

// The help text while no ESC is connected, the list and the commands that
// need an ESC once one is; Ctrl+Z and Ctrl+Shift+Z take an edit back and
// forth, Ctrl+R starts over and Ctrl+P opens the port setup.
TEST(MainDlgConnected, PageCommandsAndShortcutsFollowTheConnection)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    const int deviceCommands[] = {MainCommand::LoadParameters,  MainCommand::SaveParameters,
                                  MainCommand::Refresh,         MainCommand::RestoreDefaults,
                                  MainCommand::CompareWithFile, MainCommand::FirmwareUpdate,
                                  MainCommand::EraseLogger,     MainCommand::WriteLoggerImage,
                                  MainCommand::Curves,          MainCommand::MeasurementPanel};
    EXPECT_TRUE(dlg.HelpView()->isVisible());
    for (int command : deviceCommands)
        EXPECT_FALSE(dlg.Action(command)->isEnabled()) << command;

    ASSERT_TRUE(window.WaitConnected());
    EXPECT_TRUE(dlg.PropertyList()->isVisible());
    EXPECT_EQ(dlg.focusWidget(), dlg.PropertyList()) << "the keys go to the parameters";
    EXPECT_FALSE(dlg.HelpView()->isVisible());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("TORV - Brisko Pro 80 v 2.4"));
    EXPECT_EQ(dlg.LinkPaneText(), window.Link().PortName() + QStringLiteral(" 460800"));
    for (int command : deviceCommands)
        EXPECT_TRUE(dlg.Action(command)->isEnabled()) << command;
    EXPECT_TRUE(dlg.Action(MainCommand::Melodies)->isEnabled()) << "the full profile's ESC plays melodies";
    EXPECT_FALSE(dlg.Action(MainCommand::Undo)->isEnabled());

    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    CPropertyList& list = dlg.Controller().List();
    IProperty* timing = list.FindByItemData(CDeviceLibrary::ParameterOfCell(dlg.Controller().EscElement(), 7));
    ASSERT_NE(timing, nullptr);
    list.CommitValue(timing, QStringLiteral("20"), true);
    ASSERT_EQ(window.Link().Sim().Cell(7), 20);
    EXPECT_TRUE(dlg.Action(MainCommand::Undo)->isEnabled());
    QTest::keyClick(&dlg, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.Link().Sim().Cell(7), 15);
    EXPECT_TRUE(dlg.Action(MainCommand::Redo)->isEnabled());
    QTest::keyClick(&dlg, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window.Link().Sim().Cell(7), 20);

    QTest::keyClick(&dlg, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(dlg.MessagePaneText(), QStringLiteral("Waiting for ESC response..."));
    EXPECT_TRUE(dlg.HelpView()->isVisible());
    for (int command : deviceCommands)
        EXPECT_FALSE(dlg.Action(command)->isEnabled()) << command;
    EXPECT_FALSE(dlg.Action(MainCommand::Undo)->isEnabled());
    ASSERT_TRUE(window.WaitConnected());
    // The reconnect started from 19200 baud and raised the link again.
    EXPECT_EQ(dlg.LinkPaneText(), window.Link().PortName() + QStringLiteral(" 460800"));

    std::optional<CPortSetup::Settings> shown;
    dlg.SetPortSetupDialog([&](const CPortSetup::Settings& current) {
        shown = current;
        return CPortSetup::Settings{current.portName, -19200};
    });
    QTest::keyClick(&dlg, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ(shown->portName, window.Link().PortName());
    EXPECT_EQ(shown->speed, 19200) << "the setup shows its own bound, not the raised speed";
    ASSERT_TRUE(window.WaitConnected());
    EXPECT_EQ(dlg.LinkPaneText(), window.Link().PortName() + QStringLiteral(" 19200"));
}

TEST(MainDlgConnected, CompareListsTheDifferingSettingsSaysAMismatchFirstAndLoadsTheFile)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    dlg.Controller().Protocol().SetLimits(PatientLimits(2000));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pro80.escp"));
    window.Prompt().AnswerSaveFile(path);
    dlg.OnCommand(MainCommand::SaveParameters);
    QByteArray cells = TestFiles::Read(path);
    ASSERT_EQ(cells.size(), 128);
    cells[7] = 30;   // Timing (deg): 15
    cells[21] = 0;   // Reverse lockout: on
    TestFiles::Write(dir.path(), QStringLiteral("pro80.escp"), cells);

    // What the dialog shows; then it loads the file or is closed.
    std::vector<QStringList> rows;
    QString mismatch;
    bool mismatchFirst = false;
    bool load = true;
    dlg.SetCompareHook([&](CCompareDlg& compare) {
        rows.clear();
        for (int r = 0; r < compare.Table()->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < 3; ++c)
                row << compare.Table()->item(r, c)->text();
            rows.push_back(row);
        }
        mismatch = compare.Mismatch()->isHidden() ? QString() : compare.Mismatch()->text();
        mismatchFirst = compare.layout()->indexOf(compare.Mismatch()) < compare.layout()->indexOf(compare.Table());
        if (load)
            QTimer::singleShot(0, compare.LoadButton(), &QPushButton::click);
        else
            QTimer::singleShot(0, &compare, &QDialog::reject);
    });
    window.Prompt().AnswerOpenFile(path);
    dlg.OnCommand(MainCommand::CompareWithFile);
    EXPECT_EQ(rows, (std::vector<QStringList>{{"Timing (deg)", "15", "30"}, {"Reverse lockout", "on", "off"}}));
    EXPECT_TRUE(mismatch.isEmpty());
    // "Load this file" went on to the load.
    EXPECT_EQ(window.Link().Sim().Cell(7), 30);
    EXPECT_EQ(window.Link().Sim().Cell(21), 0);
    ASSERT_TRUE(WaitFor([&] { return dlg.Controller().Connected(); }, kDeadlineMs));
    EXPECT_TRUE(dlg.MessagePaneText().endsWith(QStringLiteral(" settings from ") + path)) << dlg.MessagePaneText().toStdString();

    cells[65] = static_cast<char>(cells[65] + 1);
    TestFiles::Write(dir.path(), QStringLiteral("pro80.escp"), cells);
    load = false;
    window.Prompt().AnswerOpenFile(path);
    dlg.OnCommand(MainCommand::CompareWithFile);
    EXPECT_TRUE(mismatch.startsWith(QStringLiteral("The ESC type and/or revision does not match"))) << mismatch.toStdString();
    EXPECT_TRUE(mismatchFirst);
}

TEST(MainDlgConnected, CurvesAndMelodiesOpenTheirDialogsWithTheRefreshTimerStopped)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    CEscSimulator& sim = window.Link().Sim();
    const QList<QAction*> entries = dlg.CurvesMenu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text(), QStringLiteral("Throttle curve"));
    EXPECT_EQ(entries[1]->text(), QStringLiteral("Brake curve"));

    QString title;
    bool refreshing = true;
    bool save = true;
    dlg.Curves().SetDialogHook([&](QDialog& dialog) {
        auto* curve = qobject_cast<CCurveDlg*>(&dialog);
        ASSERT_NE(curve, nullptr);
        title = curve->windowTitle();
        refreshing = dlg.Controller().RefreshTimerRunning();
        QMetaObject::invokeMethod(curve, [curve, &save] {
            QTest::keyClick(curve->Control(), Qt::Key_Up);
            curve->findChild<QPushButton*>(save ? "save" : "cancel")->click();
        }, Qt::QueuedConnection);
    });

    entries[1]->trigger();
    ASSERT_TRUE(WaitFor([&] { return !title.isEmpty(); }, kDeadlineMs));
    EXPECT_EQ(title, QStringLiteral("Curve - Brake curve"));
    EXPECT_FALSE(refreshing) << "no refresh runs under the dialog";
    EXPECT_EQ(sim.Cell(45), 12) << "the second point moved up by one";
    EXPECT_TRUE(dlg.Controller().RefreshTimerRunning());
    EXPECT_TRUE(dlg.MessagePaneText().startsWith(QStringLiteral("Wrote the curve \"Brake curve\"")))
        << dlg.MessagePaneText().toStdString();

    title.clear();
    save = false;
    sim.ClearFrames();
    dlg.OnCommand(MainCommand::Curves);
    EXPECT_EQ(title, QStringLiteral("Curve - Throttle curve"));
    EXPECT_EQ(Writes(sim), 0) << "Cancel writes nothing";
    EXPECT_EQ(sim.Cell(33), 26);

    ASSERT_TRUE(dlg.Controller().RefreshTimerRunning());
    bool shown = false;
    refreshing = true;
    QTimer::singleShot(0, &dlg, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* melodies = qobject_cast<CMelodyDlg*>(widget)) {
                shown = melodies->isVisible() && melodies->List()->topLevelItemCount() > 0;
                refreshing = dlg.Controller().RefreshTimerRunning();
                melodies->reject();
            }
        }
    });
    dlg.OnCommand(MainCommand::Melodies);
    EXPECT_TRUE(shown) << "the ESC's melody is listed";
    EXPECT_FALSE(refreshing);
    EXPECT_TRUE(dlg.Controller().RefreshTimerRunning());
}

// Escape in an open editor belongs to the editor: the edit is dropped,
// nothing is written to the ESC and the window stays; the next Escape closes.
TEST(MainDlgConnected, EscapeInAnEditorCancelsTheEditAndKeepsTheWindowOpen)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    const CPropertyList& list = dlg.Controller().List();
    const auto firstOfKind = [&list](uint8_t kind) {
        int index = 0;
        while (index < list.Count() && list.At(index)->Kind() != kind)
            ++index;
        return index;
    };

    for (const uint8_t kind : {IProperty::KindEdit, IProperty::KindSpinEdit, IProperty::KindList}) {
        const int index = firstOfKind(kind);
        ASSERT_LT(index, list.Count()) << "kind " << int(kind);
        const QString before = [&] { QString text; list.At(index)->GetDisplayText(text); return text; }();
        ASSERT_TRUE(dlg.PropertyList()->EditRow(index));
        window.Link().Sim().ClearFrames();
        if (kind == IProperty::KindList)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        else
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(dlg.PropertyList()->Editor(), nullptr) << "kind " << int(kind);
        EXPECT_EQ(Writes(window.Link().Sim()), 0) << "kind " << int(kind);
        ASSERT_TRUE(dlg.isVisible()) << "kind " << int(kind);
        ASSERT_TRUE(dlg.Controller().Connected());
        QString after;
        list.At(index)->GetDisplayText(after);
        EXPECT_EQ(after, before);
    }

    // An open drop-down: the first Escape closes it, the second cancels the
    // edit, the third closes the window.
    ASSERT_TRUE(dlg.PropertyList()->EditRow(firstOfKind(IProperty::KindList)));
    auto* combo = qobject_cast<QComboBox*>(dlg.PropertyList()->Editor());
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(WaitFor([popup] { return popup->isVisible(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([popup] { return !popup->isVisible(); }));
    EXPECT_EQ(dlg.PropertyList()->Editor(), combo) << "the edit goes on";
    ASSERT_TRUE(dlg.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(dlg.PropertyList()->Editor(), nullptr);
    EXPECT_EQ(Writes(window.Link().Sim()), 0);
    ASSERT_TRUE(dlg.isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

// Ctrl+D asks first, with No as the default answer; Yes writes every
// default, also those of a collapsed category, and the message pane says
// which parameters changed and which the ESC kept.
TEST(MainDlgConnected, RestoreDefaultsAsksFirstAndSaysWhatItChanged)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    CEscSimulator& sim = window.Link().Sim();
    sim.SetCell(7, 20);    // Timing (deg), default 15
    sim.SetCell(22, 1);    // Head speed (rpm) in the collapsed Governor category, default 2600
    sim.SetCell(23, 100);
    sim.SetCell(8, 5);     // Start power (%), default 4, in a cell that ignores writes
    sim.SetWriteProtected(8, true);
    sim.ClearFrames();

    window.Prompt().AnswerMessage(IPrompt::Answer::No);
    QTest::keyClick(&dlg, Qt::Key_D, Qt::ControlModifier);
    ASSERT_EQ(window.Prompt().Messages().size(), 1u);
    EXPECT_EQ(window.Prompt().Messages()[0].text,
              QStringLiteral("Restore the default value of every parameter?\r\n"
                             "The settings now in the ESC will be overwritten."));
    EXPECT_EQ(window.Prompt().Messages()[0].buttons, IPrompt::Buttons::YesNoDefaultNo);
    EXPECT_EQ(Writes(sim), 0);
    EXPECT_EQ(sim.Cell(7), 20);

    window.Prompt().AnswerMessage(IPrompt::Answer::Yes);
    QTest::keyClick(&dlg, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(sim.Cell(7), 15);
    EXPECT_EQ(256 * sim.Cell(22) + sim.Cell(23), 2600);
    EXPECT_EQ(dlg.MessagePaneText(),
              QStringLiteral("Defaults restored: 3 of 25 parameters changed (Timing (deg), Start power (%), "
                             "Head speed (rpm)). The ESC kept other values in: Start power (%)."));
    EXPECT_TRUE(dlg.Controller().Connected());
}

// A selected row's description shows in the message pane; its tooltip tells
// the description, range and default, and a value other than the default
// turns the row bold; Ctrl+K or "/" reach the filter, which narrows the list
// to matching rows under their categories.
TEST(MainDlgConnected, RowsExplainThemselvesAndTheFilterNarrowsTheList)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    CPropertyListCtrl& ctrl = *dlg.PropertyList();
    CPropertyList& list = dlg.Controller().List();
    IProperty* timing = list.FindByItemData(CDeviceLibrary::ParameterOfCell(dlg.Controller().EscElement(), 7));
    ASSERT_NE(timing, nullptr);
    const int index = list.IndexOf(timing);
    ASSERT_GE(index, 0);
    const QString description =
        QStringLiteral("Commutation advance in electrical degrees; more timing gives more speed and more heat");
    list.Select(index);
    EXPECT_EQ(dlg.MessagePaneText(), description);
    const QString tip = description + QStringLiteral("\nRange: 0 to 30 deg, step 1 deg\nDefault: 15 deg");
    EXPECT_EQ(ctrl.ToolTipAt(ctrl.NameRect(index).center()), tip);
    EXPECT_FALSE(ctrl.RowFont(timing).bold());

    ASSERT_TRUE(ctrl.EditRow(index));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("20"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(window.Link().Sim().Cell(7), 20);
    EXPECT_TRUE(ctrl.RowFont(timing).bold());
    EXPECT_EQ(ctrl.ToolTipAt(ctrl.ValueRect(index).center()), tip + QStringLiteral(" (changed)"));

    const auto shown = [&ctrl] {
        QStringList names;
        for (const IProperty* row : ctrl.ShownRows())
            names << row->Name();
        return names;
    };
    QTest::keyClick(&dlg, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), dlg.PropertyFilter());
    QTest::keyClicks(dlg.PropertyFilter(), QStringLiteral("brake"));
    EXPECT_EQ(shown(), QStringList({"Brake", "Brake force (%)", "Drag brake (%)", "Brake delay (ms)"}));
    QTest::keyClick(dlg.PropertyFilter(), Qt::Key_Escape);
    EXPECT_EQ(shown().size(), list.Count()) << "clearing shows every row again";
    QTest::keyClick(dlg.PropertyFilter(), Qt::Key_Escape);
    ASSERT_EQ(QApplication::focusWidget(), &ctrl);
    QTest::keyClick(&ctrl, Qt::Key_Slash);
    ASSERT_EQ(QApplication::focusWidget(), dlg.PropertyFilter());
    QTest::keyClicks(dlg.PropertyFilter(), QStringLiteral("POLE"));
    EXPECT_EQ(shown(), QStringList({"Motor", "Motor poles"}));
    EXPECT_EQ(dlg.PropertyFilter()->text(), QStringLiteral("POLE")) << "the slash itself is not typed";
}

// Closes the panel with OK once it has shown a record; what is seen meanwhile
// is kept. The hook runs before the dialog's own loop starts.
struct PanelRun {
    int linkSpeed = 0;
    bool refreshing = true;
    bool streamed = false;

    void Attach(CMainDlg& dlg, const QString& settingsPath, std::function<void(CPanelDlg&)> whileOpen = {})
    {
        dlg.Panel().SetSettingsPath(settingsPath);
        dlg.Panel().SetDialogHook([this, &dlg, whileOpen](CPanelDlg& panel) {
            panel.Stream().Collector().SetAnswerLimitMs(2000);
            QTimer::singleShot(0, &panel, [this, &dlg, &panel, whileOpen] {
                streamed = WaitFor([&] { return panel.Stream().RecordsHandled() > 0; }, kDeadlineMs);
                linkSpeed = dlg.Controller().Session().Port().LinkSpeed();
                refreshing = dlg.Controller().RefreshTimerRunning();
                if (whileOpen)
                    whileOpen(panel);
                panel.accept();
            });
        });
    }
};

TEST(MainDlgConnected, MeasurementPanelRunsOnTheRaisedLinkAndReturnsToThePreviousSpeed)
{
    ConnectedWindow window("full");
    CMainDlg& dlg = window.Dlg();
    ASSERT_TRUE(window.WaitConnected());
    QTemporaryDir dir;
    CDeviceProtocol& protocol = dlg.Controller().Protocol();
    // The window was left at 19200 baud, where the panel raises the link; with
    // the "default settings" bound nothing is raised and nothing switched back.
    for (const int stored : {19200, -19200}) {
        protocol.ChangeLinkSpeed(19200);
        protocol.SetStoredLinkSpeed(stored);
        ASSERT_EQ(window.Link().Port().LinkSpeed(), 19200);
        PanelRun run;
        run.Attach(dlg, dir.filePath(QStringLiteral("TORV.ini")));
        dlg.OnCommand(MainCommand::MeasurementPanel);
        ASSERT_TRUE(run.streamed) << stored;
        EXPECT_EQ(run.linkSpeed, stored > 0 ? 460800 : 19200) << stored;
        EXPECT_FALSE(run.refreshing) << stored;
        EXPECT_EQ(window.Link().Port().LinkSpeed(), 19200) << stored;
        EXPECT_TRUE(WaitFor([&] { return window.Link().Sim().DeviceBaud() == 19200; }, kDeadlineMs)) << stored;
        EXPECT_EQ(protocol.StoredLinkSpeed(), stored);
        EXPECT_TRUE(dlg.Controller().RefreshTimerRunning()) << stored;
        const auto frames = window.Link().ReceivedFrames();
        const auto last = std::find_if(frames.rbegin(), frames.rend(),
                                       [](const auto& f) { return f.size() == 5 && f[1] == 'T'; });
        ASSERT_NE(last, frames.rend());
        EXPECT_EQ((*last)[3], 1) << "the last request stops the motor";
    }
    // The window's own exchanges work again: the presence check finds the ESC.
    dlg.Controller().RefreshTick();
    EXPECT_TRUE(dlg.Controller().Connected());
}

// Pictures for the documentation: set TORV_SCREENSHOT_DIR to a folder to
// have every window the main window opens written there, at its default
// size, in a light and a dark theme.
TEST(MainDlgScreenshots, WritesEveryWindowInALightAndADarkTheme)
{
    const QString folder = Screenshots::Folder();
    if (folder.isEmpty())
        GTEST_SKIP() << "TORV_SCREENSHOT_DIR is not set";
    for (const Screenshots::Theme& theme : Screenshots::Themes()) {
        Screenshots::ThemeScope scope(theme);
        const auto save = [&](QWidget& widget, const char* name, QWidget* overlay = nullptr) {
            EXPECT_TRUE(Screenshots::Save(widget, folder, QString::fromLatin1(name), theme, overlay)) << name;
        };
        // Shoots a modal dialog of the window inside its own loop, then closes it.
        const auto shootDialog = [&](const char* name) {
            return [&save, name](QDialog& dialog) {
                QTimer::singleShot(0, &dialog, [&save, &dialog, name] {
                    save(dialog, name);
                    dialog.reject();
                });
            };
        };
        {
            // Two update files for the ESC in the firmware folder.
            QTemporaryDir updates;
            TestFiles::Write(updates.path(), QStringLiteral("brisko-2.4.upd"),
                             FirmwareTestSupport::UpdText(3, 2, "2.4", "Smoother start", FirmwareTestSupport::Image(288)));
            TestFiles::Write(updates.path(), QStringLiteral("brisko-2.5.upd"),
                             FirmwareTestSupport::UpdText(3, 2, "2.5", "Governor mode", FirmwareTestSupport::Image(288)));
            ConnectedWindow window("full", ConnectedWindow::Size::Default, updates.path());
            CMainDlg& dlg = window.Dlg();
            dlg.show();
            save(dlg, "main-help");
            ASSERT_TRUE(window.WaitConnected());
            dlg.Controller().List().Select(2);
            save(dlg, "main-connected-categories");

            // A row's tooltip, painted over the window where it shows.
            auto* list = dlg.findChild<CPropertyListCtrl*>();
            ASSERT_NE(list, nullptr);
            const QPoint at = list->NameRect(3).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &help);
            QWidget* tip = nullptr;
            WaitFor([&] {
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (widget->inherits("QTipLabel") && widget->isVisible())
                        tip = widget;
                return tip != nullptr;
            }, 2000);
            if (tip != nullptr)
                save(dlg, "main-tooltip", tip);

            CComPortSetupDlg setup(CPortSetup::Settings{window.Link().PortName(), 19200},
                                   QStringList{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyS0"),
                                               window.Link().PortName()},
                                   &dlg);
            setup.show();
            save(setup, "port-setup");
            setup.reject();

            std::vector<CAboutDlg::Device> devices;
            for (const SupportedDevice& device : dlg.Library().SupportedDevices())
                devices.push_back({device.name, device.url});
            CAboutDlg about(QStringLiteral("TORV"), QStringLiteral("0.1"), devices,
                            dlg.Library().VersionText().value_or(QString()), &dlg);
            about.show();
            save(about, "about");
            about.reject();

            dlg.Curves().SetDialogHook(shootDialog("curve"));
            dlg.OnCommand(MainCommand::Curves);
            dlg.Logger().SetDialogHook(shootDialog("erase"));
            dlg.OnCommand(MainCommand::EraseLoggerDialog);
            QTimer::singleShot(0, &dlg, [&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* melodies = qobject_cast<CMelodyDlg*>(widget)) {
                        WaitFor([&] { return melodies->List()->topLevelItemCount() > 0; }, kDeadlineMs);
                        save(*melodies, "melody");
                        melodies->reject();
                    }
                }
            });
            dlg.OnCommand(MainCommand::Melodies);
            dlg.OnCommand(MainCommand::FirmwareUpdate);
            if (CFirmwareSelectDlg* firmware = dlg.FirmwareDialog()) {
                firmware->FinishListing();
                if (firmware->List()->topLevelItemCount() > 0)
                    firmware->List()->topLevelItem(0)->setSelected(true);
                save(*firmware, "firmware");
                firmware->reject();
            }

            // The ESC's cells saved, two settings changed in the file, compared.
            const QString compared = updates.filePath(QStringLiteral("compare.escp"));
            window.Prompt().AnswerSaveFile(compared);
            dlg.OnCommand(MainCommand::SaveParameters);
            QByteArray cells = TestFiles::Read(compared);
            if (cells.size() == 128) {
                cells[7] = 30;
                cells[21] = 0;
                TestFiles::Write(updates.path(), QStringLiteral("compare.escp"), cells);
                dlg.SetCompareHook([&save](CCompareDlg& compare) {
                    QTimer::singleShot(0, &compare, [&save, &compare] {
                        save(compare, "compare");
                        compare.reject();
                    });
                });
                window.Prompt().AnswerOpenFile(compared);
                dlg.OnCommand(MainCommand::CompareWithFile);
            }
            EXPECT_EQ(cells.size(), 128) << "the parameter file for the compare shot";
        }
        {
            ConnectedWindow window("plain", ConnectedWindow::Size::Default);
            ASSERT_TRUE(window.WaitConnected());
            save(window.Dlg(), "main-connected-flat");
        }
        {
            // The panel streaming while a track plays and the Temp A input
            // swings, so that every trace moves.
            ConnectedWindow window("full", ConnectedWindow::Size::Default);
            ASSERT_TRUE(window.WaitConnected());
            QTemporaryDir dir;
            const QString track = TestFiles::Write(dir.path(), QStringLiteral("demo.tplay"),
                                                   "# demo\n1,1,230\n0.8,230,90\n1,90,200\n0.8,200,40\n1.5,40,160\n");
            CEscSimulator& sim = window.Link().Sim();
            PanelRun run;
            run.Attach(window.Dlg(), dir.filePath(QStringLiteral("TORV.ini")), [&](CPanelDlg& panel) {
                ASSERT_TRUE(panel.LoadTrack(track));
                panel.ToolBar()->Action(CTrackToolBar::Play)->trigger();
                const quint32 start = panel.Stream().ElapsedTicks();
                for (quint32 tick = 0; tick < 250; ++tick) {
                    sim.SetTempA(static_cast<uint16_t>(1800 + 1200 * std::sin(tick / 14.0)));
                    WaitFor([&] { return panel.Stream().ElapsedTicks() >= start + tick; }, kDeadlineMs);
                }
                save(panel, "panel");
            });
            window.Dlg().OnCommand(MainCommand::MeasurementPanel);
            EXPECT_TRUE(run.streamed);
        }
    }
}

}
