#pragma once

#include <QLoggingCategory>

// Diagnostics of the telemetry stream and the measurement panel: requests
// that went unanswered with the bytes received, channel formula faults.
Q_DECLARE_LOGGING_CATEGORY(lcPanel)
