#include "common/WaitFor.h"
