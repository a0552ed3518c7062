#include "Commands.h"
#include "ReaderSession.h"

#include "readers/EventReading.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"

#include <QEventLoop>
#include <QJsonObject>

int RunReadEvents(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        const CliOptions& o = ctx.Options();
        ReaderSession session(ctx, store);
        if (!session.OpenBusReader())
            return int(kFailed);
        const structLeser reader = session.Reader();
        const int model = ReaderModel::Decide(reader.Model, ReaderModel::FromInterfaceType(session.InterfaceType()));

        EventReadRequest request = EventReadRequestFor(*store.Get_Ptr_To_tblLeser(), reader.Name, model);
        request.readToPointer = !o.all;
        request.dateFilter = !o.from.isEmpty();
        request.fromDate = o.from;
        request.toDate = o.to;

        CEventReadRun run(session.Link(), store, ctx.Lang());
        EventReadResult result;
        QEventLoop loop;
        QObject::connect(&run, &CEventReadRun::LastEventKnown, &loop,
                         [&ctx](int last) { ctx.Progress().SetMaximum(last + 1); });
        QObject::connect(&run, &CEventReadRun::Progress, &loop, [&ctx](int position) { ctx.Progress().Step(position); });
        QObject::connect(&run, &CEventReadRun::Finished, &loop, [&](const EventReadResult& r) {
            result = r;
            loop.quit();
        });
        ctx.Progress().Start(ctx.Text(188), 0);
        if (run.Start(request))
            loop.exec();
        else
            result.outcome = EventReadResult::NotStarted;
        ctx.Progress().End();

        // An empty memory is the normal case of a nightly run after the last night's --clear.
        const bool empty = result.outcome == EventReadResult::Empty;
        if (empty)
            ctx.Prompt().Note(ctx.Text(190));
        else
            CEventReadRun::Report(result, ctx.Lang());
        const bool ok = result.outcome == EventReadResult::Done && !result.stopped;
        const int read = result.lastEvent + 1;

        QJsonObject events{{QStringLiteral("stored"), result.stored}};
        if (ok)
            events.insert(QStringLiteral("read"), read);
        if (request.dateFilter) {
            events.insert(QStringLiteral("from"), o.from);
            events.insert(QStringLiteral("to"), o.to);
        }

        // The reader's memory is emptied only when all it held is in the database, including
        // what was recorded while it was read.
        bool cleared = false;
        int status = ok || empty ? int(kDone) : int(kFailed);
        if (o.clear && ok && !request.readToPointer) {
            ctx.Prompt().Note(ctx.Literal("Die Ereignisse im Leser bleiben: nur ein Lesen bis zum Ereigniszeiger zeigt, "
                                          "ob alle gelesen wurden.",
                                          "The events stay in the reader: only a read up to the event pointer shows "
                                          "whether all of them were read."));
        } else if (o.clear && ok) {
            if (result.stored == read) {
                const ReaderEvents::ClearResult clear =
                    ReaderEvents::CatchUpAndClear(session.Link(), store, ctx.Lang(), request, result.lastEvent);
                result.stored += clear.stored;
                cleared = ReaderEvents::ReportClear(clear, ctx.Lang());
                if (clear.outcome != ReaderEvents::ClearResult::Changed && !cleared)
                    status = kFailed;
                events.insert(QStringLiteral("stored"), result.stored);
                events.insert(QStringLiteral("read"), read + clear.stored);
            } else {
                ctx.Prompt().Note(ctx.Literal("Die Ereignisse im Leser bleiben: %1 von %2 wurden gespeichert.",
                                              "The events stay in the reader: %1 of %2 were stored.")
                                      .arg(result.stored)
                                      .arg(read));
            }
        } else if (o.clear && !empty) {
            ctx.Prompt().Note(ctx.Literal("Die Ereignisse im Leser bleiben, da nicht alle gelesen wurden.",
                                          "The events stay in the reader, as not all of them were read."));
        }
        if (o.clear)
            events.insert(QStringLiteral("cleared"), cleared);
        session.GoOffline();
        session.Describe();
        ctx.Result().insert(QStringLiteral("events"), events);
        return status;
    });
}
