// torv-cli: the command-line TORV, over the same core as the window.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <memory>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliCommands.h"
#include "cli/CCliOutput.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    CCliArguments arguments;
    const bool parsed = arguments.Parse(args);
    CCliOutput::SetQuiet(arguments.Quiet());
    // Standard error carries this program's own one-line errors; the
    // toolkit's and the core's warnings (a missing XDG_RUNTIME_DIR, a line
    // that takes no settings) would only repeat or blur them. -v shows them,
    // and the link's trace. Set before the application exists, since the
    // toolkit warns while it starts.
    QLoggingCategory::setFilterRules(arguments.Verbose() ? QStringLiteral("torv.*.debug=false\ntorv.link.debug=true")
                                                         : QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));

    // Only logs plot draws: it gets a Gui application on the offscreen
    // platform, so that it needs no display. Every other command stays on
    // Qt Core.
    std::unique_ptr<QCoreApplication> app;
    if (parsed && !arguments.Help() && !arguments.Version() && arguments.Command() == QLatin1String("logs plot")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("torv-cli"));
    // Ctrl+C, SIGTERM and SIGHUP (a closing terminal) are only recorded;
    // long operations look at the record between exchanges and wind down in
    // order (the ESC is sent back to 19200 baud before the program ends).
    CSignalWatcher interrupt({SIGINT, SIGTERM, SIGHUP});
    if (!parsed) {
        CConsolePrompt::Error(arguments.Error());
        return CliExit::Usage;
    }
    CCliCommands commands(arguments);
    return commands.Run();
}
