#include "base/Prompt.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <atomic>
#include <cstdio>

namespace {

class LoggingPrompt : public IPrompt {
public:
    void Message(const QString& text, const QString& caption, PromptIcon) override
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(caption), qPrintable(text));
    }
    bool Question(const QString& text, const QString& caption) override
    {
        std::fprintf(stderr, "[%s] %s (answered No)\n", qPrintable(caption), qPrintable(text));
        return false;
    }
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    QString ChooseFile(const FileRequest& request) override
    {
        std::fprintf(stderr, "[%s] (file dialog cancelled)\n", qPrintable(request.title));
        return {};
    }
};

LoggingPrompt g_logging;
std::atomic<IPrompt*> g_prompt{&g_logging};
QMutex g_captionMutex;
std::function<QString()> g_caption;

} // namespace

namespace {
thread_local std::function<bool()> t_abandoned;
} // namespace

PromptAbandonScope::PromptAbandonScope(std::function<bool()> abandoned) : m_previous(std::move(t_abandoned))
{
    t_abandoned = std::move(abandoned);
}

PromptAbandonScope::~PromptAbandonScope() { t_abandoned = std::move(m_previous); }

bool PromptAbandoned() { return t_abandoned && t_abandoned(); }

IPrompt& Prompt() { return *g_prompt.load(); }
void SetPrompt(IPrompt* prompt) { g_prompt.store(prompt ? prompt : &g_logging); }

void SetCaptionProvider(std::function<QString()> provider)
{
    QMutexLocker lock(&g_captionMutex);
    g_caption = std::move(provider);
}

QString PromptCaption()
{
    QMutexLocker lock(&g_captionMutex);
    return g_caption ? g_caption() : QString();
}

void ShowError(const QString& text) { Prompt().Message(text, PromptCaption(), PromptIcon::Error); }
void ShowWarning(const QString& text) { Prompt().Message(text, PromptCaption(), PromptIcon::Warning); }
void ShowExclamation(const QString& text) { Prompt().Message(text, PromptCaption(), PromptIcon::Exclamation); }
void ShowInfo(const QString& text) { Prompt().Message(text, PromptCaption(), PromptIcon::Information); }
bool AskYesNo(const QString& text) { return Prompt().Question(text, PromptCaption()); }
bool AskDestructive(const QString& text) { return Prompt().QuestionDefaultNo(text, PromptCaption()); }
QString ChooseFile(const FileRequest& request) { return Prompt().ChooseFile(request); }

bool MayReplaceRenamed(const QString& chosen, const QString& path, const QString& question)
{
    if (path == chosen || !QFileInfo::exists(path))
        return true;
    return AskDestructive(QString(question).replace(QStringLiteral("%1"), QDir::toNativeSeparators(path)));
}
QString AskPassword(const QString& text) { return Prompt().Password(text, PromptCaption()); }

ScriptedPrompt::ScriptedPrompt() { SetPrompt(this); }
ScriptedPrompt::~ScriptedPrompt()
{
    if (g_prompt.load() == this)
        SetPrompt(nullptr);
}

void ScriptedPrompt::Message(const QString& text, const QString& caption, PromptIcon icon)
{
    QMutexLocker lock(&m_mutex);
    m_log.push_back({Shown::Message, text, caption, icon});
}

bool ScriptedPrompt::QuestionDefaultNo(const QString& text, const QString& caption)
{
    const bool yes = Question(text, caption);
    QMutexLocker lock(&m_mutex);
    m_log.back().defaultNo = true;
    return yes;
}

bool ScriptedPrompt::Question(const QString& text, const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    m_log.push_back({Shown::Question, text, caption, PromptIcon::Question});
    if (m_answers.empty()) {
        ++m_unanswered;
        return false;
    }
    const bool yes = m_answers.front();
    m_answers.pop_front();
    return yes;
}

void ScriptedPrompt::ShowMessage(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    m_log.push_back({Shown::ShowMessage, text, QString(), PromptIcon::None});
}

QString ScriptedPrompt::ChooseFile(const FileRequest& request)
{
    QMutexLocker lock(&m_mutex);
    m_log.push_back({Shown::FileDialog, request.title, QString(), PromptIcon::None});
    m_lastFile = request;
    if (m_files.empty())
        return {};
    const QString path = m_files.front();
    m_files.pop_front();
    return path;
}

QString ScriptedPrompt::Password(const QString& text, const QString& caption)
{
    QMutexLocker lock(&m_mutex);
    m_log.push_back({Shown::Password, text, caption, PromptIcon::None});
    if (m_passwords.empty())
        return {};
    const QString password = m_passwords.front();
    m_passwords.pop_front();
    return password;
}

void ScriptedPrompt::NextPassword(const QString& password)
{
    QMutexLocker lock(&m_mutex);
    m_passwords.push_back(password);
}

void ScriptedPrompt::NextFileName(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    m_files.push_back(path);
}

FileRequest ScriptedPrompt::LastFileRequest() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastFile;
}

void ScriptedPrompt::NextAnswer(bool yes)
{
    QMutexLocker lock(&m_mutex);
    m_answers.push_back(yes);
}

std::vector<ScriptedPrompt::Shown> ScriptedPrompt::Log() const
{
    QMutexLocker lock(&m_mutex);
    return m_log;
}

QStringList ScriptedPrompt::Texts() const
{
    QMutexLocker lock(&m_mutex);
    QStringList texts;
    for (const auto& s : m_log)
        texts << s.text;
    return texts;
}

int ScriptedPrompt::Unanswered() const
{
    QMutexLocker lock(&m_mutex);
    return m_unanswered;
}

void ScriptedPrompt::Clear()
{
    QMutexLocker lock(&m_mutex);
    m_log.clear();
    m_answers.clear();
    m_files.clear();
    m_passwords.clear();
    m_unanswered = 0;
}
