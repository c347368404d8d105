#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QtGlobal>

#include <cstdint>
#include <vector>

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
// The same with a copy of the bytes the message is about (a completed answer).
void Post(const QPointer<QObject>& receiver, QEvent::Type type, quintptr wParam, quintptr lParam,
          std::vector<uint8_t> payload);
}

class CTorvMessage : public QEvent {
public:
    CTorvMessage(QEvent::Type type, quintptr wParam, quintptr lParam, std::vector<uint8_t> payload = {})
        : QEvent(type), m_wParam(wParam), m_lParam(lParam), m_payload(std::move(payload)) {}

    quintptr WParam() const { return m_wParam; }
    quintptr LParam() const { return m_lParam; }
    // The bytes of the completed answer, copied when it completed. Unlike a
    // pointer into a collector's window, they stay as they were while the
    // reader thread goes on receiving.
    const std::vector<uint8_t>& Payload() const { return m_payload; }

private:
    quintptr m_wParam;
    quintptr m_lParam;
    std::vector<uint8_t> m_payload;
};
