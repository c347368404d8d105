#pragma once

#include <QLoggingCategory>
#include <QString>

// Diagnostics of the device link ("torv.link"): failed exchanges with the
// bytes received, frame dumps.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace LinkLog {
// Writes a text made of "\r\n"-terminated lines to the link log, one log
// record per line.
void Lines(const QString& text);
}
