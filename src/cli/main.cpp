// torv-cli: the command-line TORV, over the same core as the window.

#include <QCoreApplication>
#include <QLoggingCategory>

#include "base/CSignalWatcher.h"
#include "cli/CCliArguments.h"
#include "cli/CCliCommands.h"
#include "cli/CConsolePrompt.h"
#include "cli/CliExit.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("torv-cli"));
    // Ctrl+C and SIGTERM are only recorded; long operations look at the
    // record between exchanges and wind down in order (the ESC is sent back
    // to 19200 baud before the program ends).
    CSignalWatcher interrupt({SIGINT, SIGTERM});

    CCliArguments arguments;
    const bool parsed = arguments.Parse(QCoreApplication::arguments().mid(1));
    // The diagnostics stay quiet unless -v asks for the link's trace.
    QLoggingCategory::setFilterRules(arguments.Verbose() ? QStringLiteral("torv.*.debug=false\ntorv.link.debug=true")
                                                         : QStringLiteral("torv.*.debug=false"));
    if (!parsed) {
        CConsolePrompt::Error(arguments.Error());
        return CliExit::Usage;
    }
    CCliCommands commands(arguments);
    return commands.Run();
}
