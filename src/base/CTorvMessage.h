#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QtGlobal>

// The four private messages through which collectors, dialogs and the main
// window talk to each other. Each is a custom QEvent type registered once per
// process; wParam and lParam travel as fields of CTorvMessage.
namespace TorvMessages {
QEvent::Type ByteIn();           // "TORV_BYTEIN": a page or upload collector completed (wParam 1) or timed out (wParam 0)
QEvent::Type EchoIn();           // "TORV_ECHOIN": the window collector saw one short answer
QEvent::Type CleanAndReconnect(); // "TORV_CLEANANDRECONNECT": drop the link and connect afresh
QEvent::Type EnterIdleDlg();     // "TORV_ENTERIDLEDLG": a modal dialog's loop has gone idle

// Registers all four types; safe to call more than once.
void RegisterAll();

// Posts a message to the receiver if it still exists. Callable from any thread.
void Post(const QPointer<QObject>& receiver, QEvent::Type type, quintptr wParam, quintptr lParam);
}

class CTorvMessage : public QEvent {
public:
    CTorvMessage(QEvent::Type type, quintptr wParam, quintptr lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam) {}

    quintptr WParam() const { return m_wParam; }
    quintptr LParam() const { return m_lParam; }

private:
    quintptr m_wParam;
    quintptr m_lParam;
};
