#pragma once

#include <QString>

// What the connection logic shows in the main window. The window implements
// it; the logic never touches a widget.
class IMainView {
public:
    enum LinkState { LinkClosed = 0, LinkWaiting = 1, LinkConnected = 2 };

    virtual ~IMainView() = default;

    // Pane 0 of the status bar (icon and text) and the enabled state of the
    // load and save buttons, which follow the link state.
    virtual void SetLinkState(LinkState state, const QString& text) = 0;
    // Pane 1 of the status bar.
    virtual void SetMessage(const QString& text) = 0;
    virtual void SetTitle(const QString& title) = 0;
    // The parameter list while an ESC is connected, the help text otherwise.
    virtual void ShowParameterList(bool show) = 0;
    virtual void SetListEnabled(bool enabled) = 0;
    // Toolbar buttons that the connection state switches.
    virtual void SetButtonEnabled(int command, bool enabled) = 0;
    virtual void SetCurvesDropDown(bool dropDown) = 0;
    // Queues a command to the window, as a posted command message would.
    virtual void PostCommand(int command) = 0;
    // A long device operation runs (a busy cursor) or has ended.
    virtual void SetBusy(bool busy) { (void)busy; }
};
