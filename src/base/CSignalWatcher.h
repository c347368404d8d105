#pragma once

#include <QObject>

#include <csignal>
#include <initializer_list>
#include <map>
#include <memory>

class QSocketNotifier;

// Turns termination signals (SIGINT, SIGTERM, SIGHUP) into a Qt signal on
// the thread that owns the watcher, so that the program ends the normal way:
// the ESC is sent back to 19200 baud and the settings are written. The
// handler itself only writes one byte into a pipe and sets a flag, which is
// all a signal handler may safely do. The first signal asks for an orderly
// end; the handler then goes back to the default, so that a second one ends
// the program at once should the orderly end hang. One watcher per process.
class CSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit CSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~CSignalWatcher() override;
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // The last watched signal that arrived, 0 when none did. Readable from
    // loops that block the event loop and must stop early.
    static int Caught();
    static bool Requested() { return Caught() != 0; }

signals:
    void caught(int signalNumber);

private:
    static void Handler(int signalNumber);
    void OnReadable();

    std::map<int, struct sigaction> m_previous;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
