// torv-cli: the command-line TORV, over the same core as the window.

#include <QCoreApplication>
#include <QLoggingCategory>

#include "cli/CCliArguments.h"
#include "cli/CCliCommands.h"
#include "cli/CConsolePrompt.h"
#include "cli/CInterrupt.h"
#include "cli/CliExit.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("torv-cli"));
    CInterrupt::Install();

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
