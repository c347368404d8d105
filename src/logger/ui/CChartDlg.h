#pragma once

#include <QDialog>

#include "controls/CWindowPlacement.h"

#include <optional>
#include <QString>
#include <pugixml.hpp>

#include "logger/LoggerPage.h"

#include <cstdint>
#include <utility>
#include <vector>

class CElidedLabel;
class CMChartCtrl;
class IPrompt;
class QAction;
class QToolBar;

// The "Logger chart" dialog: the logs of a page buffer one at a time, one
// series per channel over a common time axis; previous and next log, zoom
// back and forward, saving the shown log and opening a log file, the style
// dialog (from the toolbar or a Ctrl-click), copying and exporting the
// picture. Series styles and the dialog
// size live in TORV.ini; the size is the outer one, and the dialog opens at
// it, frame included, and within the screen.
struct DecodedLog;

class CChartDlg : public QDialog {
    Q_OBJECT
public:
    // Command ids of the toolbar, in toolbar order.
    enum Command {
        CommandClose = 2,
        CommandOpen = 57601,
        CommandSave = 57603,
        CommandPrevious = 32785,
        CommandNext = 32786,
        CommandZoomBack = 32795,
        CommandZoomForward = 32796,
    };

    struct Input {
        const uint8_t* pages = nullptr;  // borrowed for the dialog's lifetime
        std::size_t pageCount = 0;
        pugi::xml_node logger;
        std::vector<uint8_t> snapshot;
        // Sample bytes of the buffer's last page that hold whole groups (a
        // page rebuilt from a log file that ends inside it).
        std::size_t lastPageBytes = LoggerPage::kSampleBytes;
        QString settingsPath;  // TORV.ini
        QString saveFolder;    // start folder of the file dialogs
    };

    CChartDlg(Input input, IPrompt& prompt, QWidget* parent = nullptr);

    // Asks for a log file (*.csv) to open, starting in folder, and reads it.
    // None when the user cancels or the file cannot be read (the user is
    // told "Unable to open file").
    static std::optional<QByteArray> ReadChosenLogFile(IPrompt& prompt, const QString& folder);

    CMChartCtrl& Chart() { return *m_chart; }
    QAction* Action(Command command) const;
    QAction* StyleAction() const { return m_style; }
    QAction* CopyAction() const { return m_copy; }
    QAction* ExportAction() const { return m_export; }
    const std::vector<std::pair<std::size_t, std::size_t>>& Logs() const { return m_logs; }
    int CurrentLog() const { return m_current; }
    // The cursor read-out.
    QString StatusText() const;
    // Replaces the frame reading (tests play a window manager with it).
    void SetFrameMargins(CWindowPlacement::FrameMargins margins) { m_placement.SetFrameMargins(std::move(margins)); }

    void Previous();
    void Next();
    void Save();
    void Open();
    void OpenStyle(int serie);
    void ExportPng();

    void done(int result) override;

protected:
    bool event(QEvent* event) override;

private:
    void ShowLog(std::size_t index);
    // Replaces the chart's series by the decoded log's.
    void ShowSeries(DecodedLog& log);
    void ApplyStyles();
    void SaveStyles();
    void UpdateButtons();

    Input m_input;
    IPrompt& m_prompt;
    std::vector<std::pair<std::size_t, std::size_t>> m_logs;
    int m_current = -1;
    std::vector<int> m_palette;  // per series: the channel's palette index or -1
    CMChartCtrl* m_chart = nullptr;
    QToolBar* m_toolBar = nullptr;
    CElidedLabel* m_status = nullptr;
    // The stored outer size, applied again once the window manager's frame is known.
    CWindowPlacement m_placement{*this};
    std::vector<std::pair<Command, QAction*>> m_actions;
    QAction* m_style = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_export = nullptr;
};
