#include "Commands.h"

#include "exchange/CsvImport.h"
#include "records/CStoreDB_Handler.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

int RunImport(CliContext& ctx)
{
    const QString kindName = ctx.Options().args.at(0);
    CsvImportKind kind;
    if (kindName == QStringLiteral("transponders"))
        kind = CsvImportKind::Transponders;
    else if (kindName == QStringLiteral("persons"))
        kind = CsvImportKind::Persons;
    else {
        std::fprintf(stderr, "vendrik-cli: import takes transponders or persons\n");
        return kBadUsage;
    }
    const QString path = QFileInfo(ctx.Options().args.at(1)).absoluteFilePath();

    return WithDatabase(ctx, [&](CliContext& ctx, CStoreDB_Handler& store) {
        if (!CsvImportPossible(&store)) {
            ctx.Prompt().Error(ctx.Text(93));
            return int(kFailed);
        }
        // A line of another kind is asked about as in the window; the answer is the prompt's
        // (No: stop reading, unless --yes).
        CsvImportHooks hooks;
        hooks.progress = [&ctx](int done, int total) {
            ctx.Progress().SetMaximum(total);
            ctx.Progress().Step(done);
        };
        CCsvImporter importer(&store, ctx.Lang(), hooks);
        const CsvReadResult read = importer.ReadFile(path, kind);
        if (!read.opened) {
            ctx.Prompt().Error(ctx.Text(92) + u' ' + path + u' ' + read.error);
            return int(kFailed);
        }
        ctx.Progress().Start(ctx.Text(104), int(read.taken.size()));
        const CsvImportResult result = importer.ImportLines(kind, read.taken);
        ctx.Progress().End();

        if (!result.errors.isEmpty()) {
            ctx.Prompt().Message(ctx.Text(98) + QStringLiteral(": ") + ctx.Text(99), {}, PromptIcon::Warning);
            for (const QString& line : result.errors)
                ctx.Prompt().Message(line, {}, PromptIcon::Warning);
        }
        ctx.Result().insert(QStringLiteral("import"),
                            QJsonObject{{QStringLiteral("kind"), kindName},
                                        {QStringLiteral("file"), path},
                                        {QStringLiteral("taken"), result.taken},
                                        {QStringLiteral("imported"), result.imported},
                                        {QStringLiteral("stopped"), read.stopped},
                                        {QStringLiteral("errors"), QJsonArray::fromStringList(result.errors)}});
        const bool complete = result.errors.isEmpty() && !read.stopped && !result.storeFailed;
        return complete ? int(kDone) : int(kFailed);
    });
}
