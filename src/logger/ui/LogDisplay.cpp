#include "logger/ui/LogDisplay.h"

#include <QCoreApplication>

#include "base/IPrompt.h"

void ShowLogs(const LogSelection& selection, QWidget* parent, IPrompt& prompt)
{
    Q_UNUSED(parent);
    QStringList logs;
    for (const LogEntry& entry : selection.logs)
        logs.append(QStringLiteral("%1 (%2)").arg(entry.number).arg(entry.DurationText().trimmed()));
    prompt.Message(QCoreApplication::translate("CLogLinkDlg", "Logs chosen: %1, %2 pages.")
                       .arg(logs.join(QStringLiteral(", ")))
                       .arg(selection.pageCount),
                   QStringLiteral("TORV"), IPrompt::Icon::Information, IPrompt::Buttons::Ok);
}
