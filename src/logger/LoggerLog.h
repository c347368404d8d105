#pragma once

#include <QLoggingCategory>

// Diagnostics of the logger transfers and the log decoding.
Q_DECLARE_LOGGING_CATEGORY(lcLogger)
