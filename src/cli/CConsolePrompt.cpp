#include "cli/CConsolePrompt.h"

#include <cstdio>
#include <unistd.h>

#include <QByteArray>

IPrompt::Answer CConsolePrompt::Message(const QString& text, const QString&, Icon, Buttons buttons)
{
    Error(text);
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

std::optional<QString> CConsolePrompt::OpenFile(const FileRequest&)
{
    return std::nullopt;
}

std::optional<QString> CConsolePrompt::SaveFile(const FileRequest&)
{
    return std::nullopt;
}

std::optional<QString> CConsolePrompt::BrowseFolder(const QString&, const QString&)
{
    return std::nullopt;
}

std::optional<quint32> CConsolePrompt::ChooseColour(quint32)
{
    return std::nullopt;
}

void CConsolePrompt::Beep()
{
}

void CConsolePrompt::Error(const QString& text)
{
    const QString line = text.simplified();
    std::fprintf(stderr, "torv-cli: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

CConsolePrompt::Confirmation CConsolePrompt::Confirm(const QString& question)
{
    if (isatty(STDIN_FILENO) != 1)
        return Confirmation::NoTerminal;
    std::fprintf(stderr, "%s ", question.toUtf8().constData());
    std::fflush(stderr);
    char line[64] = {};
    // Ctrl+C while waiting ends the read (the handler does not restart it):
    // no answer is No.
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        std::fputc('\n', stderr);
        return Confirmation::No;
    }
    const QByteArray answer = QByteArray(line).trimmed().toLower();
    return answer == "y" || answer == "yes" ? Confirmation::Yes : Confirmation::No;
}
