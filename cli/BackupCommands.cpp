#include "Commands.h"

#include "exchange/DatabaseBackup.h"
#include "records/CStoreDB_Handler.h"

#include <QFileInfo>
#include <QJsonObject>

int RunBackup(CliContext& ctx)
{
    const QString path = QFileInfo(ctx.Options().args.at(0)).absoluteFilePath();
    return WithDatabase(ctx, [&](CliContext& ctx, CStoreDB_Handler& store) {
        ctx.Result().insert(QStringLiteral("backup"), path);
        return DatabaseBackup::BackupFile(&store, path) ? int(kDone) : int(kFailed);
    });
}

int RunRestore(CliContext& ctx)
{
    const QString path = QFileInfo(ctx.Options().args.at(0)).absoluteFilePath();
    // A database that cannot be opened is what a restore is for: it goes on without it.
    std::unique_ptr<CStoreDB_Handler> store = ctx.OpenStore();
    ctx.Result().insert(QStringLiteral("database"), store->GetAktDBPath());
    ctx.Result().insert(QStringLiteral("restore"), path);
    if (!store->IsDatabaseOpen())
        ctx.Prompt().Note(CliPrompt::OneLine(store->DatabaseError()));

    // The safety-copy question is answered Yes unless --no-safety-copy.
    ctx.Prompt().SetAnswer(!ctx.Options().noSafetyCopy);
    DatabaseBackup::StoreOwner owner;
    owner.current = [&store] { return store.get(); };
    owner.release = [&store] { store.reset(); };
    owner.recreate = [&store, &ctx] {
        store = ctx.OpenStore();
        return store.get();
    };
    const int restored = DatabaseBackup::RestoreFile(owner, path);
    ctx.Result().insert(QStringLiteral("safetyCopy"), !ctx.Options().noSafetyCopy);
    if (restored)
        return int(kDone);
    return store && !store->IsDatabaseOpen() ? int(kNoDatabase) : int(kFailed);
}
