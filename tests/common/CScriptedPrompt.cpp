#include "common/CScriptedPrompt.h"

#include <gtest/gtest.h>

namespace {
const char* KindName(CScriptedPrompt::Kind kind)
{
    switch (kind) {
    case CScriptedPrompt::Kind::Message: return "message";
    case CScriptedPrompt::Kind::OpenFile: return "open file";
    case CScriptedPrompt::Kind::SaveFile: return "save file";
    case CScriptedPrompt::Kind::BrowseFolder: return "browse folder";
    case CScriptedPrompt::Kind::ChooseColour: return "choose colour";
    }
    return "?";
}
}

CScriptedPrompt::~CScriptedPrompt()
{
    for (const Scripted& left : m_answers)
        ADD_FAILURE() << "scripted " << KindName(left.kind) << " answer was never asked for";
}

void CScriptedPrompt::AnswerMessage(Answer answer)
{
    m_answers.push_back(Scripted { Kind::Message, answer, std::nullopt, std::nullopt });
}

void CScriptedPrompt::AnswerOpenFile(std::optional<QString> file)
{
    m_answers.push_back(Scripted { Kind::OpenFile, Answer::Ok, std::move(file), std::nullopt });
}

void CScriptedPrompt::AnswerSaveFile(std::optional<QString> file)
{
    m_answers.push_back(Scripted { Kind::SaveFile, Answer::Ok, std::move(file), std::nullopt });
}

void CScriptedPrompt::AnswerBrowseFolder(std::optional<QString> folder)
{
    m_answers.push_back(Scripted { Kind::BrowseFolder, Answer::Ok, std::move(folder), std::nullopt });
}

void CScriptedPrompt::AnswerColour(std::optional<quint32> colour)
{
    m_answers.push_back(Scripted { Kind::ChooseColour, Answer::Ok, std::nullopt, colour });
}

std::vector<CScriptedPrompt::Request> CScriptedPrompt::Messages() const
{
    std::vector<Request> messages;
    for (const Request& r : m_requests) {
        if (r.kind == Kind::Message)
            messages.push_back(r);
    }
    return messages;
}

bool CScriptedPrompt::Ask(const Request& request, const QString& what, Scripted& answer)
{
    m_requests.push_back(request);
    if (request.kind == Kind::Message && onMessage)
        onMessage(request);
    if (m_answers.empty() || m_answers.front().kind != request.kind) {
        ADD_FAILURE() << "unexpected " << KindName(request.kind) << " prompt: \"" << what.toStdString() << "\""
                      << (m_answers.empty() ? " (no answer left)"
                                            : std::string(" (next answer is for a ") + KindName(m_answers.front().kind) + ")");
        return false;
    }
    answer = std::move(m_answers.front());
    m_answers.pop_front();
    return true;
}

IPrompt::Answer CScriptedPrompt::Message(const QString& text, const QString& caption, Icon icon, Buttons buttons)
{
    Request request;
    request.text = text;
    request.caption = caption;
    request.icon = icon;
    request.buttons = buttons;
    Scripted answer;
    if (!Ask(request, text, answer))
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    return answer.answer;
}

std::optional<QString> CScriptedPrompt::FileDialog(Kind kind, const FileRequest& file)
{
    Request request;
    request.kind = kind;
    request.file = file;
    Scripted answer;
    return Ask(request, file.title, answer) ? answer.text : std::nullopt;
}

std::optional<QString> CScriptedPrompt::OpenFile(const FileRequest& request)
{
    return FileDialog(Kind::OpenFile, request);
}

std::optional<QString> CScriptedPrompt::SaveFile(const FileRequest& request)
{
    return FileDialog(Kind::SaveFile, request);
}

std::optional<QString> CScriptedPrompt::BrowseFolder(const QString& title, const QString&)
{
    Request request;
    request.kind = Kind::BrowseFolder;
    request.text = title;
    Scripted answer;
    return Ask(request, title, answer) ? answer.text : std::nullopt;
}

std::optional<quint32> CScriptedPrompt::ChooseColour(quint32 initial)
{
    Request request;
    request.kind = Kind::ChooseColour;
    Scripted answer;
    return Ask(request, QString::number(initial, 16), answer) ? answer.colour : std::nullopt;
}
