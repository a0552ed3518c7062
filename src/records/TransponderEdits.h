#pragma once
// What a change in the transponder table does to the records: the person link, the schedule,
// the readers a transponder is assigned to, whole reader columns, captured and entered numbers,
// and the cascades of deleting transponders. Each change runs in one CStoreTransaction; the
// cached lists are patched only after it committed, so a store error (shown by the record
// helpers) leaves the database and the caches as they were.
//
// Widget-free: the transponder view and the entry dialog turn clicks into these calls, and the
// tests and the benchmark call them the same way.
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace TransponderEdits {

// ---- what the cells show (cached lists and lookups only, no scan; a schedule's name comes
// from ScheduleOps::ScheduleNameOf) ----
// Name of the person whose TransponderID is this transponder's ID; empty when none.
QString PersonNameOf(CStoreDB_Handler& store, int32_t transponderId);
// The names offered in the drop-downs: "---" and every person; one name per schedule.
QStringList PersonChoices(CStoreDB_Handler& store);
QStringList ScheduleChoices(CStoreDB_Handler& store);
// ID of the head window of the schedule with this name (the full-access schedule answers to
// both of its names); 0 when none.
int32_t ScheduleIdOfName(CStoreDB_Handler& store, const QString& name);

// ---- edits of one transponder ----
// Gives the transponder to the person with this name ("---" or a name that matches no person:
// to nobody). Whoever carried it before loses it, the person's former transponder forgets the
// person, and both new sides point to each other.
RecordResult SetPerson(CStoreDB_Handler& store, int32_t transponderId, const QString& personName);
// Gives the transponder the schedule with this name (0 when none matches); the transponder
// and every reader in its list (as the database holds it) are marked changed. NotFound: another
// station deleted the transponder.
RecordResult SetSchedule(CStoreDB_Handler& store, int32_t transponderId, const QString& scheduleName);

enum class AssignResult { Done, Unchanged, MasterRefused, NotFound, Failed };
// Ticks (assign) or unticks a reader for the transponder. A Birch reader's master transponder
// (the number after ";" in its Params) cannot be assigned to it while a Birch is connected
// (interfaceType 0): MasterRefused, nothing stored. Otherwise the reader is added to (or taken
// from) the list as the database holds it now, read and written in one transaction, so what
// another station did to the list meanwhile stays; the transponder's Changed and the reader's
// are set. NotFound: another station deleted the transponder (it leaves the cached list).
AssignResult SetReaderAssigned(CStoreDB_Handler& store, int32_t transponderId, int32_t readerId, bool assign,
                               int interfaceType);
// The master transponder number a reader keeps in its Params; empty when none.
QString MasterNumberOf(const structLeser& reader);

// ---- whole reader columns ----
// assign: every transponder that lacks the reader gets it; otherwise the reader leaves every
// list. Each list is changed as the database holds it. The reader is marked changed only when
// a transponder changed; changed receives how many did.
RecordResult SetReaderOnAll(CStoreDB_Handler& store, int32_t readerId, bool assign, int* changed = nullptr);

// ---- new numbers ----
// The number as it is stored: upper case. Empty when it is not exactly ten hexadecimal digits.
// The one rule for every way a number comes in (by hand, capture, CSV, fetch all).
QString ValidNumber(const QString& text);
// Inside the caller's transaction: the ID of the stored transponder with this number (0: none),
// read from the database, not the cache. On a server the numbers are locked first for the rest
// of the transaction, so two stations adding one number cannot both find it missing (a file
// is locked whole by the transaction already). -1 on a store error.
int32_t StoredNumberId(CStoreDB_Handler& store, const QString& number);
enum class AddResult { Added, Exists, Failed };
// Adds a transponder with the defaults of a new one (no person, full access, changed) and
// this Readers list; the reader markReaderId (0: none) is marked changed. Whether the number is
// new is decided by the database in the same transaction: Exists when it is stored already
// (also when only another station knows it yet). id gets the new or the existing ID.
AddResult AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers,
                         int32_t markReaderId = 0, int32_t* id = nullptr);
// The reader whose Identity is the device ID in an identity reply (20 characters from
// offset 4); 0 when the reply is too short or no reader matches.
int32_t ReaderOfIdentityReply(CStoreDB_Handler& store, const QString& reply);
// A captured number that exists: the reader is added to its list as the database holds it,
// when missing (the list rewritten as pieces each followed by ";", then the ID), and both are
// marked changed. NotFound: another station deleted it.
AssignResult AddCapturingReader(CStoreDB_Handler& store, int32_t transponderId, int32_t readerId);

// ---- deleting (the table side runs inside the caller's transaction) ----
// Deletes one transponder by ID; persons carrying it lose it and the readers in its list are
// marked changed, in the table only. NotFound when there is none.
RecordResult DeleteTransponder(CStoreDB_Handler& store, int32_t transponderId);
// After the deletes committed: the same cascades in the caches, then the transponders leave
// the cached list. Returns how many left it.
int ForgetTransponders(CStoreDB_Handler& store, const std::vector<int32_t>& ids);
// Deletes every transponder; every person loses its transponder and every reader that held
// one is marked changed. Table and caches, one transaction.
RecordResult DeleteAllTransponders(CStoreDB_Handler& store);

} // namespace TransponderEdits
