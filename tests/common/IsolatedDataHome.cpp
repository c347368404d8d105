// Compiled into every test program (not into the support library, which
// would leave this unreferenced object out): before any test runs, the
// program and the programs it starts keep their data, ESC backups among
// them, in a folder of their own instead of the user's data folder, however
// the program is run.

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

struct IsolatedDataHome {
    IsolatedDataHome()
    {
        if (!folder.isValid()) {
            std::fprintf(stderr, "cannot create a temporary data folder: %s\n", qPrintable(folder.errorString()));
            std::abort();
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(folder.path()));
    }

    QTemporaryDir folder;
};

const IsolatedDataHome kIsolatedDataHome;

} // namespace
