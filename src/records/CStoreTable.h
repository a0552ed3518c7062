#pragma once
// One table of the record store, with its two faces.
//
// Cached list: the whole table in memory, in table order (ascending ID), read by index.
//   GetCount()/At(i) here; the table classes in CStoreDB_Handler.h give them their record names
//   (GetAnz_Leser, Get_Leser, ...). Position is always i + 1.
//   At(i) is read-only. A cached record is changed in place through PatchById(id, fn) (or
//   PatchAt(i) for many records at once), so the lookups below stay in step with it.
//   Lookups: IndexOf(id) by binary search over the ID order; the tables add their own keyed
//   lookups (transponders by Number, persons by TransponderID, events by ReaderID), kept in a
//   hash from key to IDs that follows every append, patch and removal.
//   Stable references: a view that keeps records across changes keeps their IDs and resolves
//   them again through IndexOf (or the keyed lookups); an index or a reference into the list is
//   only good until the next removal or reload.
//   Removing: RemoveAt(i) for one record; RemoveIds(ids) and RemoveWhere(pred) take any number
//   of records out in one pass, O(n + k).
//
// Cursor: the record set through which records are added, edited and deleted.
//   Open() / IsOpen() / Requery() / MoveFirst() / MoveNext() / MoveLast() / IsEOF() /
//   AddNew() / Edit() / Rec() / Update() / Delete() / CancelUpdate() / Close().
//   Rec() is the field buffer: after a move it holds the current record; after AddNew() it is a
//   blank record; after Edit() the current record. The caller assigns the fields of Rec() and
//   stores them with Update():
//       tbl->AddNew(); tbl->Rec().Name = name; tbl->Rec().Changed = 0; tbl->Update();
//   Open() on a cursor that is open starts it afresh. The cursor reads the whole table when it
//   is first walked after Open() or Requery(); Seek(id) instead reads the one record with that
//   ID and makes it the cursor's only record, so a change of one record never reads the table.
//   Records added through the cursor are appended, deleted ones drop out (after Delete(),
//   MoveNext() goes to the record that followed). DeleteById(id) deletes without reading.
//   A failing store operation throws CDBException; Open() returns 0 instead.
//   Update() returns when the record is durable (see CStoreDB_Handler.h), or, inside a
//   CStoreTransaction, when that transaction commits.
//
// Threads (the rule every caller keeps):
//   - The cursor is per thread: each thread that uses a table has its own cursor on it, on its
//     own database connection, so a worker adding events never disturbs a dialog's cursor.
//     Always Close() what you Open(); a worker's connection is dropped when its last cursor closes.
//   - The cached list belongs to the owner thread, the thread that created the store handler
//     (the GUI thread). Only that thread reads it (GetCount, At, lookups) or changes it (patches,
//     removals, Append). _Requery() may be called from any thread: on the owner thread the
//     list is replaced at once; on another thread the table is read there and the new list is
//     handed to the owner thread as a queued call, so it is in place before any message the worker
//     posts or sends to a window afterwards is handled. Its result tells whether the table could
//     be read. A newer reload is never replaced by an older one.
#include "base/ThreadInbox.h"
#include "records/CDBException.h"
#include "records/Records.h"
#include "records/TableDescriptions.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QVariant>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CStoreDB_Handler;
class StoreConnection;
class StoreHost;

// What every table shares, whatever its record type.
class CStoreTableBase {
public:
    // store is what Store() gives callers; the table reaches its database through host.
    CStoreTableBase(CStoreDB_Handler* store, StoreHost& host, const TableInfo& info);
    virtual ~CStoreTableBase();
    CStoreTableBase(const CStoreTableBase&) = delete;
    CStoreTableBase& operator=(const CStoreTableBase&) = delete;

    const QString& TableName() const { return m_table; }
    CStoreDB_Handler* Store() const { return m_store; }

    // Set-based changes on the calling thread's connection, for cascades and bulk changes
    // (column names come from the program, never from input). Each returns the number of rows
    // changed and throws CDBException on a store error. Run them inside a CStoreTransaction when
    // they are one step of several.
    int DeleteAllRows();
    int DeleteWhereColumn(const QString& column, const QVariant& value);
    // An empty whereColumn changes every row.
    int UpdateColumnWhere(const QString& setColumn, const QVariant& setValue, const QString& whereColumn,
                          const QVariant& whereValue);

protected:
    bool IsOwnerThread() const;
    // Queues fn on the owner thread; dropped if the table is gone by then.
    void PostToOwner(std::function<void()> fn);
    // The calling thread's connection; throws CDBException when there is none.
    StoreConnection& Connection() const;

    CStoreDB_Handler* m_store;
    StoreHost& m_host;
    const TableInfo& m_info;
    QString m_table;
    CThreadInbox& m_ownerInbox;   // the owner thread's; tables are made there
};

