#pragma once

#include "logger/CLogDownload.h"

#include <QString>

#include <functional>

class IPrompt;
class QDialog;
class QWidget;

// Where the chart keeps its settings and starts its file dialogs.
struct LogDisplayContext {
    QString settingsPath;  // TORV.ini
    QString saveFolder;
    // Called with the chart dialog before it runs (tests look at it).
    std::function<void(QDialog&)> dialogHook;
};

// Shows the logs chosen in the download dialog in the log chart. With the
// workbook flag (Display with Shift) the workbook is written first, to a
// file chosen in a save dialog; cancelling that dialog skips the workbook
// and the chart still opens.
void ShowLogs(const LogSelection& selection, const LogDisplayContext& context, QWidget* parent, IPrompt& prompt);

