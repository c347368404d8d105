#include "app/ui/CWidgetPrompt.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

CWidgetPrompt::CWidgetPrompt(QWidget* parent)
    : m_parent(parent)
{
}

QWidget* CWidgetPrompt::Parent() const
{
    if (m_parent == nullptr)
        return nullptr;
    // A dialog open over the main window keeps its prompts on top of it.
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_parent.data();
}

IPrompt::Answer CWidgetPrompt::Message(const QString& text, const QString& caption, Icon icon, Buttons buttons)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: boxIcon = QMessageBox::NoIcon; break;
    case Icon::Information: boxIcon = QMessageBox::Information; break;
    case Icon::Warning: boxIcon = QMessageBox::Warning; break;
    case Icon::Error: boxIcon = QMessageBox::Critical; break;
    case Icon::Question: boxIcon = QMessageBox::Question; break;
    }
    const QMessageBox::StandardButtons boxButtons = buttons == Buttons::Ok
        ? QMessageBox::StandardButtons(QMessageBox::Ok)
        : QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No);

    // Texts keep the "\r\n" line breaks of their origin; a bare "\n" shows
    // the same and leaves no stray carriage return.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

    QMessageBox box(boxIcon, caption, shown, boxButtons, Parent());
    if (buttons == Buttons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString CWidgetPrompt::DialogFilter(const QString& filter)
{
    const int open = filter.lastIndexOf(QLatin1Char('('));
    if (open < 0 || !filter.endsWith(QLatin1Char(')')))
        return filter;
    QStringList patterns = filter.mid(open + 1, filter.size() - open - 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!patterns.contains(QStringLiteral("*.*")))
        return filter;
    for (QString& pattern : patterns) {
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
    }
    return filter.left(open + 1) + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

std::optional<QString> CWidgetPrompt::RunFileDialog(const FileRequest& request, bool save)
{
    QFileDialog dialog(Parent(), request.title, request.initialFolder);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QStringList filters;
    for (const QString& filter : request.filters)
        filters.append(DialogFilter(filter));
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString suffix = request.defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (save && !request.promptOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

std::optional<QString> CWidgetPrompt::OpenFile(const FileRequest& request)
{
    return RunFileDialog(request, false);
}

std::optional<QString> CWidgetPrompt::SaveFile(const FileRequest& request)
{
    return RunFileDialog(request, true);
}

std::optional<QString> CWidgetPrompt::BrowseFolder(const QString& title, const QString& initialFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(Parent(), title, initialFolder);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

std::optional<quint32> CWidgetPrompt::ChooseColour(quint32 initial)
{
    const QColor colour = QColorDialog::getColor(QColor::fromRgba(initial), Parent());
    if (!colour.isValid())
        return std::nullopt;
    return colour.rgba();
}

void CWidgetPrompt::Beep()
{
    QApplication::beep();
}
