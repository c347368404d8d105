#pragma once

#include <QString>

// Asks the driver of an open serial device to pass received bytes on at once
// (ASYNC_LOW_LATENCY). Many USB-serial adapters otherwise hold them up to
// 16 ms, and this protocol waits for every answer. A driver that offers no
// such setting (a pseudo-terminal, many others) is no error: the port works
// as before.
class CLowLatency {
public:
    // The ioctl call, replaceable so that a driver that accepts can be
    // played without one. Returns 0, or -1 with errno set.
    using Ioctl = int (*)(int fd, unsigned long request, void* argument);

    enum class Outcome { Set, AlreadySet, Refused };
    struct Result {
        Outcome outcome = Outcome::Refused;
        int error = 0;  // errno of the refusal
    };

    explicit CLowLatency(Ioctl ioctl = &SystemIoctl);

    // Requests low latency on fd.
    Result Request(int fd) const;

    // The line of the link trace that tells the outcome for the port.
    static QString TraceText(const QString& portName, const Result& result);

private:
    static int SystemIoctl(int fd, unsigned long request, void* argument);

    Ioctl m_ioctl;
};
