#include "Commands.h"
#include "ReaderSession.h"

#include "readers/FetchAll.h"
#include "records/CStoreDB_Handler.h"

#include <QJsonObject>

int RunFetchAll(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        ReaderSession session(ctx, store);
        if (!session.OpenBusReader())
            return int(kFailed);
        const structLeser reader = session.Reader();

        CFetchAllRun run(&session.Link(), store, ctx.Lang());
        QObject::connect(&run, &CFetchAllRun::ProgressStarted, &run,
                         [&ctx](const QString& label, int maximum) { ctx.Progress().Start(label.trimmed(), maximum); });
        QObject::connect(&run, &CFetchAllRun::Progress, &run, [&ctx](int position) { ctx.Progress().Step(position); });
        QObject::connect(&run, &CFetchAllRun::ProgressEnded, &run, [&ctx] { ctx.Progress().End(); });
        const CFetchAllRun::Result result = run.Run(reader.Name);
        ctx.Progress().End();
        if (result == CFetchAllRun::Declined)
            ctx.Prompt().Error(ctx.Literal("Nichts geholt: die Änderungen dieses Lesers in der Datenbank blieben sonst ungeschrieben; --yes holt trotzdem.",
                                           "Nothing fetched: this reader's changes in the database would be lost; --yes fetches all the same."));

        session.GoOffline();
        session.Describe();
        if (result == CFetchAllRun::Done) {
            const FetchAll::PassCounts counts = run.Counts();
            ctx.Result().insert(QStringLiteral("fetched"),
                                QJsonObject{{QStringLiteral("transponders"), run.NumbersRead()},
                                            {QStringLiteral("added"), counts.added},
                                            {QStringLiteral("assigned"), counts.assigned},
                                            {QStringLiteral("deleted"), counts.deleted}});
        }
        return result == CFetchAllRun::Done ? int(kDone) : int(kFailed);
    });
}
