#pragma once
// Store-level steps that maintenance and reader operations need beyond the record cursors,
// reached through the store handler's public interface.
#include <QString>

class CStoreDB_Handler;

namespace StoreMaintenance {

// Makes every change committed so far survive a power cut, not only a killed program: the
// store commits without waiting for the disk (see CStoreDB_Handler.h), which is right for
// thousands of events one by one, but not before something that cannot be undone depends on
// them, such as emptying the reader they came from. A database file: its log and the file
// itself are synced to the disk. A server: one transaction with synchronous_commit on, whose
// commit waits until the server's log holds it and with it every earlier commit.
// true on success; otherwise error says why.
bool CommitDurably(CStoreDB_Handler& store, QString* error = nullptr);

} // namespace StoreMaintenance
