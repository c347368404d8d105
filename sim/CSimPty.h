#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A pseudo-terminal pair: the master is the ESC's end of the cable, the slave
// is the serial device that TORV opens. The slave is put into raw mode at
// 19200 baud when it is created, and one slave descriptor stays open for the
// pair's lifetime, so that TORV closing and reopening the port never hangs
// the pair up. Optionally a symbolic link gives the slave a stable name.
class CSimPty {
public:
    CSimPty() = default;
    ~CSimPty();
    CSimPty(const CSimPty&) = delete;
    CSimPty& operator=(const CSimPty&) = delete;

    bool Open(const std::string& symlinkPath, std::string& error);
    void Close();
    bool IsOpen() const { return m_master >= 0; }

    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& LinkPath() const { return m_linkPath; }

    // The speed TORV set on its side; 0 when it cannot be read.
    int HostBaud() const;
    // Reads what TORV wrote; returns the count, 0 when nothing is there, -1 on a failure.
    long Read(uint8_t* buffer, std::size_t size);
    // Writes towards TORV; waits up to timeoutMs for room, drops the rest after that.
    bool Write(const uint8_t* bytes, std::size_t size, int timeoutMs = 200);

private:
    bool MakeLink(const std::string& path, std::string& error);
    void RemoveLink();

    int m_master = -1;
    int m_slaveKeeper = -1;
    std::string m_slavePath;
    std::string m_linkPath;
};
