#pragma once

#include "base/IPrompt.h"

#include <QPointer>
#include <QWidget>

// The prompts as the user sees them: message boxes, the file and folder
// dialogs and the colour chooser, modal to the parent window when one is set.
class CWidgetPrompt : public IPrompt {
public:
    explicit CWidgetPrompt(QWidget* parent = nullptr);

    void SetParent(QWidget* parent) { m_parent = parent; }

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
