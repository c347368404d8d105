#include "app/CStartup.h"
#include "app/CTORVModule.h"
#include "app/ui/CMainDlgFactory.h"
#include "app/ui/CWidgetPrompt.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TORV"));
    // The main window ends its own event loop with the code of the command
    // that closed it; the application must not end it first.
    QApplication::setQuitOnLastWindowClosed(false);

    CTORVModule module;
    CWidgetPrompt prompt;
    CMainDlgFactory factory(module, prompt);
    CStartup startup(prompt, factory);
    return startup.Run();
}
