#include "CliPrompt.h"

#include "CliProgress.h"

#include <QJsonObject>
#include <QRegularExpression>

CliPrompt::CliPrompt(CliTerminal& terminal, bool quiet) : m_terminal(terminal), m_quiet(quiet)
{
    SetPrompt(this);
}

CliPrompt::~CliPrompt()
{
    if (&::Prompt() == this)
        SetPrompt(nullptr);
}

QString CliPrompt::OneLine(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    return text.trimmed().replace(breaks, QStringLiteral(" "));
}

void CliPrompt::Show(const char* level, const QString& text, bool always)
{
    const QString line = OneLine(text);
    if (line.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.append(QJsonObject{{QStringLiteral("level"), QLatin1String(level)}, {QStringLiteral("text"), line}});
        if (always)
            ++m_errors;
    }
    if (m_quiet && !always)
        return;
    m_terminal.Line(always ? QStringLiteral("vendrik-cli: ") + line : line);
}

void CliPrompt::Message(const QString& text, const QString&, PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::Error:
        Show("error", text, true);
        break;
    case PromptIcon::Warning:
    case PromptIcon::Exclamation:
        Show("warning", text, true);
        break;
    default:
        Show("info", text, false);
        break;
    }
}

bool CliPrompt::Question(const QString& text, const QString&)
{
    bool yes = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        yes = m_answer;
    }
    Show("question", OneLine(text) + (yes ? QStringLiteral(" -> yes") : QStringLiteral(" -> no")), false);
    return yes;
}

void CliPrompt::ShowMessage(const QString& text) { Show("info", text, false); }

QString CliPrompt::ChooseFile(const FileRequest&) { return {}; }

void CliPrompt::SetAnswer(bool yes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answer = yes;
}

void CliPrompt::Note(const QString& text) { Show("info", text, false); }
void CliPrompt::Error(const QString& text) { Show("error", text, true); }

void CliPrompt::ShowOnce(const QString& text, PromptIcon icon)
{
    const QString line = OneLine(text);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const QJsonValue& m : std::as_const(m_messages))
            if (m.toObject().value(QStringLiteral("text")).toString() == line)
                return;
    }
    Message(text, {}, icon);
}

QJsonArray CliPrompt::Messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

int CliPrompt::Errors() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}
