#pragma once

#include "base/IPrompt.h"

#include <QPointer>
#include <QWidget>

// The prompts as the user sees them: message boxes, the file and folder
// dialogs and the colour chooser. Once the main window is set as parent they
// are its dialogs (centred on it, no minimise button), or those of the
// modal dialog open over it; before that (the start-up asking for a device
// library) they stand alone.
class CWidgetPrompt : public IPrompt {
public:
    explicit CWidgetPrompt(QWidget* parent = nullptr);

    // The main window; the prompt forgets it when the window is destroyed.
    void SetParent(QWidget* parent) { m_parent = parent; }
    // The window the next prompt belongs to, nullptr for none.
    QWidget* Parent() const;

    Answer Message(const QString& text, const QString& caption, Icon icon, Buttons buttons) override;
    std::optional<QString> OpenFile(const FileRequest& request) override;
    std::optional<QString> SaveFile(const FileRequest& request) override;
    std::optional<QString> BrowseFolder(const QString& title, const QString& initialFolder) override;
    std::optional<quint32> ChooseColour(quint32 initial) override;
    void Beep() override;

    // A filter as the Qt file dialog needs it: "*.*" matches every file, as
    // it does for the users of the texts, not only names with a dot.
    static QString DialogFilter(const QString& filter);

private:
    std::optional<QString> RunFileDialog(const FileRequest& request, bool save);

    QPointer<QWidget> m_parent;
};
