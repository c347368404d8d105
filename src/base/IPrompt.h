#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// Every modal interaction with the user (message boxes, file dialogs, the
// folder browser, the colour chooser) and the system beep go through this
// interface. The program uses the widget implementation; tests replace it
// with scripted answers.
class IPrompt {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    // YesNoDefaultNo: Enter and Escape both answer No (destructive questions).
    enum class Buttons { Ok, YesNo, YesNoDefaultNo };
    enum class Answer { Ok, Yes, No, Cancel };

    struct FileRequest {
        QString title;
        QString defaultExtension;   // ".escp"
        QStringList filters;        // Qt filter strings: "Esc Parameter Files (*.escp)", "All Files (*.*)"
        QString initialFolder;
        QString fileName;
        bool mustExist = false;
        bool promptOverwrite = false;
    };

    virtual ~IPrompt() = default;

    virtual Answer Message(const QString& text, const QString& caption, Icon icon, Buttons buttons) = 0;
    virtual std::optional<QString> OpenFile(const FileRequest& request) = 0;
    virtual std::optional<QString> SaveFile(const FileRequest& request) = 0;
    virtual std::optional<QString> BrowseFolder(const QString& title, const QString& initialFolder) = 0;
    // Colours are 0xAARRGGBB values (the same type as QRgb, which lives in
    // Qt Gui and so cannot be named by the logic library).
    virtual std::optional<quint32> ChooseColour(quint32 initial) = 0;
    virtual void Beep() = 0;
};
