#pragma once

#include <QString>

#include <functional>

class CDeviceSession;
class CPanelDlg;
class IPrompt;
class IProtocolHost;
class QWidget;

// The main window's measurement panel command: copies the ESC's first
// cells, raises the link speed and stops the refresh timer for the length
// of the panel, runs it, and afterwards returns to the speed in use before
// (when it was raised) and restarts the refresh timer.
class CPanelUi {
public:
    CPanelUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent);

    // Runs the panel; the dialog's result, or 0 when the link was lost on
    // the way (the window reconnects then).
    int Open();

    // TORV.ini, where the recent track list is kept (by default the
    // settings file of the program's folder).
    void SetSettingsPath(const QString& path) { m_settingsPath = path; }
    // Tests look at the dialog before it runs.
    void SetDialogHook(std::function<void(CPanelDlg&)> hook) { m_dialogHook = std::move(hook); }

private:
    CDeviceSession& m_session;
    IProtocolHost& m_host;
    IPrompt& m_prompt;
    QWidget* m_parent;
    QString m_settingsPath;
    std::function<void(CPanelDlg&)> m_dialogHook;
};
