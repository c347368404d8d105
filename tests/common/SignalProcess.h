#pragma once

#include <QProcess>

#include <csignal>
#include <sys/types.h>

// Sends the signal to a child program while it runs; false when it has
// already ended. An ended child's process id is 0, and kill(0, ...) would
// signal the test's own process group instead: the test program, ctest and
// every test running beside them.
inline bool SignalProcess(const QProcess& process, int signalNumber)
{
    const qint64 pid = process.processId();
    return pid > 0 && ::kill(static_cast<pid_t>(pid), signalNumber) == 0;
}
