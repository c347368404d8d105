#pragma once

#include <QLoggingCategory>

// Diagnostics of the device library and the parameter model.
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)
