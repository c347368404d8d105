#include "app/CStartup.h"
#include "app/CTORVModule.h"
#include "app/ui/CMainDlgFactory.h"
#include "app/ui/CWidgetPrompt.h"
#include "base/CSignalWatcher.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char* const kHelp =
    "Usage: torv [options]\n"
    "\n"
    "Configures an electronic speed controller (ESC) of a radio-controlled model over its\n"
    "serial link: finds and identifies the ESC, shows its parameters in a list in which every\n"
    "edit is written to the ESC and read back, saves and loads parameter files, uploads\n"
    "firmware, downloads and charts the onboard logger's records, edits curves, writes\n"
    "melodies and shows live values in a measurement panel. torv-cli does the same from a\n"
    "terminal or a script.\n"
    "\n"
    "Options:\n"
    "  -h, --help        show this text and exit\n"
    "  -V, --version     show the program's version and exit\n"
    "Other arguments are left to the toolkit (for example -platform offscreen).\n"
    "\n"
    "Files:\n"
    "  TORV.ini          the settings: beside the program when its folder is writable, else\n"
    "                    $XDG_CONFIG_HOME/TORV/TORV.ini (by default ~/.config/TORV/TORV.ini)\n"
    "  Brisko.esc        the sample device library: beside the program, else in the share/torv\n"
    "                    folder of the installation; the ESCFile setting names another\n"
    "  torvN.qm          a translation beside the program, N being the language identifier\n"
    "                    of the user's locale (1049 for ru-RU)\n"
    "\n"
    "Environment:\n"
    "  TORV_UPDATE_URL   where the library update downloads the device library from\n"
    "\n"
    "See also:\n"
    "  torv-cli(1)\n";

// -h/--help and -V/--version are answered before any window system is
// asked for, so that they work without a display. Other arguments are the
// toolkit's.
bool AnswersOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("torv %s\n", TORV_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswersOption(argc, argv))
        return 0;
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
