// How torv-cli finds its port and library when no option names them, what
// each command's help lists, and what --quiet leaves out.

#include "cli/CliFixture.h"

namespace {

// A copy of torv-cli in a folder of its own: no library and no TORV.ini
// beside it, unless the test puts them there.
class CliHabitsTest : public CliTest {
protected:
    void SetUp() override
    {
        program = dir.filePath(QStringLiteral("torv-cli"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TORV_CLI_PATH), program));
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
    const QString port = QStringLiteral("TORV_PORT=") + Port();

    // No port anywhere: the error says how to name one.
    const CliRun none = Bare({"identify"}, {library});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(none.err.startsWith(QStringLiteral("torv-cli: no serial port named: give one with --port PATH or "
                                                   "TORV_PORT=PATH, or as Port in %1/TORV.ini (")
                                        .arg(dir.path())))
        << none.err;
    EXPECT_EQ(none.err.count(QLatin1Char('\n')), 1);

    // The environment names both.
    const CliRun named = Bare({"identify"}, {library, port});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(Holds(named.out, Port()));

    // The options come before the environment, and the environment before
    // TORV.ini.
    WriteFile("TORV.ini", "[TORV]\nPort=/dev/torv-none\n");
    EXPECT_EQ(Bare({"identify"}, {library}).status, 3);
    EXPECT_EQ(Bare({"identify"}, {library, port}).status, 0);
    EXPECT_EQ(Bare({"--port", Port(), "identify"}, {library, "TORV_PORT=/dev/torv-none"}).status, 0);
    const QString noLibrary = dir.filePath(QStringLiteral("none.esc"));
    EXPECT_TRUE(Ended(Bare({"--port", Port(), "identify"}, {"TORV_LIBRARY=" + noLibrary}), 4, noLibrary));
}

TEST_F(CliHabitsTest, EachCommandsHelpListsOnlyItsOptionsAndShortFormsWork)
{
    const CliRun monitor = Bare({"monitor", "-h"});
    EXPECT_EQ(monitor.status, 0);
    const QString options = monitor.out.section(QStringLiteral("Options:\n"), 1);
    for (const char* option : {"--seconds N", "--csv", "--port PATH", "--library FILE", "--json", "-q, --quiet"})
        EXPECT_TRUE(Holds(options, option));
    for (const char* option : {"--force", "--url", "--log", "--yes", "--size", "--blocks"})
        EXPECT_FALSE(options.contains(QLatin1String(option))) << option << "\n" << options;

    const CliRun ports = Bare({"ports", "--help"});
    EXPECT_FALSE(ports.out.contains(QStringLiteral("--port"))) << ports.out;
    EXPECT_FALSE(ports.out.contains(QStringLiteral("--library"))) << ports.out;

    const CliRun general = Bare({"-h"});
    EXPECT_EQ(general.out, Bare({"--help"}).out);
    for (const char* text : {"-V, --version", "-h, --help", "TORV_PORT", "TORV_LIBRARY"})
        EXPECT_TRUE(Holds(general.out, text));
    const CliRun version = Bare({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, Bare({"--version"}).out);
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("torv-cli "))) << version.out;
}

TEST_F(CliHabitsTest, QuietLeavesOnlyErrorsAndTheDataAskedFor)
{
    StartSim();
    const QString path = dir.filePath(QStringLiteral("quiet.escp"));
    const CliRun backup = Cli({"-q", "backup", path});
    EXPECT_EQ(backup.status, 0) << backup.err;
    EXPECT_TRUE(backup.out.isEmpty()) << backup.out;
    EXPECT_TRUE(backup.err.isEmpty()) << backup.err;
    EXPECT_TRUE(QFileInfo::exists(path));

    const CliRun monitor = Cli({"--quiet", "monitor", "--seconds", "1"});
    EXPECT_EQ(monitor.status, 0) << monitor.err;
    EXPECT_TRUE(monitor.err.isEmpty()) << monitor.err;
    EXPECT_TRUE(monitor.out.startsWith(QStringLiteral("0.00  servo"))) << monitor.out;

    const CliRun failed = Cli({"--quiet", "diff", dir.filePath(QStringLiteral("none"))});
    EXPECT_EQ(failed.status, 4);
    EXPECT_TRUE(failed.err.startsWith(QStringLiteral("torv-cli: Unable to open file"))) << failed.err;
}

} // namespace
