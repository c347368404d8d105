#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <ostream>

#include "CEscSimulator.h"
#include "common/CSimulatedLink.h"
#include "common/SignalProcess.h"
#include "common/SimOptions.h"
#include "common/TestApplication.h"
#include "common/TestFiles.h"
#include "common/WaitFor.h"

// Runs the built torv-cli against a simulated ESC on a pseudo-terminal.

inline const bool kCliApplication = TestApplication<QCoreApplication>::Register();

inline constexpr int kRunDeadlineMs = 60000;
inline const QString kLibrary = QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc");

// Lets a failing check show the program's output as text.
inline std::ostream& operator<<(std::ostream& stream, const QString& text)
{
    return stream << text.toStdString();
}

// The text holds the part; a failure shows the whole text.
inline ::testing::AssertionResult Holds(const QString& text, const QString& part)
{
    if (text.contains(part))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part << "\" is not in:\n" << text;
}

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

// The run ended with the status, and its standard error holds the part; a
// failure shows both outputs.
inline ::testing::AssertionResult Ended(const CliRun& run, int status, const QString& errorPart = {})
{
    if (run.status == status && run.err.contains(errorPart))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "ended with " << run.status << " instead of " << status << ", \""
                                         << errorPart << "\" expected on standard error\nstandard output:\n"
                                         << run.out << "\nstandard error:\n" << run.err;
}

class CliTest : public ::testing::Test {
protected:
    void StartSim(const std::string& profile = "full") { StartSim(SimOptions(profile)); }

    void StartSim(const CEscSimulator::Options& options)
    {
        sim = std::make_unique<CEscSimulator>(options);
        ASSERT_TRUE(sim->Start()) << sim->LastError();
    }

    QString Port() const { return QString::fromStdString(sim->DevicePath()); }

    void Launch(QProcess& process, QStringList args, const QString& library = kLibrary) const
    {
        args = QStringList{QStringLiteral("--port"), sim ? Port() : QStringLiteral("/dev/torv-none"),
                           QStringLiteral("--library"), library} + args;
        // A busy test machine may answer slower than the product's limits.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TORV_LIMIT_FACTOR"), QStringLiteral("5"));
        process.setProcessEnvironment(env);
        if (!input.isEmpty())
            process.setStandardInputFile(input);
        process.start(QStringLiteral(TORV_CLI_PATH), args);
        ASSERT_TRUE(process.waitForStarted());
    }

    static CliRun Finish(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(kRunDeadlineMs)) << "torv-cli did not end";
        CliRun run;
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    CliRun Cli(const QStringList& args)
    {
        QProcess process;
        Launch(process, args);
        return Finish(process);
    }

    // Starts the program, sends the signal once the moment has come, and
    // waits for the end.
    CliRun SignalledWhen(const QStringList& args, const std::function<bool()>& moment, int signal = SIGINT)
    {
        QProcess process;
        Launch(process, args);
        const bool came = WaitFor(moment, kRunDeadlineMs);
        EXPECT_TRUE(came) << "the moment for the signal never came";
        if (came) {
            EXPECT_TRUE(SignalProcess(process, signal)) << "the program had already ended";
        }
        return Finish(process);
    }

    QJsonDocument Json(const QStringList& args)
    {
        const CliRun run = Cli(QStringList{QStringLiteral("--json")} + args);
        EXPECT_EQ(run.status, 0) << run.err;
        return QJsonDocument::fromJson(run.out.toUtf8());
    }

    // The ESC is back at the handshake speed once the program has ended.
    bool LeftAt19200() const
    {
        return WaitFor([this] { return sim->DeviceBaud() == 19200; });
    }

    // Frames sent with this command letter.
    int FramesWith(char letter) const
    {
        return static_cast<int>(::FramesWith(*sim, static_cast<uint8_t>(letter)).size());
    }

    int WritesSeen() const { return FramesWith('w'); }

    bool MemoryErased() const
    {
        const std::vector<uint8_t> memory = sim->LoggerMemory();
        return std::all_of(memory.begin(), memory.end(), [](uint8_t b) { return b == 0xFF; });
    }

    QString WriteFile(const QString& name, const QByteArray& bytes)
    {
        return TestFiles::Write(dir.path(), name, bytes);
    }

    QTemporaryDir dir;
    std::unique_ptr<CEscSimulator> sim;
    QString input;   // a file for standard input (empty: none)
};

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
        const CliRun run = SignalledWhen(args, [this] { return WritesSeen() > 0; }, SIGTERM);
        sim->SetExtraAnswerDelayMs(0);
        return run;
    }
};
