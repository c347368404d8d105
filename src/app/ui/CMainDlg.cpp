#include "app/ui/CMainDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/CMainCommands.h"
#include "app/CMainController.h"
#include "base/CTorvMessage.h"
#include "app/ui/CHelpView.h"
#include "controls/CElidedLabel.h"
#include "controls/CThemedIcon.h"
#include "firmware/ui/CFirmwareSelectDlg.h"
#include "controls/CPropertyFilterEdit.h"
#include "controls/CPropertyListCtrl.h"
#include "library/CDeviceLibrary.h"
#include "library/CParameterModel.h"
#include "library/CBackupFolder.h"
#include "library/ui/CAboutDlg.h"
#include "library/ui/CCompareDlg.h"
#include "link/CSerialPort.h"
#include "link/ui/CComPortSetupDlg.h"
#include "logger/ui/CCurveUi.h"
#include "logger/ui/CLoggerUi.h"
#include "melody/CMelodyCells.h"
#include "melody/midi/CRtMidiOut.h"
#include "melody/ui/CMelodyDlg.h"
#include "panel/ui/CPanelUi.h"

namespace {
constexpr int kStateIconSize = 16;
constexpr char kIconProperty[] = "torvIcon";

QString StateIcon(IMainView::LinkState state)
{
    switch (state) {
    case IMainView::LinkConnected:
        return QStringLiteral(":/icons/link-connected.svg");
    case IMainView::LinkWaiting:
        return QStringLiteral(":/icons/link-waiting.svg");
    case IMainView::LinkClosed:
        break;
    }
    return QStringLiteral(":/icons/link-closed.svg");
}
}

CMainDlg::CMainDlg(const CTorvSettings& settings, std::unique_ptr<CDeviceLibrary> library, CSerialPort& port,
                   CSynchroBytesCollector& shortCollector, IPrompt& prompt, QWidget* parent)
    : QMainWindow(parent),
      m_settings(settings),
      m_library(library != nullptr ? std::move(library) : std::make_unique<CDeviceLibrary>()),
      m_prompt(prompt),
      m_port(port)
{
    Q_INIT_RESOURCE(resources);
    setObjectName(QStringLiteral("mainDlg"));
    setWindowTitle(tr("TORV"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/torv.svg")));

    m_stack = new QStackedWidget(this);
    m_helpView = new CHelpView(m_stack);
    m_helpView->setObjectName(QStringLiteral("helpView"));
    m_openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    // The parameter page: the filter field above the list.
    auto* listPage = new QWidget(m_stack);
    m_propertyList = new CPropertyListCtrl(listPage);
    m_propertyList->setObjectName(QStringLiteral("propertyList"));
    // The controller beeps through the prompt interface for refused values.
    m_propertyList->SetBeep({});
    m_propertyFilter = new CPropertyFilterEdit(m_propertyList, listPage);
    auto* listLayout = new QVBoxLayout(listPage);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(2);
    listLayout->addWidget(m_propertyFilter);
    listLayout->addWidget(m_propertyList, 1);
    m_stack->addWidget(m_helpView);
    m_stack->addWidget(listPage);
    setCentralWidget(m_stack);

    BuildToolBar();
    BuildStatusBar();
    BuildShortcuts();
    BuildMenuBar();

    m_controller = std::make_unique<CMainController>(port, shortCollector, *m_library, m_prompt, *this);
    m_controller->SetPortName(m_settings.port);
    m_controller->SetSaveFolder(m_settings.saveFolder);
    m_propertyList->SetList(&m_controller->List());
    m_logger = std::make_unique<CLoggerUi>(m_controller->Session(), *m_controller, m_prompt, this);
    m_logger->SetSaveFolderSource([this] { return m_controller->SaveFolder(); });
    m_logger->SetChartGuards([this] { m_controller->PauseConnectTimer(); },
                             [this] { m_controller->ResumeConnectTimer(); });
    m_curves = std::make_unique<CCurveUi>(m_controller->Session(), *m_controller, m_prompt, this);
    m_panel = std::make_unique<CPanelUi>(m_controller->Session(), *m_controller, m_prompt, this);
    // An edit is an undo step once the controller has written it.
    connect(&m_controller->List(), &CPropertyList::notify, this, [this] { UpdateCommandStates(); });

    setMinimumSize(MinimumClientSize());
    resize(MinimumClientSize());
    UpdateCommandStates();
}

CMainDlg::~CMainDlg()
{
    m_propertyList->SetList(nullptr);
}

QSize CMainDlg::MinimumClientSize()
{
    return QSize(460, 440);
}

QAction* CMainDlg::AddCommand(int command, const QString& text, const QKeySequence& shortcut, const QString& icon)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QStringLiteral("command%1").arg(command));
    if (!icon.isEmpty()) {
        action->setIcon(CThemedIcon::Load(icon));
        // Kept so that a change of the desktop's light or dark theme can
        // draw the icon anew.
        action->setProperty(kIconProperty, icon);
    }
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText)));
    }
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    addAction(action);
    m_actions[command] = action;
    return action;
}

