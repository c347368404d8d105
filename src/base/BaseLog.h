#pragma once

#include <QLoggingCategory>

// Diagnostics of the services every layer shares: the settings file and
// atomic file writes.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
