#pragma once
// The prompt of the command line: every message the core shows goes to standard error as one
// line, and every question is answered at once, never asked: with the answer the command set
// (the safe one, or Yes under --yes). What was shown is kept for the JSON result.
#include "base/Prompt.h"

#include <QJsonArray>
#include <mutex>

class CliTerminal;

class CliPrompt : public IPrompt {
public:
    CliPrompt(CliTerminal& terminal, bool quiet);   // installs itself
    ~CliPrompt() override;                           // restores the stand-in

    void Message(const QString& text, const QString& caption, PromptIcon icon) override;
    bool Question(const QString& text, const QString& caption) override;
    void ShowMessage(const QString& text) override;
    QString ChooseFile(const FileRequest& request) override;   // always cancelled: files are named

    // The answer to every question from now on.
    void SetAnswer(bool yes);
    // A note of the tool's own, shown like an information message.
    void Note(const QString& text);
    // A failure of the tool's own, shown like an error message.
    void Error(const QString& text);
    // A message, unless the same text has been shown already.
    void ShowOnce(const QString& text, PromptIcon icon);

    QJsonArray Messages() const;   // [{ "level": ..., "text": ... }] in order
    int Errors() const;            // error and warning messages shown

    // A message as one line: line breaks become spaces.
    static QString OneLine(const QString& text);

private:
    void Show(const char* level, const QString& text, bool always);

    CliTerminal& m_terminal;
    const bool m_quiet;
    mutable std::mutex m_mutex;
    bool m_answer = false;
    QJsonArray m_messages;
    int m_errors = 0;
};
