#include "link/CLimitFactor.h"

#include <QtGlobal>

int CLimitFactor::Factor()
{
    bool ok = false;
    const int factor = qEnvironmentVariableIntValue("TORV_LIMIT_FACTOR", &ok);
    return ok && factor >= 1 && factor <= kMaxFactor ? factor : 1;
}

int CLimitFactor::Stretch(int ms)
{
    return ms * Factor();
}
