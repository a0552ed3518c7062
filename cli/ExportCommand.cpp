#include "Commands.h"

#include "exchange/CsvExport.h"
#include "records/CStoreDB_Handler.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <cstdio>

int RunExport(CliContext& ctx)
{
    const QString kindName = ctx.Options().args.at(0);
    const QString file = ctx.Options().args.at(1);
    CsvExportKind kind;
    if (kindName == QStringLiteral("transponders"))
        kind = CsvExportKind::Transponders;
    else if (kindName == QStringLiteral("persons"))
        kind = CsvExportKind::Persons;
    else if (kindName == QStringLiteral("events"))
        kind = CsvExportKind::Events;
    else {
        std::fprintf(stderr, "vendrik-cli: export takes transponders, persons or events\n");
        return kBadUsage;
    }
    const bool toStdout = file == QStringLiteral("-");
    if (toStdout && ctx.Options().json) {
        std::fprintf(stderr, "vendrik-cli: --json needs standard output; export into a file\n");
        return kBadUsage;
    }

    return WithDatabase(ctx, [&](CliContext& ctx, CStoreDB_Handler& store) {
        const QStringList lines = CsvLinesFromStore(&store, kind, ctx.Lang());
        CsvWriteResult written;
        QString path = toStdout ? QStringLiteral("-") : QFileInfo(file).absoluteFilePath();
        if (toStdout) {
            QFile out;
            if (out.open(stdout, QIODevice::WriteOnly))
                written = WriteCsvLines(out, lines);
            else
                written.error = out.errorString();
        } else {
            written = WriteCsvFile(path, lines);
        }
        ctx.Result().insert(QStringLiteral("export"), QJsonObject{{QStringLiteral("kind"), kindName},
                                                                  {QStringLiteral("file"), path},
                                                                  {QStringLiteral("lines"), written.ok ? written.lines : 0}});
        if (!written.ok) {
            ctx.Prompt().Error(ctx.Text(89) + u' ' + path + u' ' + written.error);
            return int(kFailed);
        }
        if (written.replaced > 0)
            ctx.Prompt().Message(CsvReplacedNote(written.replaced, ctx.English() ? 1 : 0), {}, PromptIcon::Warning);
        if (const QStringList split = CsvSplitNames(&store); !split.isEmpty())
            ctx.Prompt().Message(CsvSplitNamesNote(split, ctx.Lang()), {}, PromptIcon::Warning);
        return int(kDone);
    });
}
