#pragma once
// Readers whose changed flag is set hold something the database has and they do not yet:
// the next write-all (or send) would change them. This is where the program tells, for the
// tree, the reader table and the command line, which readers are pending and what the
// database knows about each one's events.
#include <QString>
#include <cstdint>
#include <vector>

class CStoreDB_Handler;
class CLanguageHandler;

namespace PendingWrites {

struct ReaderState {
    int32_t id = 0;
    QString name;
    QString model;
    QString deviceId;     // empty for desk readers ("---" in the record)
    bool pending = false;
    int events = 0;       // events of this reader in the database
    QString lastEvent;    // DD.MM.YYYY HH:MM of the latest one; empty without events
};

// Every reader of the cached lists, in list order. Owner (GUI) thread.
std::vector<ReaderState> States(CStoreDB_Handler& store);

// Whether the cached reader of that name has its changed flag set.
bool IsPending(CStoreDB_Handler& store, const QString& readerName);

} // namespace PendingWrites
