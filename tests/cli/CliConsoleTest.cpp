// torv-cli at the console: how it reads its command line, what each
// command's --help says, and how it asks and draws progress on a terminal
// (and only there).

#include <QRegularExpression>

#include "CliFixture.h"
#include "common/CTerminal.h"

namespace {

class CliConsoleTest : public CliTest {
protected:
    int EraseFrames() const { return FramesWith('e') + FramesWith('E'); }
};

// Every usage error ends before any device is touched (there is none here:
// a command that went on would end with status 3), with status 2 and one
// line on standard error that says what is wrong.
TEST_F(CliConsoleTest, UsageErrorsEndWithStatus2AndOneLineSayingWhatIsWrong)
{
    struct Case {
        QStringList args;
        QString error;
    };
    const Case cases[] = {
        {{}, "no command given (try --help)"},
        {{"frobnicate"}, "unknown command frobnicate (try --help)"},
        {{"logs", "frob"}, "unknown command logs frob (try --help)"},
        {{"help", "frob"}, "unknown command frob (try --help)"},
        {{"--frobnicate", "show"}, "unknown option --frobnicate"},
        {{"show", "--port"}, "--port needs a value"},
        {{"--max-speed", "1234", "identify"}, "--max-speed takes one of 1200 2400 4800 9600 19200 38400 56000 57600 115200 128000 230400 256000 460800"},
        {{"logs", "save", "d", "--log", "256"}, "--log takes a number from 0 to 255"},
        {{"logs", "save", "d", "--log=x"}, "--log takes a number from 0 to 255"},
        {{"monitor", "--seconds", "86401"}, "--seconds takes a number from 0 to 86400"},
        {{"logs", "plot", "f.csv", "-o", "x.png", "--size", "99x700"}, "--size takes WIDTHxHEIGHT, each from 100 to 8192 pixels"},
        {{"logs", "plot", "f.csv", "-o", "x.png", "--size", "1200"}, "--size takes WIDTHxHEIGHT, each from 100 to 8192 pixels"},
        {{"logs", "decode", "f.csv", "-o="}, "-o needs a file name"},
        {{"logs", "plot", "f.csv"}, "usage: torv-cli logs plot FILE.csv -o OUT.png [--size WxH]"},
        {{"get"}, "usage: torv-cli get NAME"},
        {{"set", "a", "b", "c"}, "usage: torv-cli set NAME VALUE"},
        {{"show", "--csv"}, "--csv belongs to torv-cli monitor"},
        {{"logs", "list", "--log", "1"}, "--log belongs to torv-cli logs save and torv-cli logs workbook"},
        {{"show", "--yes"}, "--yes belongs to torv-cli logs erase, logs write-image and flash"},
        {{"show", "--url", "http://127.0.0.1/Brisko.esc"}, "--url belongs to torv-cli library update"},
        {{"flash", "f.upd", "--bootloader"}, "--bootloader needs --devid and --hwver"},
        {{"flash", "f.upd", "--devid", "3", "--hwver", "2"}, "--devid and --hwver go with --bootloader"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, QStringLiteral("torv-cli: %1\n").arg(c.error));
        EXPECT_TRUE(run.out.isEmpty()) << run.out;
    }

    const CliRun group = Cli({"logs"});
    EXPECT_EQ(group.status, 2);
    EXPECT_TRUE(group.err.startsWith(QStringLiteral("torv-cli: usage: torv-cli logs list; torv-cli logs save DIR")))
        << group.err;

    // A negative number is a value, not an option: the command goes on to
    // look for the device.
    const CliRun negative = Cli({"set", "trim", "-2.5"});
    EXPECT_EQ(negative.status, 3) << negative.err;
}

// Each command listed in the program's help has a help of its own, shown
// without a device and without its operands, and "help COMMAND" shows the
// same.
TEST_F(CliConsoleTest, EveryCommandHasItsOwnHelpWithoutADevice)
{
    const CliRun general = Cli({"--help"});
    ASSERT_EQ(general.status, 0);
    const QString commands = general.out.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    const QStringList usages = commands.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(usages.size(), 20) << general.out;
    for (const char* usage : {"curves set NAME V1,V2,...", "library update [--url URL] [--check]"})
        EXPECT_TRUE(Holds(commands, usage));
    const QRegularExpression commandWords(QStringLiteral("^[a-z-]+( [a-z-]+)?(?= |$)"));
    for (QString usage : usages) {
        usage = usage.trimmed();
        const QString name = commandWords.match(usage).captured(0);
        SCOPED_TRACE(usage.toStdString());
        ASSERT_FALSE(name.isEmpty());
        if (name == QLatin1String("help"))
            continue;
        const CliRun help = Cli(name.split(QLatin1Char(' ')) + QStringList{"--help"});
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: torv-cli [options] %1\n\n").arg(usage))) << help.out;
        EXPECT_TRUE(help.err.isEmpty()) << help.err;
    }

    EXPECT_EQ(Cli({"help", "logs", "erase"}).out, Cli({"logs", "erase", "--help"}).out);
    const CliRun group = Cli({"help", "firmware"});
    EXPECT_EQ(group.status, 0);
    EXPECT_TRUE(Holds(group.out, "torv-cli [options] firmware list [DIR]"));
}

// The erase asks on the terminal and takes only yes for an answer: Enter
// keeps the logs, and so does Ctrl+C, which ends the program at once. The
// progress bar is drawn on a terminal and wiped when done; where standard
// error is no terminal it stays clean.
TEST_F(CliConsoleTest, TheEraseQuestionDefaultsToNoAndProgressIsDrawnOnlyOnATerminal)
{
    struct Case {
        const char* what;
        QByteArray answer;   // empty: Ctrl+C instead of an answer
        bool errorsOnTerminal;
        int status;
        bool erased;
    };
    const Case cases[] = {
        {"Enter", "\n", true, 2, false},
        {"Ctrl+C", "", false, 130, false},
        {"y, bar on the terminal", "y\n", true, 0, true},
        {"yes, errors into a pipe", "YES\n", false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartSim();
        sim->ClearFrames();
        CTerminal terminal;
        ASSERT_TRUE(terminal.IsOpen());
        QProcess process;
        terminal.Attach(process, true, c.errorsOnTerminal);
        Launch(process, {"logs", "erase", "--blocks"});
        QByteArray errors;
        ASSERT_TRUE(WaitFor([&] {
            if (!c.errorsOnTerminal) {
                process.waitForReadyRead(10);
                errors += process.readAllStandardError();
            }
            return (c.errorsOnTerminal ? terminal.Screen() : errors).contains("? [y/N] ");
        }, kRunDeadlineMs)) << "no question asked";
        EXPECT_EQ(EraseFrames(), 0) << "erased before the answer";
        if (c.answer.isEmpty()) {
            EXPECT_TRUE(SignalProcess(process, SIGINT)) << "the program had already ended";
        } else {
            ASSERT_TRUE(terminal.Type(c.answer));
        }
        const CliRun run = Finish(process);
        errors += run.err.toUtf8();
        const QByteArray screen = terminal.Screen();

        EXPECT_EQ(run.status, c.status) << (screen + errors).toStdString();
        EXPECT_EQ(MemoryErased(), c.erased);
        EXPECT_EQ(EraseFrames(), c.erased ? 8 : 0);
        EXPECT_TRUE(LeftAt19200());
        if (!c.erased) {
            const QByteArray said = c.errorsOnTerminal ? screen : errors;
            EXPECT_TRUE(said.contains("nothing erased")) << said.toStdString();
        }
        if (c.errorsOnTerminal && c.erased) {
            const qsizetype last = screen.lastIndexOf("] 8/8");
            EXPECT_TRUE(screen.contains("\rerase [") && last > 0) << screen.toStdString();
            EXPECT_TRUE(screen.indexOf("\r\033[K", last) > last) << "the bar stays on the terminal";
        }
        if (!c.errorsOnTerminal) {
            EXPECT_FALSE(errors.contains('\r') || errors.contains("erase [")) << errors.toStdString();
        }
    }
}

} // namespace
