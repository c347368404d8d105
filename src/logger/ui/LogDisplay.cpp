#include "logger/ui/LogDisplay.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>

#include "base/IPrompt.h"
#include "logger/CLogWorkbook.h"
#include "logger/LoggerLog.h"
#include "logger/LoggerPage.h"
#include "logger/ui/CChartDlg.h"

void ShowLogs(const LogSelection& selection, const LogDisplayContext& context, QWidget* parent, IPrompt& prompt)
{
    if (selection.workbook) {
        IPrompt::FileRequest request;
        request.defaultExtension = QStringLiteral(".xml");
        request.filters = {QCoreApplication::translate("CLogLinkDlg", "XML Spreadsheet (*.xml)")};
        request.initialFolder = context.saveFolder;
        request.fileName = QStringLiteral("logs.xml");
        request.promptOverwrite = true;
        if (const std::optional<QString> path = prompt.SaveFile(request)) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            QString error;
            const bool saved = CLogWorkbook::Save(*path, selection.esc, selection.snapshot, selection.pages.data(),
                                                  selection.pageCount, &error);
            QApplication::restoreOverrideCursor();
            if (!saved) {
                // The user chose where the workbook goes: a failure must not
                // pass for a written file. The chart still opens.
                qCDebug(lcLogger) << "log workbook not written:" << error;
                prompt.Message(QCoreApplication::translate("CChartDlg", "Unable to write to file"),
                               QStringLiteral("TORV"), IPrompt::Icon::Information, IPrompt::Buttons::Ok);
            }
        }
    }
    CChartDlg::Input input;
    input.pages = selection.pages.data();
    input.pageCount = std::min<std::size_t>(selection.pageCount, selection.pages.size() / LoggerPage::kSize);
    input.logger = selection.logger;
    input.snapshot = selection.snapshot;
    input.settingsPath = context.settingsPath;
    input.saveFolder = context.saveFolder;
    CChartDlg dialog(std::move(input), prompt, parent);
    if (context.dialogHook)
        context.dialogHook(dialog);
    dialog.exec();
}
