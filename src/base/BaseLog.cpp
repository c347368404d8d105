#include "base/BaseLog.h"

Q_LOGGING_CATEGORY(lcSettings, "torv.settings")
