#include "cli/CConsolePrompt.h"

#include "cli/CCliOutput.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "base/CSignalWatcher.h"

#include <QByteArray>

IPrompt::Answer CConsolePrompt::Message(const QString& text, const QString&, Icon, Buttons buttons)
{
    Error(text);
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
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

void CConsolePrompt::Note(const QString& text)
{
    if (!CCliOutput::Quiet())
        Error(text);
}

int CConsolePrompt::Fail(int status, const QString& text)
{
    Error(text);
    return status;
}

CConsolePrompt::Confirmation CConsolePrompt::Confirm(const QString& question)
{
    if (isatty(STDIN_FILENO) != 1)
        return Confirmation::NoTerminal;
    std::fprintf(stderr, "%s ", question.toUtf8().constData());
    std::fflush(stderr);
    // The termination handler restarts interrupted reads, so the wait for
    // input watches for Ctrl+C itself (the signal may land on another
    // thread): Ctrl+C, like no answer at all, is No.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (::poll(&input, 1, 100) == 0 || (input.revents == 0 && errno == EINTR)) {
        if (CSignalWatcher::Requested()) {
            std::fputc('\n', stderr);
            return Confirmation::No;
        }
    }
    char line[64] = {};
    if (CSignalWatcher::Requested() || std::fgets(line, sizeof line, stdin) == nullptr) {
        std::fputc('\n', stderr);
        return Confirmation::No;
    }
    const QByteArray answer = QByteArray(line).trimmed().toLower();
    return answer == "y" || answer == "yes" ? Confirmation::Yes : Confirmation::No;
}
