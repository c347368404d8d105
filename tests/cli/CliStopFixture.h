#pragma once

#include <csignal>

#include "cli/CliFixture.h"
#include "common/SignalProcess.h"

// A writing command stopped with SIGTERM once its first write has reached the
// ESC. Every answer comes late, so that the command is surely still writing
// when the signal arrives, however slow the test machine.
class CliStopTest : public CliTest {
protected:
    static constexpr int kLateAnswerMs = 150;

    CliRun TerminatedAfterFirstWrite(const QStringList& args)
    {
        sim->ClearFrames();
        sim->SetExtraAnswerDelayMs(kLateAnswerMs);
        QProcess process;
        Launch(process, args);
        const bool writing = WaitFor([this] { return WritesSeen() > 0; }, kRunDeadlineMs);
        EXPECT_TRUE(writing) << "no write reached the ESC";
        if (writing) {
            EXPECT_TRUE(SignalProcess(process, SIGTERM)) << "the program had already ended";
        }
        const CliRun run = Finish(process);
        sim->SetExtraAnswerDelayMs(0);
        return run;
    }
};
