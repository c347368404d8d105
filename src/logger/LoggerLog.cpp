#include "logger/LoggerLog.h"

Q_LOGGING_CATEGORY(lcLogger, "torv.logger")
