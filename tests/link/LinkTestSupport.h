#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A pseudo-terminal pair opened by the test. The port under test opens the
// slave path; the test plays the device on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return m_master; }
    QString SlavePath() const { return m_slavePath; }

    void Write(const std::vector<uint8_t>& bytes) const;
    // Reads exactly count bytes, or fewer when the deadline passes first.
    std::vector<uint8_t> Read(size_t count, int timeoutMs = 5000) const;
    // Bytes waiting on the master side.
    int Pending() const;
    void CloseMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

// Speed of the slave line as the kernel holds it (termios2 c_ospeed) and
// whether it is expressed as BOTHER; read through the master.
struct SlaveSpeed {
    unsigned speed = 0;
    bool other = false;
};
SlaveSpeed ReadSlaveSpeed(int master);

// The device on the master side: reads 5-byte command frames and answers
// each with what the script returns (the echo included, or nothing).
class ScriptedDevice {
public:
    using Script = std::function<std::vector<uint8_t>(const std::array<uint8_t, 5>&)>;
    ScriptedDevice(const PtyPair& pty, Script script);
    ~ScriptedDevice();

    int FramesSeen() const { return m_frames.load(); }

    // Echo of the frame followed by the short answer 'M', value, sum.
    static std::vector<uint8_t> ShortAnswer(const std::array<uint8_t, 5>& frame, uint8_t value);

private:
    void Run();

    const PtyPair& m_pty;
    Script m_script;
    int m_stop = -1;
    std::atomic<int> m_frames{0};
    std::thread m_thread;
};

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

protected:
    void customEvent(QEvent* event) override;
};
