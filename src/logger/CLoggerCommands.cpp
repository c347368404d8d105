#include "logger/CLoggerCommands.h"

#include "library/CDeviceSession.h"
#include "link/CLimitFactor.h"
#include "link/CSerialPort.h"

bool CLoggerCommands::CanDownload(CDeviceSession& session)
{
    if (!session.HasDevice() || !session.Facts().logger)
        return false;
    uint8_t logs = 0;
    return session.Image().GetCell(kConditionCell, logs) && logs > 0;
}

CLoggerCommands::DownloadPlan CLoggerCommands::PlanDownload(CDeviceSession& session)
{
    DownloadPlan plan;
    plan.logger = session.Facts().logger;
    plan.pageTimeoutMs = CLimitFactor::Stretch(static_cast<int>(session.MemoryLoadTimeout()));
    plan.snapshot.assign(session.Facts().initialDataSize, 0);
    for (std::size_t cell = 0; cell < plan.snapshot.size(); ++cell) {
        uint8_t value = 0;
        if (session.Image().GetCell(static_cast<int>(cell), value))
            plan.snapshot[cell] = value;
    }
    plan.pageCount = session.Facts().loggerBlocks;
    uint8_t low = 0;
    uint8_t high = 0;
    if (session.Image().GetCell(kPagesLowCell, low) && session.Image().GetCell(kPagesHighCell, high))
        plan.pageCount = low + 256u * high;
    return plan;
}

bool CLoggerCommands::EraseAll(CDeviceSession& session)
{
    uint8_t answer = 0;
    return session.Protocol().SendCommand('e', 'r', 's', answer, CLimitFactor::Stretch(kEraseLimitMs), false);
}
