#include "CliContext.h"

#include "Commands.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

#include <QJsonDocument>
#include <cstdio>

CliContext::CliContext(const CliOptions& options, CLanguageHandler* lang)
    : m_options(options), m_lang(lang), m_prompt(m_terminal, options.quiet),
      m_progress(m_terminal, !options.quiet)
{
    m_prompt.SetAnswer(options.yes);
}

QString CliContext::Text(uint32_t number) const
{
    return m_lang ? m_lang->GetLangItem(number).trimmed() : QString();
}

bool CliContext::English() const
{
    return m_lang ? m_lang->GetAktivLanguage() == 1 : Settings::ReadLanguage() == 1;
}

QString CliContext::Literal(const char* german, const char* english) const
{
    return QString::fromUtf8(English() ? english : german);
}

std::unique_ptr<CStoreDB_Handler> CliContext::OpenStore() const
{
    if (!m_options.db.isEmpty())
        return OpenRecordStore(m_options.db, m_lang);   // --db FILE or --db-url URL
    return std::make_unique<CStoreDB_Handler>(m_lang);
}

void CliContext::Print(const QString& line) const
{
    if (m_options.json)
        return;
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int CliContext::Finish(int status)
{
    m_progress.End();
    // Bad usage is told on standard error only, wherever it was found.
    if (m_options.json && status != kBadUsage) {
        QJsonObject out = m_result;
        out.insert(QStringLiteral("command"), m_options.command);
        out.insert(QStringLiteral("status"), status);
        out.insert(QStringLiteral("ok"), status == kDone);
        out.insert(QStringLiteral("messages"), m_prompt.Messages());
        std::printf("%s\n", QJsonDocument(out).toJson(QJsonDocument::Indented).constData());
        std::fflush(stdout);
    }
    return status;
}

int WithDatabase(CliContext& ctx, const std::function<int(CliContext&, CStoreDB_Handler&)>& fn)
{
    std::unique_ptr<CStoreDB_Handler> store = ctx.OpenStore();
    ctx.Result().insert(QStringLiteral("database"), store->GetAktDBPath());
    if (!store->IsDatabaseOpen()) {
        ctx.Prompt().Error(store->DatabaseError());
        return kNoDatabase;
    }
    return fn(ctx, *store);
}
