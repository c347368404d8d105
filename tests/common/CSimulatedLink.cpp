#include "common/CSimulatedLink.h"

#include <gtest/gtest.h>

CSimulatedLink::CSimulatedLink(CEscSimulator::Options options)
    : m_sim(std::make_unique<CEscSimulator>(std::move(options))), m_short(m_port)
{
    if (!m_sim->Start())
        ADD_FAILURE() << "the simulated ESC did not start: " << m_sim->LastError();
}

CSimulatedLink::~CSimulatedLink()
{
    m_port.Close();
    m_sim->Stop();
}

QString CSimulatedLink::PortName() const
{
    return QString::fromStdString(m_sim->DevicePath());
}

bool CSimulatedLink::OpenPort(int baud)
{
    return m_port.Open(PortName(), baud);
}

std::vector<std::vector<uint8_t>> CSimulatedLink::ReceivedFrames() const
{
    std::vector<std::vector<uint8_t>> frames;
    for (const CEscSimulator::Frame& frame : m_sim->Frames())
        frames.push_back(frame.bytes);
    return frames;
}

std::vector<std::vector<uint8_t>> FramesWith(const CEscSimulator& sim, uint8_t letter)
{
    std::vector<std::vector<uint8_t>> frames;
    for (const CEscSimulator::Frame& frame : sim.Frames())
        if (frame.bytes.size() >= 2 && frame.bytes[1] == letter)
            frames.push_back(frame.bytes);
    return frames;
}
