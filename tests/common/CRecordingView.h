#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <vector>

#include "app/IMainView.h"

// Remembers what the connection logic shows, for tests that run it without
// a window.
class CRecordingView : public IMainView {
public:
    void SetLinkState(LinkState state, const QString& text) override
    {
        linkState = state;
        linkText = text;
    }
    void SetMessage(const QString& text) override
    {
        message = text;
        messages << text;
        if (onMessage)
            onMessage(text);
    }
    void SetTitle(const QString& text) override
    {
        title = text;
        if (onTitle)
            onTitle(text);
    }
    void ShowParameterList(bool show) override { listShown = show; }
    void SetListEnabled(bool enabled) override { listEnabled = enabled; }
    void SetButtonEnabled(int command, bool enabled) override { buttons[command] = enabled; }
    void SetCurvesDropDown(bool dropDown) override { curvesDropDown = dropDown; }
    void PostCommand(int command) override { postedCommands.push_back(command); }
    void SetBusy(bool on) override { busy.push_back(on); }

    LinkState linkState = LinkClosed;
    QString linkText;
    QString message;
    QStringList messages;
    QString title;
    bool listShown = false;
    bool listEnabled = false;
    bool curvesDropDown = false;
    std::map<int, bool> buttons;
    std::vector<int> postedCommands;
    std::vector<bool> busy;   // every change of the busy state, in order
    std::function<void(const QString&)> onTitle;   // lets a test act in the middle of a connection
    std::function<void(const QString&)> onMessage;
};
