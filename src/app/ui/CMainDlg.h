#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "base/CTorvSettings.h"
#include "app/IMainView.h"
#include "app/IMainWindow.h"
#include "controls/CWindowPlacement.h"
#include "link/CPortSetup.h"

class CCompareDlg;
class CDeviceLibrary;
class CElidedLabel;
class CFirmwareSelectDlg;
class CHelpView;
class CMainController;
class CCurveUi;
class CLoggerUi;
class CPanelUi;
class CPropertyFilterEdit;
class CPropertyListCtrl;
class CSerialPort;
class CSynchroBytesCollector;
class IPrompt;
class QAction;
class QEventLoop;
class QLabel;
class QMenu;
class QStackedWidget;
class QToolBar;
class QToolButton;

// The program's single main window: a toolbar, the help text while no ESC is
// connected and the parameter list while one is, and a status bar with the
// link state and the message pane. The connection logic lives in
// CMainController; the window shows what it is told and dispatches commands.
class CMainDlg : public QMainWindow, public IMainWindow, public IMainView {
    Q_OBJECT
public:
    // The command that closes the window; also the result of its event loop.
    static constexpr int CloseCommand = 2;
    static constexpr int LinkPaneWidth = 200;
    // Longer titles are cut with "…": window systems refuse huge ones.
    static constexpr int MaxTitleLength = 200;
    // Lines the message pane may wrap to when the port cannot be opened.
    static constexpr int PortReasonLines = 4;

    // The window frame as the window manager has drawn it (none while it
    // has not yet framed the window).
    using FrameMargins = CWindowPlacement::FrameMargins;

    // Shows the port setup dialog; the confirmed settings, or nothing on Cancel.
    using PortSetupDialog = std::function<std::optional<CPortSetup::Settings>(const CPortSetup::Settings&)>;

    CMainDlg(const CTorvSettings& settings, std::unique_ptr<CDeviceLibrary> library, CSerialPort& port,
             CSynchroBytesCollector& shortCollector, IPrompt& prompt, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // Shows the window, starts the connection attempts and runs the event
    // loop until the window closes.
    int Run() override;
    CTorvSettings Settings() const override;

    // Shows the window and starts the connection attempts without running a
    // loop of its own (tests run their own).
    void Open();

    // Dispatches a command as the toolbar, a shortcut or the menu would.
    void OnCommand(int command);
    QAction* Action(int command) const;
    void SetPortSetupDialog(PortSetupDialog dialog) { m_portSetupDialog = std::move(dialog); }
    // Replaces the way the backup folder is opened (QDesktopServices::openUrl).
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }
    // Called with the compare dialog before it runs (tests drive it).
    void SetCompareHook(std::function<void(CCompareDlg&)> hook) { m_compareHook = std::move(hook); }
    // Replaces the frame reading (tests play a window manager with it).
    void SetFrameMargins(FrameMargins margins) { m_placement.SetFrameMargins(std::move(margins)); }

    CMainController& Controller() { return *m_controller; }
    CLoggerUi& Logger() { return *m_logger; }
    CCurveUi& Curves() { return *m_curves; }
    CPanelUi& Panel() { return *m_panel; }
    // The curve drop-down's menu (its entries open the curves).
    QMenu* CurvesMenu() const { return m_curvesMenu; }
    CDeviceLibrary& Library() { return *m_library; }
    CPropertyListCtrl* PropertyList() const { return m_propertyList; }
    CPropertyFilterEdit* PropertyFilter() const { return m_propertyFilter; }
    // The firmware dialog while it is open.
    CFirmwareSelectDlg* FirmwareDialog() const;
    CHelpView* HelpView() const { return m_helpView; }
    QString LinkPaneText() const;
    QString MessagePaneText() const;
    // The message pane's lines as they are drawn now.
    QStringList MessagePaneLines() const;

    // The smallest size the window can take, which is also its size when
    // no size is stored.
    static QSize MinimumClientSize();

    // IMainView
    void SetLinkState(LinkState state, const QString& text) override;
    void SetMessage(const QString& text) override;
    void SetTitle(const QString& title) override;
    void ShowParameterList(bool show) override;
    void SetListEnabled(bool enabled) override;
    void SetButtonEnabled(int command, bool enabled) override;
    void SetCurvesDropDown(bool dropDown) override;
    void PostCommand(int command) override;
    void SetBusy(bool busy) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildToolBar();
    void BuildStatusBar();
    void BuildShortcuts();
    void BuildMenuBar();
    // Enables the commands by the conditions under which they are handled.
    void UpdateCommandStates();
    void ShowKeyboardShortcuts();
    void ReloadIcons();
    void ShowHelp();
    void ShowCompare();
    // Says in the status bar what a finished action did (nothing when empty).
    void SayDone(const QString& text);
    QAction* AddCommand(int command, const QString& text, const QKeySequence& shortcut = {},
                        const QString& icon = {});
    void OnLoggerCommand(int command);
    void OpenCurve(int position);
    void ShowPortSetup();
    void ShowAbout();
    void ShowFirmwareDialog();
    void ShowMelodyDialog();
    // Ctrl+D: asks first (default No), writes every default, and says what changed.
    void RestoreDefaults();

    CTorvSettings m_settings;
    std::unique_ptr<CDeviceLibrary> m_library;
    IPrompt& m_prompt;
    CSerialPort& m_port;
    std::unique_ptr<CMainController> m_controller;
    std::unique_ptr<CLoggerUi> m_logger;
    std::unique_ptr<CCurveUi> m_curves;
    std::unique_ptr<CPanelUi> m_panel;

    std::map<int, QAction*> m_actions;
    QToolBar* m_toolBar = nullptr;
    QToolButton* m_curvesButton = nullptr;
    QMenu* m_curvesMenu = nullptr;
    QStackedWidget* m_stack = nullptr;
    CHelpView* m_helpView = nullptr;
    QPointer<CHelpView> m_helpWindow;
    std::function<void(const QUrl&)> m_openUrl;
    std::function<void(CCompareDlg&)> m_compareHook;
    bool m_busy = false;
    CPropertyListCtrl* m_propertyList = nullptr;
    CPropertyFilterEdit* m_propertyFilter = nullptr;
    QLabel* m_linkIcon = nullptr;
    LinkState m_linkState = LinkClosed;
    QLabel* m_linkText = nullptr;
    CElidedLabel* m_messagePane = nullptr;
    QString m_linkFullText;
    PortSetupDialog m_portSetupDialog;
    QPointer<CFirmwareSelectDlg> m_firmwareDlg;
    // The stored outer size, applied again once the window manager's frame is known.
    CWindowPlacement m_placement{*this};
    QPointer<QEventLoop> m_loop;
    bool m_closed = false;
};
