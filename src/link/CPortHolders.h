#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The programs that hold a device open, as /proc tells them: every process
// other than the one asking whose open files include a link to the device.
// Processes of other users (root's ModemManager among them) hide their open
// files; of those, only which programs run is known.
class CPortHolders {
public:
    struct Holder {
        int pid = 0;
        QString name;  // the program's name as /proc/<pid>/comm gives it
    };

    explicit CPortHolders(const QString& procRoot = QStringLiteral("/proc"));

    // The processes that hold devicePath (or the device it links to) open,
    // in process order.
    std::vector<Holder> Of(const QString& devicePath) const;

    // The processes of the program called name (as comm gives it).
    std::vector<Holder> Running(const QString& name) const;

private:
    std::vector<int> Pids() const;
    bool Holds(int pid, const QByteArray& device) const;
    QString Name(int pid) const;

    QString m_procRoot;
};
