#include "Commands.h"
#include "ReaderSession.h"

#include "params/BirchSlots.h"
#include "readers/ReaderComparison.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

// A desk reader's slots, read as its send dialog reads them: "Y", then "G" per slot.
bool ReadDeskReader(CliContext& ctx, CStoreDB_Handler& store, ReaderSession& session, ReaderComparison::Differences& d)
{
    const structLeser reader = session.Reader();
    BirchSlots desk({ctx.Lang(), &store, &session.Link(), {}}, reader.ID);
    desk.DatabaseEntries();   // the name table, so entries shown as names turn back into numbers
    ParamSupport::Feedback feedback;
    feedback.range = [&ctx](int, int upper) { ctx.Progress().Start(ctx.Text(341), upper); };
    feedback.position = [&ctx](int position) { ctx.Progress().Step(position); };
    QStringList read;
    const bool ok = desk.ReadReader(read, feedback);
    ctx.Progress().End();
    if (!ok)
        return false;
    const int model = ReaderModel::Decide(reader.Model, ReaderModel::FromInterfaceType(session.InterfaceType()));
    d = ReaderComparison::Compare(ReaderComparison::PlanNow(store, reader.Name, model), {desk.NumbersOf(read), {}, {}});
    return true;
}

} // namespace

int RunCompare(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        ReaderSession session(ctx, store);
        if (!session.GoOnline())
            return int(kFailed);
        const bool bus = ReaderModel::IsBusReader(ReaderModel::FromInterfaceType(session.InterfaceType()));
        const ReaderRegistration::Result registration = bus ? ReaderRegistration::Result{} : session.Register();
        const bool known = bus ? session.RegisterBusReader()
                               : registration.outcome == ReaderRegistration::Result::Recognised ||
                                     registration.outcome == ReaderRegistration::Result::Added;
        if (!known) {
            session.Describe();
            return int(kFailed);
        }
        const structLeser reader = session.Reader();

        ReaderComparison::Differences d;
        bool read = false;
        if (bus) {
            CCompareRun run(session.Link(), store, ctx.Lang());
            QObject::connect(&run, &CCompareRun::ProgressStarted, &run,
                             [&ctx](const QString& label, int maximum) { ctx.Progress().Start(label.trimmed(), maximum); });
            QObject::connect(&run, &CCompareRun::Progress, &run, [&ctx](int position) { ctx.Progress().Step(position); });
            QObject::connect(&run, &CCompareRun::ProgressEnded, &run, [&ctx] { ctx.Progress().End(); });
            read = run.Run(reader.Name, ReaderModel::Decide(reader.Model, -1)) == CCompareRun::Done;
            d = run.Differences();
        } else {
            read = ReadDeskReader(ctx, store, session, d);
        }
        session.GoOffline();
        session.Describe();
        if (!read)
            return int(kFailed);

        for (const QString& line : ReaderComparison::DescribeLines(d, ctx.Lang()))
            ctx.Print(line.trimmed());
        QJsonArray params;
        for (const ReaderComparison::ParamDiff& p : d.params)
            params.append(QJsonObject{{QStringLiteral("parameter"), p.index},
                                      {QStringLiteral("reader"), p.inReader},
                                      {QStringLiteral("database"), p.inDatabase}});
        QJsonObject& out = ctx.Result();
        out.insert(QStringLiteral("same"), d.Same());
        out.insert(QStringLiteral("inReader"), d.inReader);
        out.insert(QStringLiteral("inDatabase"), d.inDatabase);
        out.insert(QStringLiteral("onlyInReader"), QJsonArray::fromStringList(d.onlyInReader));
        out.insert(QStringLiteral("onlyInDatabase"), QJsonArray::fromStringList(d.onlyInDatabase));
        out.insert(QStringLiteral("orderDiffers"), d.orderDiffers);
        out.insert(QStringLiteral("params"), params);
        return d.Same() ? int(kDone) : int(kDiffers);
    });
}
