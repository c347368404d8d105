#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "CEscSimulator.h"
#include "common/WaitFor.h"

// Runs the built torv-cli against a simulated ESC on a pseudo-terminal.

inline constexpr int kRunDeadlineMs = 60000;
inline const QString kLibrary = QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc");

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test {
protected:
    void StartSim(const std::string& profile = "full")
    {
        CEscSimulator::Options options;
        options.profile = profile;
        StartSim(options);
    }

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

    QJsonDocument Json(const QStringList& args)
    {
        const CliRun run = Cli(QStringList{QStringLiteral("--json")} + args);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
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
        int count = 0;
        for (const CEscSimulator::Frame& frame : sim->Frames())
            count += frame.bytes.size() >= 2 && frame.bytes[1] == static_cast<uint8_t>(letter) ? 1 : 0;
        return count;
    }

    int WritesSeen() const
    {
        int writes = 0;
        for (const CEscSimulator::Frame& frame : sim->Frames())
            writes += frame.bytes.size() == 5 && frame.bytes[1] == 'w' ? 1 : 0;
        return writes;
    }

    QString Backup()
    {
        const QString path = dir.filePath(QStringLiteral("esc.escp"));
        const CliRun run = Cli({QStringLiteral("backup"), path});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        return path;
    }

    static void Patch(const QString& path, int offset, uint8_t value)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[offset] = static_cast<char>(value);
        file.seek(0);
        file.write(bytes);
    }

    QTemporaryDir dir;
    std::unique_ptr<CEscSimulator> sim;
    QString input;   // a file for standard input (empty: none)
};
