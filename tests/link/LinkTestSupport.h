#pragma once

#include "common/WaitFor.h"
#include "link/CSerialPort.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A pseudo-terminal pair: the port under test opens the slave path, the test
// plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return m_master; }
    QString SlavePath() const { return m_slavePath; }
    void Write(const Bytes& bytes) const;
    // Exactly count bytes, or fewer when the deadline passes first.
    Bytes Read(size_t count, int timeoutMs = 5000) const;
    int Pending() const;  // bytes waiting on the master side
    void CloseMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

// The slave's line speed as the kernel holds it (termios2), read through the master.
unsigned SlaveSpeed(int master);

// Echo of a command frame followed by the short answer 'M', value, sum.
Bytes ShortAnswer(const Bytes& frame, uint8_t value);
// Echo of a request frame followed by 'M', the data and the CRC low first.
Bytes BlockAnswer(const Bytes& request, const Bytes& data);
Bytes Pattern(size_t n, uint8_t seed);

// Records the CTorvMessage events posted to it.
class MessageSink : public QObject {
public:
    struct Message {
        int type;
        quintptr wParam;
        quintptr lParam;
        Bytes payload;
    };
    std::vector<Message> messages;
    size_t Count(int type, quintptr wParam) const
    {
        return static_cast<size_t>(std::count_if(messages.begin(), messages.end(),
                                                 [&](const Message& m) { return m.type == type && m.wParam == wParam; }));
    }
    // Runs the event loop for ms and tells whether more than `already` came.
    bool MoreWithin(size_t already, int ms) const { return WaitFor([&] { return messages.size() > already; }, ms); }

protected:
    void customEvent(QEvent* event) override;
};

// A port open on a fresh pseudo-terminal, with a message target.
struct Link {
    Link() { EXPECT_TRUE(port.Open(pty.SlavePath(), 115200)) << port.LastErrorText().toStdString(); }
    PtyPair pty;
    CSerialPort port;
    MessageSink sink;
};

// Makes a collector current for a scope and hands the port back to its
// default collector before the collector goes.
class CurrentCollector {
public:
    CurrentCollector(CSerialPort& port, CBytesCollector& collector) : m_port(port) { port.SetCollector(&collector); }
    ~CurrentCollector() { m_port.ResetCollector(); }
    CurrentCollector(const CurrentCollector&) = delete;
    CurrentCollector& operator=(const CurrentCollector&) = delete;

private:
    CSerialPort& m_port;
};
