#pragma once

#include "base/IPrompt.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// IPrompt with answers scripted by the test. Answers are consumed in the
// order they were queued, each by a prompt of its own kind; every prompt is
// recorded so the test can check the exact texts. A prompt that finds no
// answer of its kind at the front of the queue fails the test and is
// answered No (Ok for a message with only Ok) or Cancel. Answers still queued
// when the prompt is destroyed fail the test too.
class CScriptedPrompt : public IPrompt {
public:
    enum class Kind { Message, OpenFile, SaveFile, BrowseFolder, ChooseColour };

    struct Request {
        Kind kind = Kind::Message;
        QString text;                // message text, or the folder browser's title
        QString caption;
        Icon icon = Icon::None;
        Buttons buttons = Buttons::Ok;
        FileRequest file;            // open and save dialogs
    };

    CScriptedPrompt() = default;
    ~CScriptedPrompt() override;

    void AnswerMessage(Answer answer);
    void AnswerOpenFile(std::optional<QString> file);
    void AnswerSaveFile(std::optional<QString> file);
    void AnswerBrowseFolder(std::optional<QString> folder);
    void AnswerColour(std::optional<quint32> colour);

    const std::vector<Request>& Requests() const { return m_requests; }
    std::vector<Request> Messages() const;  // the message boxes only
    int Beeps() const { return m_beeps; }
    // Called with every message box before it is answered, so that a test
    // can look at the state under the box.
    std::function<void(const Request&)> onMessage;

    Answer Message(const QString& text, const QString& caption, Icon icon, Buttons buttons) override;
    std::optional<QString> OpenFile(const FileRequest& request) override;
    std::optional<QString> SaveFile(const FileRequest& request) override;
    std::optional<QString> BrowseFolder(const QString& title, const QString& initialFolder) override;
    std::optional<quint32> ChooseColour(quint32 initial) override;
    void Beep() override { ++m_beeps; }

private:
    struct Scripted {
        Kind kind = Kind::Message;
        Answer answer = Answer::No;
        std::optional<QString> text;
        std::optional<quint32> colour;
    };

    // Records the request (a message box is shown to onMessage), then takes
    // the front answer when it is of the request's kind; otherwise records a
    // failure and returns false.
    bool Ask(const Request& request, const QString& what, Scripted& answer);
    std::optional<QString> FileDialog(Kind kind, const FileRequest& file);

    std::deque<Scripted> m_answers;
    std::vector<Request> m_requests;
    int m_beeps = 0;
};
