#pragma once

#include <QLoggingCategory>

// Diagnostics of the application shell: settings, start-up, language module.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