void CMainDlg::BuildToolBar()
{
    m_toolBar = addToolBar(tr("Commands"));
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(24, 24));

    m_toolBar->addAction(AddCommand(MainCommand::LoadParameters, tr("Load settings from file"),
                                    QKeySequence(Qt::CTRL | Qt::Key_O), QStringLiteral(":/icons/load-parameters.svg")));
    m_toolBar->addAction(AddCommand(MainCommand::SaveParameters, tr("Save settings to file"),
                                    QKeySequence(Qt::CTRL | Qt::Key_S), QStringLiteral(":/icons/save-parameters.svg")));
    m_toolBar->addAction(AddCommand(MainCommand::PortSetup, tr("Port Setup..."),
                                    QKeySequence(Qt::CTRL | Qt::Key_P), QStringLiteral(":/icons/port-setup.svg")));
    m_actions[MainCommand::PortSetup]->setToolTip(tr("Connection setup (Ctrl+P)"));
    m_toolBar->addAction(AddCommand(MainCommand::Logs, tr("Logs: download, files and chart"),
                                    QKeySequence(Qt::CTRL | Qt::Key_L), QStringLiteral(":/icons/logs.svg")));
    QAction* panel = AddCommand(MainCommand::MeasurementPanel, tr("Measurement panel"), {},
                                QStringLiteral(":/icons/measurement-panel.svg"));
    panel->setToolTip(tr("Measurement panel"));
    m_toolBar->addAction(panel);
    QAction* erase = AddCommand(MainCommand::EraseLoggerDialog, tr("Erase logger memory"), {},
                                QStringLiteral(":/icons/erase-logger.svg"));
    erase->setToolTip(tr("Erase logger memory"));
    m_toolBar->addAction(erase);
    QAction* curves = AddCommand(MainCommand::Curves, tr("Curves"), {}, QStringLiteral(":/icons/curves.svg"));
    curves->setToolTip(tr("Curves"));
    m_toolBar->addAction(curves);
    m_curvesButton = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(curves));
    m_curvesMenu = new QMenu(this);
    m_curvesMenu->setObjectName(QStringLiteral("curvesMenu"));

    // The items the program adds to the system menu on other desktops.
    m_toolBar->addSeparator();
    auto* more = new QToolButton(m_toolBar);
    more->setObjectName(QStringLiteral("systemMenuButton"));
    more->setText(QStringLiteral("\u2630"));
    more->setToolTip(tr("Menu"));
    more->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(more);
    menu->addAction(m_actions[MainCommand::PortSetup]);
    menu->setObjectName(QStringLiteral("systemMenu"));
    // The menus show the shortcut beside the text the platform's way ("Ctrl+P").
    menu->addAction(AddCommand(MainCommand::About, tr("About TORV..."), QKeySequence(Qt::CTRL | Qt::Key_A)));
    more->setMenu(menu);
    m_toolBar->addWidget(more);
}

void CMainDlg::BuildStatusBar()
{
    auto* linkPane = new QWidget(this);
    linkPane->setObjectName(QStringLiteral("linkStatePane"));
    linkPane->setFixedWidth(LinkPaneWidth);
    auto* layout = new QHBoxLayout(linkPane);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(4);
    m_linkIcon = new QLabel(linkPane);
    m_linkIcon->setObjectName(QStringLiteral("linkStateIcon"));
    m_linkText = new QLabel(QStringLiteral(" "), linkPane);
    m_linkText->setObjectName(QStringLiteral("linkStateText"));
    layout->addWidget(m_linkIcon);
    layout->addWidget(m_linkText, 1);
    // A long message must not widen the window: it is cut with "…" and the
    // tooltip has it whole.
    m_messagePane = new CElidedLabel(this);
    m_messagePane->setObjectName(QStringLiteral("messagePane"));
    statusBar()->addWidget(linkPane);
    statusBar()->addWidget(m_messagePane, 1);
    statusBar()->setSizeGripEnabled(true);
    SetLinkState(LinkClosed, QStringLiteral(" "));
}

