#pragma once

#include "link/CBytesCollector.h"

#include <QObject>
#include <QPointer>

// Short-answer collector that reports every answer to a window as
// TORV_ECHOIN, wParam = (frame byte 1 << 16) | (frame byte 3 << 8) | frame
// byte 2, lParam = the answer value, payload = a copy of the window. Used for the logger erase steps, which
// are sent without waiting.
class CWindowBytesCollector : public CBytesCollector {
public:
    explicit CWindowBytesCollector(size_t capacity = 8, QObject* target = nullptr);

    // Set by the owner before the collector is made current.
    void SetTarget(QObject* target) { m_target = target; }

    bool IsComplete() const override;
    void OnComplete() override;

private:
    QPointer<QObject> m_target;
};
