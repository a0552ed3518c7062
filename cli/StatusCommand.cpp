#include "Commands.h"

#include "readers/PendingWrites.h"
#include "records/CStoreDB_Handler.h"

#include <QJsonArray>
#include <QJsonObject>

int RunStatus(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        QJsonArray readers;
        int pending = 0;
        for (const PendingWrites::ReaderState& s : PendingWrites::States(store)) {
            pending += s.pending ? 1 : 0;
            ctx.Print(QStringLiteral("%1  %2  %3  %4  %5 %6%7")
                          .arg(s.name.leftJustified(20), s.model.leftJustified(5),
                               (s.deviceId.isEmpty() ? QStringLiteral("---") : s.deviceId).leftJustified(20),
                               s.pending ? ctx.Literal("Änderungen offen", "changes pending")
                                         : ctx.Literal("geschrieben     ", "written        "))
                          .arg(s.events, 6)
                          .arg(ctx.Literal("Ereignisse", "events"),
                               s.lastEvent.isEmpty() ? QString() : ctx.Literal(", letztes ", ", last ") + s.lastEvent));
            QJsonObject r{{QStringLiteral("name"), s.name},
                          {QStringLiteral("model"), s.model},
                          {QStringLiteral("pending"), s.pending},
                          {QStringLiteral("events"), s.events}};
            if (!s.deviceId.isEmpty())
                r.insert(QStringLiteral("deviceId"), s.deviceId);
            if (!s.lastEvent.isEmpty())
                r.insert(QStringLiteral("lastEvent"), s.lastEvent);
            readers.append(r);
        }
        ctx.Result().insert(QStringLiteral("readers"), readers);
        ctx.Result().insert(QStringLiteral("pending"), pending);
        return int(kDone);
    });
}
