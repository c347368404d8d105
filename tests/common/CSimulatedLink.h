#pragma once

#include <memory>

#include "CEscSimulator.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

// A simulated ESC on a pseudo-terminal together with the port and the
// short-answer collector that TORV's application object would own.
class CSimulatedLink {
public:
    explicit CSimulatedLink(CEscSimulator::Options options = {});
    ~CSimulatedLink();

    CEscSimulator& Sim() { return *m_sim; }
    const CEscSimulator& Sim() const { return *m_sim; }
    CSerialPort& Port() { return m_port; }
    CSynchroBytesCollector& ShortCollector() { return m_short; }
    QString PortName() const;

    // Opens the port at the given speed; false when it could not be opened.
    bool OpenPort(int baud = 19200);

    // The frames the simulated ESC has received, each as a byte vector.
    std::vector<std::vector<uint8_t>> ReceivedFrames() const;

private:
    std::unique_ptr<CEscSimulator> m_sim;
    CSerialPort m_port;
    CSynchroBytesCollector m_short;
};

// The frames the simulated ESC has received with this command letter, each
// as a byte vector.
std::vector<std::vector<uint8_t>> FramesWith(const CEscSimulator& sim, uint8_t letter);
