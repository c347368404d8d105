#pragma once

// The fixture of the simulator's protocol tests: a simulated ESC started
// in-process and the independent client on its pseudo-terminal.

#include "SimTestClient.h"

#include "CEscSimulator.h"
#include "common/SimOptions.h"
#include "common/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace simtest {

inline constexpr std::size_t kShort = 3;
inline constexpr std::size_t kPage = 264;
inline constexpr std::size_t kPageAnswer = kPage + 3;
inline constexpr int kBauds[8] = {4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};

// What the line returns for frames that get no answer, fenced by a probe.
inline Bytes Fenced(const Bytes& sent)
{
    return Concat(Concat(sent, Client::FenceProbe()), Client::FenceAnswer());
}

class SimProtocol : public ::testing::Test {
protected:
    void StartSim(CEscSimulator::Options options = {})
    {
        m_sim = std::make_unique<CEscSimulator>(options);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
        ASSERT_TRUE(m_client.Open(m_sim->DevicePath())) << m_sim->DevicePath();
    }

    // The answer behind a correct echo of the frame.
    Bytes AnswerOf(const Bytes& frame, std::size_t answerSize = kShort)
    {
        const Bytes got = m_client.Exchange(frame, answerSize);
        if (got.size() < frame.size() || !std::equal(frame.begin(), frame.end(), got.begin())) {
            ADD_FAILURE() << "the echo of the frame does not come first";
            return {};
        }
        return Bytes(got.begin() + static_cast<std::ptrdiff_t>(frame.size()), got.end());
    }
    Bytes AnswerOf(uint8_t letter, uint8_t a1, uint8_t a2, std::size_t answerSize = kShort)
    {
        return AnswerOf(Command(letter, a1, a2), answerSize);
    }

    // The speed change is answered at the old speed; then both sides switch.
    bool SwitchTo(uint8_t code, int baud)
    {
        return AnswerOf('S', 'P', code) == ShortAnswer('O') && WaitFor([&] { return m_sim->DeviceBaud() == baud; })
            && m_client.SetBaud(baud);
    }

    std::unique_ptr<CEscSimulator> m_sim;
    Client m_client;
};


} // namespace simtest
