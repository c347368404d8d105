#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include "common/CSimulatedLink.h"
#include "common/SignalProcess.h"
#include "common/TestFiles.h"
#include "common/WaitFor.h"

namespace {

constexpr int kDeadlineMs = 20000;

// The real program, copied with its library into a folder of its own so that
// its TORV.ini lands there, connected to a simulated ESC and then ended by a
// signal as a logout or a kill would end it.
TEST(ProgramSignal, TerminationSignalsLeaveTheEscAt19200AndWriteTheSettings)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        QTemporaryDir dir;
        CSimulatedLink link;
        const QString program = dir.filePath(QStringLiteral("torv"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TORV_PROGRAM), program));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"),
                                dir.filePath(QStringLiteral("Brisko.esc"))));
        const QString ini = TestFiles::Write(dir.path(), QStringLiteral("TORV.ini"),
                                             QStringLiteral("[TORV]\nPort=%1\n").arg(link.PortName()).toUtf8());

        QProcess torv;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TORV_LIMIT_FACTOR"), QStringLiteral("5"));
        torv.setProcessEnvironment(env);
        torv.start(program, {});
        ASSERT_TRUE(torv.waitForStarted());
        ASSERT_TRUE(WaitFor([&] { return link.Sim().DeviceBaud() == 460800; }, kDeadlineMs));

        EXPECT_TRUE(SignalProcess(torv, signalNumber)) << "the program had already ended";
        ASSERT_TRUE(torv.waitForFinished(kDeadlineMs));
        EXPECT_EQ(torv.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(link.Sim().DeviceBaud(), 19200);
        const QByteArray settings = TestFiles::Read(ini);
        EXPECT_TRUE(settings.contains("cx=")) << settings.toStdString();
    }
}

}
