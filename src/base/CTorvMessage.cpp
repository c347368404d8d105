#include "base/CTorvMessage.h"

#include <QCoreApplication>

namespace TorvMessages {

namespace {
// QEvent::registerEventType is thread-safe, and each function-local static
// below is initialised exactly once, so every type is registered once.
QEvent::Type registerType()
{
    return static_cast<QEvent::Type>(QEvent::registerEventType());
}
}

QEvent::Type ByteIn()
{
    static const QEvent::Type t = registerType();
    return t;
}

QEvent::Type EchoIn()
{
    static const QEvent::Type t = registerType();
    return t;
}

QEvent::Type CleanAndReconnect()
{
    static const QEvent::Type t = registerType();
    return t;
}

QEvent::Type EnterIdleDlg()
{
    static const QEvent::Type t = registerType();
    return t;
}

void RegisterAll()
{
    ByteIn();
    EchoIn();
    CleanAndReconnect();
    EnterIdleDlg();
}

void Post(const QPointer<QObject>& receiver, QEvent::Type type, quintptr wParam, quintptr lParam)
{
    QObject* target = receiver.data();
    if (target != nullptr)
        QCoreApplication::postEvent(target, new CTorvMessage(type, wParam, lParam));
}

void Post(const QPointer<QObject>& receiver, QEvent::Type type, quintptr wParam, quintptr lParam,
          std::vector<uint8_t> payload)
{
    QObject* target = receiver.data();
    if (target != nullptr)
        QCoreApplication::postEvent(target, new CTorvMessage(type, wParam, lParam, std::move(payload)));
}

}
