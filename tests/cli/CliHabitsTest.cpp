// How torv-cli finds its port and library when no option names them, what
// each command's help lists, and what --quiet leaves out.

#include "cli/CliFixture.h"

#include "common/TestFiles.h"

namespace {

// A copy of torv-cli in a folder of its own: no library and no TORV.ini
// beside it, unless the test puts them there.
class CliHabitsTest : public CliTest {
protected:
    void SetUp() override
    {
        program = dir.filePath(QStringLiteral("torv-cli"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TORV_CLI_PATH), program));
        QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeUser);
    }

    // Runs the copy with only the given arguments and these variables set.
    CliRun Bare(const QStringList& args, const QStringList& variables = {})
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("none")));
        env.insert(QStringLiteral("TORV_LIMIT_FACTOR"), QStringLiteral("5"));
        for (const QString& variable : variables)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted());
        return Finish(process);
    }

    QString program;
};

TEST_F(CliHabitsTest, PortAndLibraryComeFromTheOptionsThenTheEnvironmentThenTorvIni)
{
    StartSim();
    const QString library = QStringLiteral("TORV_LIBRARY=") + kLibrary;

    // No port anywhere: the error says how to name one.
    const CliRun none = Bare({QStringLiteral("identify")}, {library});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(none.err.startsWith(QStringLiteral("torv-cli: no serial port named: give one with --port PATH or "
                                                   "TORV_PORT=PATH, or as Port in %1/TORV.ini (")
                                        .arg(dir.path())))
        << none.err.toStdString();
    EXPECT_EQ(none.err.count(QLatin1Char('\n')), 1);

    // The environment names both.
    const CliRun named = Bare({QStringLiteral("identify")}, {library, QStringLiteral("TORV_PORT=") + Port()});
    EXPECT_EQ(named.status, 0) << named.err.toStdString();
    EXPECT_TRUE(named.out.contains(Port())) << named.out.toStdString();

    // The options come before the environment, and the environment before
    // TORV.ini.
    TestFiles::Write(QDir(dir.path()), QStringLiteral("TORV.ini"), "[TORV]\nPort=/dev/torv-none\n");
    EXPECT_EQ(Bare({QStringLiteral("identify")}, {library}).status, 3);
    EXPECT_EQ(Bare({QStringLiteral("identify")}, {library, QStringLiteral("TORV_PORT=") + Port()}).status, 0);
    EXPECT_EQ(Bare({QStringLiteral("--port"), Port(), QStringLiteral("identify")},
                   {library, QStringLiteral("TORV_PORT=/dev/torv-none")})
                  .status,
              0);
    const CliRun noLibrary = Bare({QStringLiteral("--port"), Port(), QStringLiteral("identify")},
                                  {QStringLiteral("TORV_LIBRARY=") + dir.filePath(QStringLiteral("none.esc"))});
    EXPECT_EQ(noLibrary.status, 4);
    EXPECT_TRUE(noLibrary.err.contains(dir.filePath(QStringLiteral("none.esc")))) << noLibrary.err.toStdString();
}

TEST_F(CliHabitsTest, EachCommandsHelpListsOnlyItsOptionsAndShortFormsWork)
{
    const CliRun monitor = Bare({QStringLiteral("monitor"), QStringLiteral("-h")});
    EXPECT_EQ(monitor.status, 0);
    const QString options = monitor.out.section(QStringLiteral("Options:\n"), 1);
    for (const char* option : {"--seconds N", "--csv", "--port PATH", "--library FILE", "--json", "-q, --quiet"})
        EXPECT_TRUE(options.contains(QLatin1String(option))) << option << "\n" << options.toStdString();
    for (const char* option : {"--force", "--url", "--log", "--yes", "--size", "--blocks"})
        EXPECT_FALSE(options.contains(QLatin1String(option))) << option << "\n" << options.toStdString();

    const CliRun ports = Bare({QStringLiteral("ports"), QStringLiteral("--help")});
    EXPECT_FALSE(ports.out.contains(QStringLiteral("--port"))) << ports.out.toStdString();
    EXPECT_FALSE(ports.out.contains(QStringLiteral("--library"))) << ports.out.toStdString();

    const CliRun general = Bare({QStringLiteral("-h")});
    EXPECT_EQ(general.out, Bare({QStringLiteral("--help")}).out);
    for (const char* text : {"-V, --version", "-h, --help", "TORV_PORT", "TORV_LIBRARY"})
        EXPECT_TRUE(general.out.contains(QLatin1String(text))) << text;
    const CliRun version = Bare({QStringLiteral("-V")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Bare({QStringLiteral("--version")}).out);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("torv-cli "))) << version.out.toStdString();
}

TEST_F(CliHabitsTest, QuietLeavesOnlyErrorsAndTheDataAskedFor)
{
    StartSim();
    const QString path = dir.filePath(QStringLiteral("quiet.escp"));
    const CliRun backup = Cli({QStringLiteral("-q"), QStringLiteral("backup"), path});
    EXPECT_EQ(backup.status, 0) << backup.err.toStdString();
    EXPECT_TRUE(backup.out.isEmpty()) << backup.out.toStdString();
    EXPECT_TRUE(backup.err.isEmpty()) << backup.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(path));

    const CliRun monitor = Cli({QStringLiteral("--quiet"), QStringLiteral("monitor"), QStringLiteral("--seconds"),
                                QStringLiteral("1")});
    EXPECT_EQ(monitor.status, 0) << monitor.err.toStdString();
    EXPECT_TRUE(monitor.err.isEmpty()) << monitor.err.toStdString();
    EXPECT_TRUE(monitor.out.startsWith(QStringLiteral("0.00  servo"))) << monitor.out.toStdString();

    const CliRun failed = Cli({QStringLiteral("--quiet"), QStringLiteral("diff"), dir.filePath(QStringLiteral("none"))});
    EXPECT_EQ(failed.status, 4);
    EXPECT_TRUE(failed.err.startsWith(QStringLiteral("torv-cli: Unable to open file"))) << failed.err.toStdString();
}

} // namespace
