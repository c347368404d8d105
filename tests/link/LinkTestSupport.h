#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A pseudo-terminal pair opened by the test. The port under test opens the
// slave path; the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return m_master; }
    QString SlavePath() const { return m_slavePath; }
    void Write(const Bytes& bytes) const;
    // Reads exactly count bytes, or fewer when the deadline passes first.
    Bytes Read(size_t count, int timeoutMs = 5000) const;
    int Pending() const;  // bytes waiting on the master side
    void CloseMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

// The slave's speed as the kernel holds it (termios2), read through the
// master, and whether it is expressed as BOTHER.
struct SlaveSpeed {
    unsigned speed = 0;
    bool other = false;
};
SlaveSpeed ReadSlaveSpeed(int master);

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
    };
    std::vector<Message> messages;
    size_t Count(int type, quintptr wParam) const;
    // Runs the event loop for ms and tells whether more than `already` came.
    bool MoreWithin(size_t already, int ms) const;

protected:
    void customEvent(QEvent* event) override;
};
