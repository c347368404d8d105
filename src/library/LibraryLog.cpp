#include "library/LibraryLog.h"

Q_LOGGING_CATEGORY(lcLibrary, "torv.library")
