#include "cli/CConsolePrompt.h"

#include <cstdio>

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
