#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "logger/CLogDownload.h"
#include "logger/ui/LogDisplay.h"

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
    // The logs command without logger data: rebuilds the pages of a log
    // file and opens a chart on them; messages 136, 137 and 138 refuse
    // files that cannot be rebuilt.
    void OpenLogFile();
    // Write a memory image file into the logger (Ctrl+M): refuses a file
    // larger than the logger memory, asks first (default No), writes with
    // progress and Cancel, reads the pages back and says how it ended.
    // Returns how the write ended on one line (what it said, its line
    // breaks made spaces); empty when no write was started: no file chosen,
    // the file refused, or the question answered No.
    QString WriteImage(const QString& folder);
    // Erase: with blocks false one erase command after the confirmation
    // (Ctrl+E), with blocks true block by block inside the dialog. Says
    // when the memory is erased, and when it may not be. Returns what it
    // said; empty when no erase was started.
    QString Erase(bool blocks);

    // TORV.ini, where the chart keeps its styles and size (by default the
    // settings file of the program's folder).
    void SetSettingsPath(const QString& path) { m_settingsPath = path; }
    // The folder the log file dialogs start in, asked for each time.
    void SetSaveFolderSource(std::function<QString()> source) { m_saveFolder = std::move(source); }
    // Around a chart opened from a file (the connect timer is paused).
    void SetChartGuards(std::function<void()> before, std::function<void()> after)
    {
        m_beforeChart = std::move(before);
        m_afterChart = std::move(after);
    }

    // Who shows the chosen logs (ShowLogs by default).
    void SetDisplay(std::function<void(const LogSelection&)> display) { m_display = std::move(display); }
    // Tests look at each dialog before it runs.
    void SetDialogHook(std::function<void(QDialog&)> hook) { m_dialogHook = std::move(hook); }

private:
    int Run(QDialog& dialog);
    // The image file's bytes; none (the user is told) when it cannot be
    // read, is empty or is larger than the logger memory.
    std::optional<std::vector<uint8_t>> ReadImage(const QString& path);
    LogDisplayContext DisplayContext() const;

    CDeviceSession& m_session;
    IProtocolHost& m_host;
    IPrompt& m_prompt;
    QWidget* m_parent;
    std::function<void(const LogSelection&)> m_display;
    std::function<void(QDialog&)> m_dialogHook;
    QString m_settingsPath;
    std::function<QString()> m_saveFolder;
    std::function<void()> m_beforeChart;
    std::function<void()> m_afterChart;
};
