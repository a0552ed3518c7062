#include "Commands.h"
#include "ReaderSession.h"

#include "readers/ReaderModel.h"
#include "readers/WriteAll.h"
#include "records/CStoreDB_Handler.h"

#include <QEventLoop>
#include <QJsonObject>

int RunWriteAll(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        ReaderSession session(ctx, store);
        if (!session.OpenBusReader())
            return int(kFailed);
        const structLeser reader = session.Reader();
        const int model = ReaderModel::Decide(reader.Model, ReaderModel::FromInterfaceType(session.InterfaceType()));
        WriteAll::Plan plan = WriteAll::Prepare(store, reader.Name, model);
        const int transponders = int(plan.transponders.size());
        const int windows = int(plan.windows.size());
        if (!WriteAll::CheckCapacity(plan, ctx.Lang())) {
            session.Describe();
            return int(kFailed);
        }

        CWriteAllRun run(session.Link(), store, ctx.Lang(), std::move(plan));
        int written = 0;
        QEventLoop loop;
        QObject::connect(&run, &CWriteAllRun::Progress, &loop, [&ctx](int position) { ctx.Progress().Step(position); });
        QObject::connect(&run, &CWriteAllRun::LabelChanged, &loop, [&ctx](const QString& label) {
            ctx.Progress().SetLabel(label.trimmed());
        });
        QObject::connect(&run, &CWriteAllRun::Finished, &loop, [&](int n) {
            written = n;
            loop.quit();
        });
        ctx.Progress().Start(ctx.Text(184), run.Total());
        const bool started = run.Start();
        if (started)
            loop.exec();
        ctx.Progress().End();
        const bool done = started && run.Completed();
        if (done)
            ctx.Prompt().ShowMessage(WriteAll::EndText(ctx.Lang(), written));

        session.GoOffline();
        session.Describe();
        ctx.Result().insert(QStringLiteral("written"),
                            QJsonObject{{QStringLiteral("transponders"), done ? written : 0},
                                        {QStringLiteral("windows"), done ? windows : 0},
                                        {QStringLiteral("planned"), transponders}});
        return done ? int(kDone) : int(kFailed);
    });
}
