#pragma once

#include "logger/CLogDownload.h"

class IPrompt;
class QWidget;

// Shows the logs chosen in the download dialog: the page buffer of the
// chosen logs, the calibration snapshot and the logger description. The
// log chart takes this over; until then it says what was chosen.
void ShowLogs(const LogSelection& selection, QWidget* parent, IPrompt& prompt);
