#pragma once

#include <QCoreApplication>

#include <memory>
#include <vector>

#include "common/CScriptedPrompt.h"
#include "common/CCountingHost.h"
#include "common/CSimulatedLink.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "library/CDeviceLibrary.h"
#include "common/PatientLimits.h"
#include "library/CDeviceSession.h"
#include "logger/LoggerPage.h"

namespace LoggerTest {

using Bytes = std::vector<uint8_t>;

// A page with the given header and every sample byte set to fill.
inline Bytes Page(uint8_t number, uint8_t period, uint16_t mask, uint8_t fill = 0)
{
    Bytes page(LoggerPage::kSize, fill);
    page[0] = number;
    page[1] = period;
    page[2] = static_cast<uint8_t>(mask & 0xFF);
    page[3] = static_cast<uint8_t>(mask >> 8);
    page[4] = page[5] = page[6] = page[7] = 0;
    return page;
}

inline Bytes Erased() { return Bytes(LoggerPage::kSize, 0xFF); }

inline Bytes Concat(const std::vector<Bytes>& pages)
{
    Bytes all;
    for (const Bytes& page : pages)
        all.insert(all.end(), page.begin(), page.end());
    return all;
}


// The simulated full ESC, connected and identified through a device session
// with the sample device library.
class ConnectedEsc {
public:
    explicit ConnectedEsc(CEscSimulator::Options options = {}, bool upgrade = false)
        : link(std::make_unique<CSimulatedLink>(options))
    {
        library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"));
        session = std::make_unique<CDeviceSession>(link->Port(), link->ShortCollector(), library, prompt, host);
        session->ReadLibraryTimeouts();
        session->Protocol().SetLimits(PatientLimits());
        for (int attempt = 0; attempt < 6 && !connected; ++attempt) {
            const CDeviceSession::Attempt result = session->TryConnect(link->PortName());
            if (result.outcome == CDeviceSession::Attempt::Outcome::Ready)
                connected = session->LoadParameters(result);
        }
        if (connected && upgrade)
            connected = session->UpgradeSpeed();
    }
    ~ConnectedEsc()
    {
        session.reset();
        link.reset();
    }

    CScriptedPrompt prompt;
    CCountingHost host;
    CDeviceLibrary library;
    std::unique_ptr<CSimulatedLink> link;
    std::unique_ptr<CDeviceSession> session;
    bool connected = false;
};

} // namespace LoggerTest
