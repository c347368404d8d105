#pragma once

#include <QString>
#include <pugixml.hpp>

#include <functional>
#include <vector>

class CDeviceSession;
class IPrompt;
class IProtocolHost;
class QDialog;
class QWidget;

// The main window's curve command: reads the chosen curve from the ESC,
// runs the "Curve" dialog with the refresh timer stopped, and writes the
// saved points back. The dialog itself never talks to the device.
class CCurveUi {
public:
    // One entry of the curve drop-down: a Curve element with a name, and its
    // position among all Curve elements (from 1).
    struct MenuEntry {
        QString name;
        int position;
    };
    static std::vector<MenuEntry> MenuEntries(const pugi::xml_node& esc);

    CCurveUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent);

    // Opens the curve at the position (from 1; the command opens the first).
    // A curve lacking an attribute does nothing; an unusable description is
    // refused with a message. Returns the dialog's result, 0 when none ran.
    int Open(int position);
    // What the last Open wrote into the ESC; empty when it wrote nothing.
    const QString& Outcome() const { return m_outcome; }

    // Tests look at the dialog before it runs.
    void SetDialogHook(std::function<void(QDialog&)> hook) { m_dialogHook = std::move(hook); }

private:
    void ShowError(const QString& text);

    CDeviceSession& m_session;
    IProtocolHost& m_host;
    IPrompt& m_prompt;
    QWidget* m_parent;
    std::function<void(QDialog&)> m_dialogHook;
    QString m_outcome;
};
