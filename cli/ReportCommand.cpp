#include "Commands.h"

#include "readers/EventDecoding.h"
#include "records/CStoreDB_Handler.h"
#include "report/EventFilter.h"
#include "report/EventReport.h"

#include <QJsonObject>

namespace {

// DDMMYY with the years as the readers count them (70 and below 20yy, above 19yy).
QDate DateOfDdmmyy(const QString& ddmmyy)
{
    return QDate(EventDecoding::FourDigitYear(ddmmyy.mid(4, 2)).toInt(), ddmmyy.mid(2, 2).toInt(), ddmmyy.left(2).toInt());
}

} // namespace

int RunReport(CliContext& ctx)
{
    if (ctx.Options().from.isEmpty()) {
        ctx.Prompt().Error(QStringLiteral("report needs the period: --from DDMMYY --to DDMMYY"));
        return int(kBadUsage);
    }
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        const CliOptions& o = ctx.Options();
        EventFilter::Criteria c;
        c.from = DateOfDdmmyy(o.from);
        c.to = DateOfDdmmyy(o.to);
        if (!o.reader.isEmpty()) {
            const CtblLeser* readers = store.Get_Ptr_To_tblLeser();
            for (int i = 0; i < readers->GetAnz_Leser() && c.readerId == 0; ++i)
                if (readers->Get_Leser(i).Name == o.reader)
                    c.readerId = readers->Get_Leser(i).ID;
            if (c.readerId == 0) {
                ctx.Prompt().Error(ctx.Literal("Kein Leser heißt \"%1\".", "No reader is named \"%1\".").arg(o.reader));
                return int(kFailed);
            }
        }
        EventReport::Input in;
        in.site = EventReport::SiteName(store);
        in.from = c.from;
        in.to = c.to;
        in.events = EventFilter::Apply(store, c);
        const QString file = o.args.value(0);
        QString error;
        int pages = 0;
        if (!EventReport::Write(file, store, ctx.Lang(), in, &error, &pages)) {
            ctx.Prompt().Error(error);
            return int(kFailed);
        }
        ctx.Print(ctx.Literal("%1 Ereignisse, %2 Seiten: %3", "%1 events, %2 pages: %3").arg(in.events.size()).arg(pages).arg(file));
        ctx.Result().insert(QStringLiteral("report"), QJsonObject{{QStringLiteral("file"), file},
                                                                  {QStringLiteral("events"), int(in.events.size())},
                                                                  {QStringLiteral("pages"), pages}});
        return int(kDone);
    });
}