// The keyed lookup of a table beyond its ID: none by default.
template <class R>
struct SecondaryKey {
    static constexpr bool kHas = false;
    using Key = int32_t;
    static Key Of(const R&) { return 0; }
};
template <>
struct SecondaryKey<structTransponder> {
    static constexpr bool kHas = true;
    using Key = QString;
    static Key Of(const structTransponder& r) { return r.Number; }
};
template <>
struct SecondaryKey<structPerson> {
    static constexpr bool kHas = true;
    using Key = int32_t;
    static Key Of(const structPerson& r) { return r.TransponderID; }
};
template <>
struct SecondaryKey<structEvents> {
    static constexpr bool kHas = true;
    using Key = int32_t;
    static Key Of(const structEvents& r) { return r.ReaderID; }
};

template <class R>
class CStoreTable : public CStoreTableBase {
public:
    using Record = R;
    CStoreTable(CStoreDB_Handler* store, StoreHost& host);
    ~CStoreTable() override;

    using Key = typename SecondaryKey<R>::Key;

    // ---- cached list (owner thread) ----
    int GetCount() const { return static_cast<int>(m_list.size()); }
    // The cached record at index i. For an index outside the list a blank record is returned
    // (callers check the index against the count; this only keeps a slip from crashing).
    const R& At(int i) const;
    int _Requery();                 // 1 when the table was read, 0 otherwise
    int RemoveAt(int i);            // 1 when record i existed and was removed
    void RemoveAllData();
    // Takes every cached record with one of these IDs out; returns how many. O(n + k).
    int RemoveIds(const std::vector<int32_t>& ids);
    // Takes every cached record for which pred is true out; returns how many. O(n).
    int RemoveWhere(const std::function<bool(const R&)>& pred);
    // Adds a record just stored to the end of the list (its ID is the highest so far; a lower
    // one is put in its place in ID order).
    void Append(const R& rec);
    // Changes the cached record with this ID in place; false when there is none. The ID itself
    // must not be changed.
    bool PatchById(int32_t id, const std::function<void(R&)>& fn);
    // The cached record at index i for changes in place (many records in a row); the keyed
    // lookup is rebuilt on its next use. Outside the list: a blank record.
    R& PatchAt(int i);

    // ---- lookups (owner thread) ----
    int IndexOf(int32_t id) const;                 // -1 when no cached record has this ID
    const R* FindById(int32_t id) const;           // null when none
    // List indices of the records whose secondary key (see SecondaryKey) equals key, ascending.
    std::vector<int> IndicesOfKey(const Key& key) const;
    int FirstIndexOfKey(const Key& key) const;     // -1 when none

    // ---- cursor (per thread) ----
    bool IsOpen() const;
    int Open();                     // 1 on success; 0 when the table cannot be opened
    QString OpenError() const;      // why the last Open() of this thread failed
    void Requery();                 // re-reads the table, positions on the first record
    bool IsEOF();
    bool IsBOF();
    void MoveFirst();
    void MoveNext();
    void MoveLast();
    void AddNew();
    void Edit();
    R& Rec();                       // the field buffer, see above
    int Update();                   // stores the AddNew/Edit buffer; 1, or throws CDBException
    void Delete();                  // deletes the current record; throws CDBException
    void CancelUpdate();
    void Close();
    int32_t GetLastAddedID() const; // ID given to the last record this thread added (0: none)
    // Makes the record with this ID the cursor's one current record, reading only it. 1 when
    // found; 0 leaves the cursor at its end (IsEOF).
    int Seek(int32_t id);
    // Deletes the record with this ID; 1 when it existed, 0 when not. Throws on a store error.
    int DeleteById(int32_t id);
    // Stores many edited records (each by its ID) at once, with the cursor open: on a server
    // all of them in one statement instead of a round trip each, and only the fields that
    // differ from the cursor's rows. The number of records stored (an unchanged one counts);
    // throws on a store error. The cursor's own rows are not changed.
    int UpdateRecords(const std::vector<R>& recs);

private:
    struct Cursor {
        enum Mode { None, Adding, Editing };
        bool loaded = false;
        std::vector<R> rows;
        size_t cur = 0;
        bool deletedHere = false;   // current record was deleted; cur already names the next
        Mode mode = None;
        R buf;
    };
    Cursor* Find() const;           // this thread's open cursor, or nullptr
    Cursor& Need(const char* what); // this thread's open cursor; throws when not open
    void Load(Cursor& c);
    void Show(Cursor& c);           // buffer = current record (blank at the end)
    bool ReadAll(std::vector<R>& rows, QString* error);
    void Apply(std::vector<R>&& rows, uint64_t generation);
    void Renumber(size_t from);
    void KeyIndexStale() { m_keyStale = true; }
    void BuildKeyIndex() const;

    std::vector<R> m_list;
    mutable QHash<Key, std::vector<int32_t>> m_byKey;   // key -> IDs, ascending
    mutable bool m_keyStale = true;
    uint64_t m_listGeneration = 0;
    std::atomic<uint64_t> m_generations{0};
    mutable QMutex m_cursorMutex;
    std::map<uint64_t, Cursor> m_cursors;   // by thread
    std::map<uint64_t, QString> m_openErrors;
    std::map<uint64_t, int32_t> m_lastAdded;
};

extern template class CStoreTable<structLeser>;
extern template class CStoreTable<structTransponder>;
extern template class CStoreTable<structPerson>;
extern template class CStoreTable<structZeitschema>;
extern template class CStoreTable<structEvents>;
extern template class CStoreTable<structOnline>;
