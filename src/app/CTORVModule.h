#pragma once

#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

// The application object: one per process, created by the program's entry
// before anything else and alive until it returns. It owns the one serial
// port and the one short-answer collector that every exchange uses.
class CTORVModule {
public:
    CTORVModule();
    ~CTORVModule();
    CTORVModule(const CTORVModule&) = delete;
    CTORVModule& operator=(const CTORVModule&) = delete;

    // The process's application object, or null outside its lifetime.
    static CTORVModule* Instance() { return s_instance; }

    CSerialPort& Port() { return m_port; }
    CSynchroBytesCollector& Collector() { return m_collector; }

    static constexpr size_t ShortAnswerWindow = 8;

private:
    // Declaration order is destruction order reversed: the collector goes
    // first, then the port (closing it stops the reader thread).
    CSerialPort m_port;
    CSynchroBytesCollector m_collector;

    inline static CTORVModule* s_instance = nullptr;
};
