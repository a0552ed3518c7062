#pragma once
// Backup, restore and clearing of the database behind the record store. Backups are SQLite
// files (".mdb") also from a shared PostgreSQL database, so any backup restores on either.
//
// Nothing here replaces a good file by a half-written one: every copy is written to a hidden
// temporary file beside its target, synced, and renamed over the target in one step. A file
// chosen for a restore is copied beside the database first and checked there, by the rules the
// store opens a file with, before anything is overwritten. An open database file is never
// replaced as a file: the restore goes into it through SQLite, so other programs that have it
// open see the restored records and keep writing into the same database.
//
// The operations ask and report through the prompt seam (base/Prompt.h); the caller shows the
// wait cursor and refreshes its windows afterwards.
#include "base/Prompt.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>

class CStoreDB_Handler;

namespace DatabaseBackup {

// ".mdb" rule of both file dialogs: a file name without "." gets ".mdb" appended; one that does
// not end in ".mdb" is cut before its first "." and gets ".mdb". Folder names are left alone.
QString WithMdbExtension(const QString& path);

// "Backup_Velmora Manager_" (German, language 0) or "Backup_Velmoro Manager_" + DDMMYYYY_hhmmss.
QString DefaultBackupName(uint32_t language, const QDateTime& now = QDateTime::currentDateTime());
// The database path without its last four characters + "_Backup_" + stamp + ".mdb".
QString SafetyCopyPath(const QString& databasePath, const QDateTime& now = QDateTime::currentDateTime());

// The file dialogs, in the language given; they start in the folder of "BackupPath".
FileRequest BackupRequest(uint32_t language, const QDateTime& now = QDateTime::currentDateTime());
FileRequest RestoreRequest(uint32_t language);

// A consistent copy of the open database at target, written beside it and renamed over it.
// Empty on success, otherwise why not (the target is left as it was).
QString WriteBackup(CStoreDB_Handler* store, const QString& target);

// Who owns the store handler: a restore over a database file that could not be opened has it
// deleted before the file is replaced (so no connection and no log of the old file remain) and
// made again afterwards.
struct StoreOwner {
    std::function<CStoreDB_Handler*()> current;
    std::function<void()> release;
    std::function<CStoreDB_Handler*()> recreate;   // may return a handler whose database is not open
};

// The menu commands. Each returns 1 when it changed something on disk (a backup written, a
// database restored, entries cleared), 0 when cancelled, refused or failed, all of which has
// been shown to the user.
//   Backup: save dialog, ".mdb" rule, "BackupPath" kept, copy; text 218 on failure.
//   Restore: open dialog, ".mdb" rule, "BackupPath" kept, the chosen file checked; then, when a
//     database file exists, question 221 (Yes: safety copy first, text 218 when it fails),
//     the checked copy's records put into the open database through its own connection in one
//     step, the cached lists reloaded (text 222 when it fails; nothing changed then). A
//     database that could not be opened is replaced as a file instead: the store handler
//     released, the file replaced, the handler made again (also when that failed: text 222).
//     On a shared database there is no file: after the question 221 (Yes: safety copy of the
//     server's records into the data folder) the file's records replace the server's in one
//     transaction; the handler stays and reloads its lists.
//   ClearAll: question 223; readers, events, persons, transponders and every schedule window
//     but the full-access schedule's deleted in one transaction, the cached lists reloaded.
// busy(1) is called once the user has chosen and the work starts, busy(0) when it ends (the
// wait cursor and the main frame's busy flag).
using BusyFn = std::function<void(int)>;
int Backup(CStoreDB_Handler* store, const BusyFn& busy = {});
int Restore(const StoreOwner& owner, const BusyFn& busy = {});
// The same once the file is known (a tool names it): no dialog, no ".mdb" rule, "BackupPath"
// left alone; the messages, the safety-copy question and the results as above.
int BackupFile(CStoreDB_Handler* store, const QString& path);
int RestoreFile(const StoreOwner& owner, const QString& path);
int ClearAll(CStoreDB_Handler* store, const BusyFn& busy = {});

// Test seam: called with "copied" once part of a restored file has been written to its
// temporary file, and with "replacing" right before it goes into the database.
void SetStageHook(std::function<void(const char* stage)> hook);

} // namespace DatabaseBackup
