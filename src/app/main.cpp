#include "app/CStartup.h"
#include "app/CTORVModule.h"
#include "app/ui/CMainDlgFactory.h"
#include "app/ui/CWidgetPrompt.h"
#include "base/CSignalWatcher.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TORV"));
    // The main window ends its own event loop with the code of the command
    // that closed it; the application must not end it first.
    QApplication::setQuitOnLastWindowClosed(false);

    // Ended by a signal (Ctrl+C in the terminal, a logout, kill), TORV closes
    // its windows the normal way: the ESC goes back to 19200 baud, where the
    // next start finds it, and the settings are written.
    CSignalWatcher signalWatcher({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&signalWatcher, &CSignalWatcher::caught, &app, [] { QApplication::closeAllWindows(); });

    CTORVModule module;
    CWidgetPrompt prompt;
    CMainDlgFactory factory(module, prompt);
    CStartup startup(prompt, factory);
    return startup.Run();
}
