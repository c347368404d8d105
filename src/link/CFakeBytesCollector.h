#pragma once

#include "link/CBytesCollector.h"

// The serial port's default collector: swallows whatever arrives between
// exchanges and never completes.
class CFakeBytesCollector : public CBytesCollector {
public:
    CFakeBytesCollector();

    bool IsComplete() const override;
    void OnComplete() override;
};
