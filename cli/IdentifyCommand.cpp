#include "Commands.h"
#include "ReaderSession.h"

#include "records/CStoreDB_Handler.h"

int RunIdentify(CliContext& ctx)
{
    return WithDatabase(ctx, [](CliContext& ctx, CStoreDB_Handler& store) {
        ReaderSession session(ctx, store);
        if (!session.GoOnline())
            return int(kFailed);
        const ReaderRegistration::Result result = session.Register();
        session.GoOffline();
        session.Describe();

        const structLeser& reader = session.Reader();
        ctx.Print(QStringLiteral("COM%1: %2").arg(session.Port()).arg(session.TypeText()));
        if (!session.DeviceId().isEmpty())
            ctx.Print(ctx.Literal("Geräte-ID: %1", "Device ID: %1").arg(session.DeviceId()));
        if (reader.ID != 0)
            ctx.Print(ctx.Literal("Leser: %1%2", "Reader: %1%2")
                          .arg(reader.Name,
                               result.outcome == ReaderRegistration::Result::Added
                                   ? ctx.Literal(" (neu registriert)", " (registered now)")
                                   : QString()));
        switch (result.outcome) {
        case ReaderRegistration::Result::Recognised:
        case ReaderRegistration::Result::Added:
            return int(kDone);
        case ReaderRegistration::Result::Cancelled:
            // A desk reader without --register-as is identified and left unregistered; a
            // name that is not in the database is a failure.
            return ctx.Options().registerAs.isEmpty() ? int(kDone) : int(kFailed);
        default:
            return int(kFailed);
        }
    });
}
