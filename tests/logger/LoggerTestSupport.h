#pragma once

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "CEscSimulator.h"
#include "common/CScriptedPrompt.h"
#include "common/CCountingHost.h"
#include "common/CSimulatedLink.h"
#include "common/TestApplication.h"
#include "common/WaitFor.h"
#include "library/CDeviceLibrary.h"
#include "common/PatientLimits.h"
#include "library/CDeviceSession.h"
#include "logger/CDataProcessor.h"
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

// A page whose every whole group repeats the given bytes.
inline Bytes Page(uint8_t number, uint8_t period, uint16_t mask, const Bytes& group)
{
    Bytes page = Page(number, period, mask);
    for (std::size_t at = LoggerPage::kHeaderSize; at + group.size() <= page.size(); at += group.size())
        std::copy(group.begin(), group.end(), page.begin() + static_cast<std::ptrdiff_t>(at));
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

// A calibration snapshot of the sample library's logger 3.2.1, with cell 6
// set: the RPM formula divides by it.
inline Bytes Snapshot()
{
    Bytes snapshot(128, 0);
    snapshot[64] = 3;
    snapshot[65] = 2;
    snapshot[66] = 1;
    snapshot[6] = 7;
    return snapshot;
}

// The frames the simulated ESC received with this command letter.
inline std::vector<Bytes> FramesOf(const CSimulatedLink& link, uint8_t letter) { return FramesWith(link.Sim(), letter); }

// The device library shipped with the program.
struct SampleLibrary : CDeviceLibrary {
    SampleLibrary() { EXPECT_TRUE(Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"))); }
};

// The simulator's generated logger memory, its calibration snapshot and the
// sample library's description of its logger.
struct GeneratedLogs {
    // Decodes the first log, pages 0 to 19.
    bool DecodeFirst(DecodedLog& log, QStringList* messages = nullptr) const
    {
        CDataProcessor processor(logger, snapshot);
        const bool decoded = processor.Decode(memory.data(), memory.size() / LoggerPage::kSize, 0, 19, log);
        if (messages != nullptr)
            *messages = processor.SetupMessages();
        return decoded;
    }

    CEscSimulator sim;
    SampleLibrary library;
    Bytes memory = sim.LoggerMemory();
    std::array<uint8_t, 256> cells = sim.Cells();
    Bytes snapshot{cells.begin(), cells.begin() + 128};
    pugi::xml_node logger = library.FindLogger(cells[64], cells[65], cells[66]);
};

// The simulated full ESC, connected and identified through a device session
// with the sample device library.
class ConnectedEsc {
public:
    explicit ConnectedEsc(CEscSimulator::Options options = {})
        : link(std::make_unique<CSimulatedLink>(options))
    {
        session = std::make_unique<CDeviceSession>(link->Port(), link->ShortCollector(), library, prompt, host);
        session->ReadLibraryTimeouts();
        session->Protocol().SetLimits(PatientLimits());
        for (int attempt = 0; attempt < 6 && !connected; ++attempt) {
            const CDeviceSession::Attempt result = session->TryConnect(link->PortName());
            if (result.outcome == CDeviceSession::Attempt::Outcome::Ready)
                connected = session->LoadParameters(result);
        }
    }
    ~ConnectedEsc()
    {
        session.reset();
        link.reset();
    }

    CScriptedPrompt prompt;
    CCountingHost host;
    SampleLibrary library;
    std::unique_ptr<CSimulatedLink> link;
    std::unique_ptr<CDeviceSession> session;
    bool connected = false;
};

} // namespace LoggerTest
