#include "app/DatabaseCommands.h"

#include "app/CMainFrame.h"
#include "app/CVendrikApp.h"
#include "exchange/DatabaseBackup.h"
#include "tree/CLeftTreeView.h"

namespace DatabaseCommands {

namespace {

// Tree and right-hand table show the store's content again, after it changed under them.
void RefreshViews(CMainFrame& frame)
{
    if (CLeftTreeView* tree = frame.Tree()) {
        tree->RebuildTreeChildren();
        // The full-access schedule carries its name in the current language again.
        tree->SwapBuiltInScheduleName();
        tree->ShowRightPane();
    }
    frame.UpdateStatus();
}

DatabaseBackup::BusyFn BusyOf(CMainFrame& frame)
{
    return [&frame](int on) { frame.SetWaitFlag(on); };
}

} // namespace

void Install(CMainFrame& frame)
{
    frame.SetCommandHandler(CMainFrame::Command::Backup, [](CMainFrame& f) {
        DatabaseBackup::Backup(f.StoreHandler(), BusyOf(f));
    });

    frame.SetCommandHandler(CMainFrame::Command::Restore, [](CMainFrame& f) {
        // The application owns the store handler; a frame without one (a test's bare frame)
        // cannot have it made again.
        CVendrikApp* app = App();
        if (!app || app->StoreHandler() != f.StoreHandler())
            return;
        bool released = false;
        DatabaseBackup::StoreOwner owner;
        owner.current = [app] { return app->StoreHandler(); };
        owner.release = [app, &released] {
            released = true;
            app->ReleaseStoreHandler();
        };
        owner.recreate = [app] {
            app->EnsureStoreHandler();
            return app->StoreHandler();
        };
        const DatabaseBackup::BusyFn busy = BusyOf(f);
        const int restored = DatabaseBackup::Restore(owner, busy);
        // Also after a failed replacement: the handler is a new one, on whatever file is there.
        // A cancelled or refused restore leaves the views alone: the reader table that would be
        // made again may be the one whose run the restore was refused for.
        if ((restored || released) && f.StoreHandler() != nullptr)
            RefreshViews(f);
    });

    frame.SetCommandHandler(CMainFrame::Command::DeleteAll, [](CMainFrame& f) {
        if (DatabaseBackup::ClearAll(f.StoreHandler(), BusyOf(f)))
            RefreshViews(f);
    });
}

} // namespace DatabaseCommands
