#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "logger/CLogDownload.h"

class CDeviceSession;
class IPrompt;
class IProtocolHost;
class QDialog;
class QWidget;

// The main window's logger commands: download and show the logs, write a
// memory image, erase the memory. Each stops the refresh timer for its
// dialog and restarts it afterwards.
class CLoggerUi {
public:
    CLoggerUi(CDeviceSession& session, IProtocolHost& host, IPrompt& prompt, QWidget* parent);

    // Download and show (Ctrl+L). False when the ESC offers no logger data
    // to download.
    bool DownloadAndShow();
    // Write a memory image file into the logger (Ctrl+M).
    void WriteImage(const QString& folder);
    // Erase: with blocks false one erase command after the confirmation
    // (Ctrl+E), with blocks true block by block inside the dialog.
    void Erase(bool blocks);

    // Who shows the chosen logs (ShowLogs by default).
    void SetDisplay(std::function<void(const LogSelection&)> display) { m_display = std::move(display); }
    // Tests look at each dialog before it runs.
    void SetDialogHook(std::function<void(QDialog&)> hook) { m_dialogHook = std::move(hook); }

private:
    int Run(QDialog& dialog);

    CDeviceSession& m_session;
    IProtocolHost& m_host;
    IPrompt& m_prompt;
    QWidget* m_parent;
    std::function<void(const LogSelection&)> m_display;
    std::function<void(QDialog&)> m_dialogHook;
};
