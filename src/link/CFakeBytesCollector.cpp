#include "link/CFakeBytesCollector.h"

CFakeBytesCollector::CFakeBytesCollector()
    : CBytesCollector(8)
{
}

bool CFakeBytesCollector::IsComplete() const
{
    return false;
}

void CFakeBytesCollector::OnComplete()
{
}
