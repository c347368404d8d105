#pragma once

#include "base/IPrompt.h"

// The prompt of the command line: messages go to standard error, one line
// each; questions are never asked (the command's options decide), so they
// are answered No; there are no file dialogs.
class CConsolePrompt : public IPrompt {
public:
    Answer Message(const QString& text, const QString& caption, Icon icon, Buttons buttons) override;
    void Beep() override;

    // No dialogs: each is cancelled.
    std::optional<QString> OpenFile(const FileRequest& request) override;
    std::optional<QString> SaveFile(const FileRequest& request) override;
    std::optional<QString> BrowseFolder(const QString& title, const QString& initialFolder) override;
    std::optional<quint32> ChooseColour(quint32 initial) override;

    // One error line on standard error: "torv-cli: text" with line breaks
    // of the text made blanks.
    static void Error(const QString& text);
    // A line like Error's that is no error (a warning, a wait, a summary):
    // left out with --quiet.
    static void Note(const QString& text);
    // Error(text), then the exit status to return.
    static int Fail(int status, const QString& text);

    enum class Confirmation { Yes, No, NoTerminal };
    // Asks the question on standard error and reads the answer from
    // standard input: "y" or "yes" (any case) is Yes, anything else No.
    // Without a terminal on standard input nothing is asked.
    static Confirmation Confirm(const QString& question);
};