void CMainDlg::BuildShortcuts()
{
    AddCommand(MainCommand::Refresh, tr("Refresh parameters"), QKeySequence(Qt::CTRL | Qt::Key_R));
    AddCommand(MainCommand::RestoreDefaults, tr("Restore defaults"), QKeySequence(Qt::CTRL | Qt::Key_D));
    AddCommand(MainCommand::LibraryUpdate, tr("Updates check-in"), QKeySequence(Qt::CTRL | Qt::Key_U));
    AddCommand(MainCommand::FirmwareUpdate, tr("Update firmware"), QKeySequence(Qt::CTRL | Qt::Key_F));
    AddCommand(MainCommand::EraseLogger, tr("Erase logger memory"), QKeySequence(Qt::CTRL | Qt::Key_E));
    AddCommand(MainCommand::WriteLoggerImage, tr("Write a memory image into the logger"),
               QKeySequence(Qt::CTRL | Qt::Key_M));
    AddCommand(MainCommand::Melodies, tr("Melodies"), QKeySequence(Qt::CTRL | Qt::Key_Y));
    AddCommand(MainCommand::Close, tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Escape closes the window too, as it always has.
    m_actions[MainCommand::Close]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::Key_Escape)});
    AddCommand(MainCommand::OpenLogFile, tr("Open log file..."));
    AddCommand(MainCommand::CompareWithFile, tr("Compare with a file..."));
    AddCommand(MainCommand::OpenBackupFolder, tr("Open backup folder"));
    AddCommand(MainCommand::Undo, tr("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    AddCommand(MainCommand::Redo, tr("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    AddCommand(MainCommand::Help, tr("Help"), QKeySequence(Qt::Key_F1));
    AddCommand(MainCommand::KeyboardShortcuts, tr("Keyboard shortcuts"));
}

void CMainDlg::BuildMenuBar()
{
    struct Entry {
        int command;   // 0: a separator
        const char* text;
    };
    const auto addMenu = [this](const QString& title, const QString& name, std::initializer_list<Entry> entries) {
        QMenu* menu = menuBar()->addMenu(title);
        menu->setObjectName(name);
        for (const Entry& entry : entries) {
            if (entry.command == 0) {
                menu->addSeparator();
                continue;
            }
            // The menu names the command in words of its own; the toolbar
            // keeps its tooltip.
            QAction* action = m_actions.at(entry.command);
            const QString tip = action->toolTip();
            action->setText(tr(entry.text));
            action->setToolTip(tip);
            menu->addAction(action);
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainDlg::UpdateCommandStates);
    };
    addMenu(tr("&File"), QStringLiteral("fileMenu"),
            {{MainCommand::LoadParameters, QT_TR_NOOP("&Load settings from file...")},
             {MainCommand::SaveParameters, QT_TR_NOOP("&Save settings to file...")},
             {MainCommand::CompareWithFile, QT_TR_NOOP("&Compare with a file...")},
             {0, nullptr},
             {MainCommand::OpenLogFile, QT_TR_NOOP("Open log &file...")},
             {MainCommand::WriteLoggerImage, QT_TR_NOOP("&Write memory image...")},
             {0, nullptr},
             {MainCommand::OpenBackupFolder, QT_TR_NOOP("Open &backup folder")},
             {0, nullptr},
             {MainCommand::Close, QT_TR_NOOP("&Quit")}});
    addMenu(tr("&ESC"), QStringLiteral("escMenu"),
            {{MainCommand::Undo, QT_TR_NOOP("&Undo")},
             {MainCommand::Redo, QT_TR_NOOP("Re&do")},
             {0, nullptr},
             {MainCommand::Refresh, QT_TR_NOOP("&Refresh parameters")},
             {MainCommand::RestoreDefaults, QT_TR_NOOP("Restore &defaults...")},
             {0, nullptr},
             {MainCommand::FirmwareUpdate, QT_TR_NOOP("&Firmware update...")},
             {MainCommand::Melodies, QT_TR_NOOP("&Melodies...")},
             {MainCommand::Curves, QT_TR_NOOP("&Curves...")},
             {0, nullptr},
             {MainCommand::PortSetup, QT_TR_NOOP("&Port Setup...")}});
    addMenu(tr("&Logger"), QStringLiteral("loggerMenu"),
            {{MainCommand::Logs, QT_TR_NOOP("&Download logger memory...")},
             {MainCommand::EraseLogger, QT_TR_NOOP("&Erase logger memory...")}});
    addMenu(tr("&Tools"), QStringLiteral("toolsMenu"),
            {{MainCommand::MeasurementPanel, QT_TR_NOOP("&Measurement panel...")},
             {MainCommand::LibraryUpdate, QT_TR_NOOP("&Library update...")}});
    addMenu(tr("&Help"), QStringLiteral("helpMenu"),
            {{MainCommand::Help, QT_TR_NOOP("&Help")},
             {MainCommand::KeyboardShortcuts, QT_TR_NOOP("&Keyboard shortcuts")},
             {0, nullptr},
             {MainCommand::About, QT_TR_NOOP("&About TORV...")}});
}

void CMainDlg::UpdateCommandStates()
{
    // The commands without a toolbar button of their own follow the
    // conditions under which the window handles them; the toolbar's buttons
    // keep the rules the connection sets for them.
    static constexpr int kConditional[] = {
        MainCommand::Refresh,         MainCommand::RestoreDefaults, MainCommand::FirmwareUpdate,
        MainCommand::Melodies,        MainCommand::EraseLogger,     MainCommand::WriteLoggerImage,
        MainCommand::CompareWithFile,
    };
    for (int command : kConditional)
        m_actions.at(command)->setEnabled(m_controller->IsCommandAvailable(command));
    m_actions.at(MainCommand::Undo)->setEnabled(m_controller->CanUndo());
    m_actions.at(MainCommand::Redo)->setEnabled(m_controller->CanRedo());
}

void CMainDlg::ShowKeyboardShortcuts()
{
    // Made from the commands themselves, so that no shortcut is left out.
    QStringList lines;
    for (const auto& [command, action] : m_actions) {
        if (action->shortcut().isEmpty())
            continue;
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        lines << QStringLiteral("%1: %2").arg(keys.join(QStringLiteral(", ")), QString(action->text()).remove(QLatin1Char('&')));
    }
    lines.sort();
    m_prompt.Message(tr("Keyboard shortcuts:\n\n") + lines.join(QLatin1Char('\n')), QStringLiteral("TORV"),
                     IPrompt::Icon::Information, IPrompt::Buttons::Ok);
}

void CMainDlg::ShowHelp()
{
    // The help text in a window of its own, also while the parameter list
    // covers the one in the main window.
    if (m_helpWindow == nullptr) {
        m_helpWindow = new CHelpView(this);
        m_helpWindow->setObjectName(QStringLiteral("helpWindow"));
        m_helpWindow->setWindowFlag(Qt::Window);
        m_helpWindow->setWindowTitle(tr("TORV Help"));
        m_helpWindow->resize(MinimumClientSize());
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

QAction* CMainDlg::Action(int command) const
{
    const auto found = m_actions.find(command);
    return found != m_actions.end() ? found->second : nullptr;
}

void CMainDlg::Open()
{
    show();
    if (m_settings.cx != -1 && m_settings.cy != -1)
        m_placement.Place(QSize(m_settings.cx, m_settings.cy));
    else
        m_placement.Place(std::nullopt);
    m_controller->Open();
}

int CMainDlg::Run()
{
    Open();
    QEventLoop loop;
    m_loop = &loop;
    const int result = m_closed ? CloseCommand : loop.exec();
    m_loop = nullptr;
    return result;
}

CTorvSettings CMainDlg::Settings() const
{
    CTorvSettings settings = m_settings;
    settings.port = m_controller->PortName();
    settings.saveFolder = m_controller->SaveFolder();
    return settings;
}

void CMainDlg::OnCommand(int command)
{
    switch (command) {
    case MainCommand::Close:
        close();
        return;
    case MainCommand::PortSetup:
        ShowPortSetup();
        return;
    case MainCommand::About:
        ShowAbout();
        return;
    case MainCommand::Help:
        ShowHelp();
        return;
    case MainCommand::KeyboardShortcuts:
        ShowKeyboardShortcuts();
        return;
    case MainCommand::OpenLogFile:
        m_logger->OpenLogFile();
        return;
    case MainCommand::CompareWithFile:
        ShowCompare();
        return;
    case MainCommand::OpenBackupFolder: {
        const QString folder = CBackupFolder::Path();
        QDir().mkpath(folder);
        m_openUrl(QUrl::fromLocalFile(folder));
        return;
    }
    case MainCommand::Undo:
        m_controller->Undo();
        UpdateCommandStates();
        return;
    case MainCommand::Redo:
        m_controller->Redo();
        UpdateCommandStates();
        return;
    case MainCommand::FirmwareUpdate:
        ShowFirmwareDialog();
        return;
    case MainCommand::LibraryUpdate:
        // The check is synchronous: a wait cursor while the network runs,
        // the normal one under the questions.
        m_controller->UpdateLibrary(m_settings.escFile, [](bool busy) {
            if (busy)
                QApplication::setOverrideCursor(Qt::WaitCursor);
            else
                QApplication::restoreOverrideCursor();
        });
        return;
    case MainCommand::Logs:
    case MainCommand::WriteLoggerImage:
    case MainCommand::EraseLogger:
    case MainCommand::EraseLoggerDialog:
        OnLoggerCommand(command);
        return;
    case MainCommand::Curves:
        OpenCurve(1);
        return;
    case MainCommand::Melodies:
        ShowMelodyDialog();
        return;
    case MainCommand::RestoreDefaults:
        RestoreDefaults();
        return;
    case MainCommand::MeasurementPanel:
        // Live values need the connected ESC with an onboard logger.
        if (m_controller->Connected() && m_controller->IsCommandAvailable(command))
            m_panel->Open();
        return;
    default:
        m_controller->HandleCommand(command);
        return;
    }
}

void CMainDlg::OnLoggerCommand(int command)
{
    if (!m_controller->IsCommandAvailable(command))
        return;
    switch (command) {
    case MainCommand::Logs:
        // Without logger data to download the command opens a log file.
        if (!m_logger->DownloadAndShow())
            m_logger->OpenLogFile();
        break;
    case MainCommand::WriteLoggerImage:
        SayDone(m_logger->WriteImage(m_controller->SaveFolder()));
        break;
    default:
        SayDone(m_logger->Erase(command == MainCommand::EraseLoggerDialog));
        SetButtonEnabled(MainCommand::EraseLoggerDialog, false);
        break;
    }
}

void CMainDlg::OpenCurve(int position)
{
    // The curves are read from the device shown as connected.
    if (m_controller->Connected() && m_controller->IsCommandAvailable(MainCommand::Curves)) {
        m_curves->Open(position);
        SayDone(m_curves->Outcome());
    }
}

void CMainDlg::SayDone(const QString& text)
{
    // What a finished action did stays in the status bar.
    if (!text.isEmpty())
        SetMessage(text);
}

void CMainDlg::SetBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Paint over what a closed file dialog left, before the device work
        // blocks the event loop.
        repaint();
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void CMainDlg::ShowCompare()
{
    const std::optional<CMainController::Comparison> comparison = m_controller->CompareWithFile();
    if (!comparison)
        return;
    int result = QDialog::Rejected;
    {
        CCompareDlg dialog(comparison->path, comparison->identityMismatch, comparison->changes, this);
        if (m_compareHook)
            m_compareHook(dialog);
        result = dialog.exec();
    }
    if (result == CCompareDlg::ResultLoad)
        m_controller->LoadFile(comparison->path);
    UpdateCommandStates();
}

void CMainDlg::ShowMelodyDialog()
{
    if (!m_controller->IsCommandAvailable(MainCommand::Melodies))
        return;
    m_controller->StopRefreshTimer();
    {
        CMelodyCells cells(m_controller->Session());
        CMelodyDlg dialog(m_settings.melodiesFolder, cells, m_prompt, &CRtMidiOut::Open, this);
        dialog.exec();
        SayDone(dialog.Outcome());
    }
    m_controller->RestartRefreshTimer();
}

void CMainDlg::RestoreDefaults()
{
    // Only while connected.
    if (!m_controller->IsCommandAvailable(MainCommand::RestoreDefaults))
        return;
    const QString question = tr("Restore the default value of every parameter?\r\n"
                                "The settings now in the ESC will be overwritten.");
    if (m_prompt.Message(question, QStringLiteral("TORV"), IPrompt::Icon::Question, IPrompt::Buttons::YesNoDefaultNo) !=
        IPrompt::Answer::Yes)
        return;
    const CParameterModel::RestoreReport report = m_controller->RestoreDefaults();
    UpdateCommandStates();
    if (!report.failedAt.isEmpty()) {
        SetMessage(tr("Restoring the defaults stopped at \"%1\".").arg(report.failedAt));
        m_prompt.Message(tr("Restoring the defaults stopped at \"%1\": the ESC did not answer.\r\n"
                            "The list shows the values read before; check the connection and try again.")
                             .arg(report.failedAt),
                         QStringLiteral("TORV"), IPrompt::Icon::Warning, IPrompt::Buttons::Ok);
        return;
    }
    QString text = report.changed.isEmpty()
                       ? tr("Defaults restored: the %1 parameters had their default values already.")
                             .arg(report.restored)
                       : tr("Defaults restored: %1 of %2 parameters changed (%3).")
                             .arg(report.changed.size())
                             .arg(report.restored)
                             .arg(report.changed.join(QStringLiteral(", ")));
    if (!report.refused.isEmpty())
        text += QLatin1Char(' ') + tr("The ESC kept other values in: %1.").arg(report.refused.join(QStringLiteral(", ")));
    SetMessage(text);
}

void CMainDlg::ShowPortSetup()
{
    const CPortSetup::Settings current{m_controller->PortName(), m_controller->Protocol().SetupLinkSpeed()};
    std::optional<CPortSetup::Settings> chosen;
    if (m_portSetupDialog) {
        chosen = m_portSetupDialog(current);
    } else {
        CComPortSetupDlg dialog(current, this);
        if (dialog.exec() == QDialog::Accepted)
            chosen = dialog.Result();
    }
    if (chosen)
        m_controller->ApplyPortSetup(chosen->portName, chosen->speed);
}

CFirmwareSelectDlg* CMainDlg::FirmwareDialog() const
{
    return m_firmwareDlg;
}

void CMainDlg::ShowFirmwareDialog()
{
    if (m_firmwareDlg != nullptr || !m_controller->PrepareFirmwareUpdate())
        return;
    // Modal over the window from opening to closing: no other device
    // operation can start while the boot loader is being written.
    m_firmwareDlg = new CFirmwareSelectDlg(static_cast<int>(m_controller->DeviceIdentifier()),
                                           static_cast<int>(m_controller->HardwareVersion()), m_settings.firmwareFolder,
                                           m_port, m_controller->Protocol(), m_prompt, this);
    m_firmwareDlg->setAttribute(Qt::WA_DeleteOnClose);
    const CDeviceProtocol::Identity& identity = m_controller->Session().Identity();
    m_firmwareDlg->SetCurrentFirmware(identity.major, identity.minor, identity.hardware);
    connect(m_firmwareDlg, &QDialog::finished, this, [this] {
        if (m_firmwareDlg != nullptr && m_firmwareDlg->Uploaded())
            m_controller->ReportFirmwareAfterReconnect();
        // The ESC has a new firmware, or sits in its boot loader: connect and
        // identify it afresh.
        TorvMessages::Post(QPointer<QObject>(this), TorvMessages::CleanAndReconnect(), 0, 0);
    });
    m_firmwareDlg->show();
}

void CMainDlg::ShowAbout()
{
    std::vector<CAboutDlg::Device> devices;
    for (const SupportedDevice& device : m_library->SupportedDevices())
        devices.push_back({device.name, device.url});
    CAboutDlg about(QStringLiteral("TORV"), QStringLiteral(TORV_VERSION), devices,
                    m_library->VersionText().value_or(QString()), this);
    about.exec();
}

QString CMainDlg::LinkPaneText() const
{
    return m_linkFullText;
}

QString CMainDlg::MessagePaneText() const
{
    return m_messagePane->Text();
}

QStringList CMainDlg::MessagePaneLines() const
{
    return m_messagePane->ShownLines();
}

void CMainDlg::SetLinkState(LinkState state, const QString& text)
{
    m_linkState = state;
    m_linkIcon->setPixmap(CThemedIcon::Load(StateIcon(state)).pixmap(kStateIconSize, kStateIconSize));
    // Long device paths are cut in the middle so that the speed stays in view;
    // the tooltip shows the whole text.
    m_linkFullText = text;
    const int room = LinkPaneWidth - kStateIconSize - 12;
    m_linkText->setText(m_linkText->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    m_linkText->setToolTip(text);
    // The reason why the port cannot be opened, and what to do about it, is
    // the only message of the closed state: it wraps rather than being cut.
    m_messagePane->SetMaxLines(state == LinkClosed ? PortReasonLines : 1);
    const bool connected = state == LinkConnected;
    m_actions[MainCommand::LoadParameters]->setEnabled(connected);
    m_actions[MainCommand::SaveParameters]->setEnabled(connected);
    if (m_controller)
        UpdateCommandStates();
}

void CMainDlg::SetMessage(const QString& text)
{
    m_messagePane->SetText(text);
}

void CMainDlg::SetTitle(const QString& title)
{
    // The title carries the device name from the library, which may be of
    // any length; the window system refuses a title of megabytes.
    if (title.size() <= MaxTitleLength) {
        setWindowTitle(title);
        return;
    }
    qsizetype kept = MaxTitleLength - 1;
    if (title.at(kept - 1).isHighSurrogate())
        --kept;
    setWindowTitle(title.left(kept) + QChar(0x2026));
}

void CMainDlg::ShowParameterList(bool show)
{
    m_stack->setCurrentWidget(show ? m_propertyList->parentWidget() : m_helpView);
    m_propertyList->setEnabled(show);
    m_helpView->setEnabled(!show);
    // The keys go to the parameters once they are shown.
    if (show)
        m_propertyList->setFocus(Qt::OtherFocusReason);
}

void CMainDlg::SetListEnabled(bool enabled)
{
    m_propertyList->setEnabled(enabled);
}

void CMainDlg::SetButtonEnabled(int command, bool enabled)
{
    if (QAction* action = Action(command))
        action->setEnabled(enabled);
}

void CMainDlg::SetCurvesDropDown(bool dropDown)
{
    if (m_curvesButton == nullptr)
        return;
    m_curvesMenu->clear();
    if (dropDown) {
        for (const CCurveUi::MenuEntry& entry : CCurveUi::MenuEntries(m_controller->EscElement())) {
            const int position = entry.position;
            // Opened once the menu has closed, not from inside its loop.
            connect(m_curvesMenu->addAction(entry.name), &QAction::triggered, this,
                    [this, position] { QMetaObject::invokeMethod(this, [this, position] { OpenCurve(position); },
                                                                 Qt::QueuedConnection); });
        }
    }
    m_curvesButton->setMenu(dropDown ? m_curvesMenu : nullptr);
    m_curvesButton->setPopupMode(dropDown ? QToolButton::MenuButtonPopup : QToolButton::DelayedPopup);
}

void CMainDlg::PostCommand(int command)
{
    // The connection may have taken a device for its firmware only.
    UpdateCommandStates();
    QMetaObject::invokeMethod(this, [this, command] { OnCommand(command); }, Qt::QueuedConnection);
}

bool CMainDlg::event(QEvent* event)
{
    if (event->type() == TorvMessages::CleanAndReconnect()) {
        m_controller->CleanAndReconnect(true);
        return true;
    }
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::PaletteChange)
        ReloadIcons();
    // A window manager frames the window some time after it is shown; the
    // stored outer size and the centring take the frame once known.
    m_placement.OnEvent(*event);
    return handled;
}

// The icons are drawn for a light or a dark window: after the desktop's
// theme changes they are drawn again for the new palette.
void CMainDlg::ReloadIcons()
{
    for (QAction* action : actions()) {
        const QString icon = action->property(kIconProperty).toString();
        if (!icon.isEmpty())
            action->setIcon(CThemedIcon::Load(icon, palette()));
    }
    if (m_linkIcon != nullptr)
        m_linkIcon->setPixmap(
            CThemedIcon::Load(StateIcon(m_linkState), palette()).pixmap(kStateIconSize, kStateIconSize));
}

void CMainDlg::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        m_placement.Finish();
        // Leaving the link returns the ESC to 19200 baud.
        m_controller->Close();
        const QSize outer = m_placement.OuterSize();
        m_settings.cx = outer.width();
        m_settings.cy = outer.height();
        m_closed = true;
    }
    event->accept();
    if (m_loop != nullptr)
        m_loop->exit(CloseCommand);
}
