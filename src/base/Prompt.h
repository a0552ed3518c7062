#pragma once
// Every message box and question of the program goes through one interface, so that the
// windows show real message boxes and tests answer with scripted replies.
#include <QString>
#include <QStringList>
#include <QMutex>
#include <deque>
#include <functional>
#include <vector>

enum class PromptIcon { None, Information, Warning, Error, Question, Exclamation };

// What a file dialog is asked for (export, import, backup, restore).
struct FileRequest {
    bool save = false;         // a save dialog (else an open dialog)
    QString title;             // dialog title
    QString folder;            // folder shown first (empty: the current one)
    QString fileName;          // proposed file name (save dialogs)
    QString filter;            // e.g. "CSV (*.csv);;Alle Dateien (*.*)"
};

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // A message box with one OK button.
    virtual void Message(const QString& text, const QString& caption, PromptIcon icon) = 0;
    // A Yes/No question with the question icon; true means Yes.
    virtual bool Question(const QString& text, const QString& caption) = 0;
    // The same for a question whose Yes destroys something: No is the default button, so a
    // stray Enter does not confirm it. Prompts without buttons answer it like any other.
    virtual bool QuestionDefaultNo(const QString& text, const QString& caption) { return Question(text, caption); }
    // The self-closing confirmation window (green bold text, gone after 2000 ms).
    virtual void ShowMessage(const QString& text) = 0;
    // A file dialog; the chosen full path, or an empty text when the user cancelled.
    virtual QString ChooseFile(const FileRequest& request) = 0;
    // A password, typed hidden; a null text when the user cancelled. Never logged or kept
    // by the prompt. Prompts without a way to ask (tools, the stand-in) cancel.
    virtual QString Password(const QString& text, const QString& caption)
    {
        (void)text;
        (void)caption;
        return {};
    }
};

// The prompt in force. Until something is installed, a prompt that only logs to stderr
// and answers No stands in, so nothing ever waits for a human by accident.
IPrompt& Prompt();
void SetPrompt(IPrompt* prompt);   // nullptr restores the logging stand-in

// A worker thread's prompts can be given up when nobody is left to answer them (the program
// is closing). While a scope lives on a thread, a prompt of that thread that waits for the
// GUI thread and has not been shown yet returns as soon as `abandoned` holds (a question
// then counts as No). Prompts that run on the calling thread are not affected.
class PromptAbandonScope {
public:
    explicit PromptAbandonScope(std::function<bool()> abandoned);
    ~PromptAbandonScope();
    PromptAbandonScope(const PromptAbandonScope&) = delete;
    PromptAbandonScope& operator=(const PromptAbandonScope&) = delete;

private:
    std::function<bool()> m_previous;
};
bool PromptAbandoned();   // the calling thread's scope says give up

// Caption of message boxes: the program title (text 74) once the texts are loaded.
void SetCaptionProvider(std::function<QString()> provider);
QString PromptCaption();

// Shorthands with the program's caption.
void ShowError(const QString& text);        // error icon
void ShowWarning(const QString& text);      // warning icon
void ShowExclamation(const QString& text);  // exclamation icon (store errors)
void ShowInfo(const QString& text);         // information icon
bool AskYesNo(const QString& text);         // question icon, true = Yes
bool AskDestructive(const QString& text);   // the same with No as the default button
QString ChooseFile(const FileRequest& request);   // empty: cancelled
// A save dialog asks before replacing the file the user named; a fixed ending put on
// afterwards ("Montag" -> "Montag.mdb") can name another one. True when path is the chosen name,
// does not exist, or the user agrees to replace it (question: a text with %1 for the path,
// asked with No as the default button).
bool MayReplaceRenamed(const QString& chosen, const QString& path, const QString& question);
QString AskPassword(const QString& text);         // null: cancelled

// Prompt for tests and tools: answers questions from a queue and records what was shown.
// Safe to use from worker threads.
class ScriptedPrompt : public IPrompt {
public:
    struct Shown {
        enum Kind { Message, Question, ShowMessage, FileDialog, Password } kind;
        QString text;
        QString caption;
        PromptIcon icon;
        bool defaultNo = false;   // a question with No as its default button
    };
    ScriptedPrompt();               // installs itself
    ~ScriptedPrompt() override;     // restores the stand-in

    void Message(const QString& text, const QString& caption, PromptIcon icon) override;
    bool Question(const QString& text, const QString& caption) override;
    bool QuestionDefaultNo(const QString& text, const QString& caption) override;
    void ShowMessage(const QString& text) override;
    // Logged with the request's title as text; answered from NextFileName's queue, else
    // cancelled (empty). The last request is kept for tests (LastFileRequest).
    QString ChooseFile(const FileRequest& request) override;

    // Logged with the question's text (never the answer); answered from NextPassword's queue,
    // else cancelled (null).
    QString Password(const QString& text, const QString& caption) override;

    void NextFileName(const QString& path);
    void NextPassword(const QString& password);
    FileRequest LastFileRequest() const;

    // Queue the answer to the next question (true = Yes). Without one a question is answered
    // No and counted in Unanswered().
    void NextAnswer(bool yes);
    std::vector<Shown> Log() const;
    QStringList Texts() const;      // the text of every entry, in order
    int Unanswered() const;
    void Clear();

private:
    mutable QMutex m_mutex;
    std::deque<bool> m_answers;
    std::deque<QString> m_files;
    std::deque<QString> m_passwords;
    FileRequest m_lastFile;
    std::vector<Shown> m_log;
    int m_unanswered = 0;
};
