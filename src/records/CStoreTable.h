#pragma once
// One table of the record store, with its two faces.
//
// Cached list: the whole table in memory, in table order (ascending ID), read by index.
//   GetCount()/At(i) here; the table classes in CStoreDB_Handler.h give them their record names
//   (GetAnz_Leser, Get_Leser, ...). At(i) returns a reference to the cached record, which callers
//   may patch in place; it stays valid until the list is reloaded (_Requery) or a record is
//   removed from it (RemoveAt, RemoveAllData). Position is always i + 1.
//
// Cursor: the record set through which records are added, edited and deleted.
//   Open() / IsOpen() / Requery() / MoveFirst() / MoveNext() / MoveLast() / IsEOF() /
//   AddNew() / Edit() / Rec() / Update() / Delete() / CancelUpdate() / Close().
//   Rec() is the field buffer: after a move it holds the current record; after AddNew() it is a
//   blank record; after Edit() the current record. The caller assigns the fields of Rec() and
//   stores them with Update():
//       tbl->AddNew(); tbl->Rec().Name = name; tbl->Rec().Changed = 0; tbl->Update();
//   Open() on a cursor that is open starts it afresh. The cursor reads the table when it is
//   first walked after Open() or Requery(); records added
//   through it are appended, deleted ones drop out (after Delete(), MoveNext() goes to the record
//   that followed). A failing store operation throws CDBException; Open() returns 0 instead.
//   Update() returns when the record is durable (see CStoreDB_Handler.h).
//
// Threads (the rule every caller keeps):
//   - The cursor is per thread: each thread that uses a table has its own cursor on it, on its
//     own database connection, so a worker adding events never disturbs a dialog's cursor.
//     Always Close() what you Open(); a worker's connection is dropped when its last cursor closes.
//   - The cached list belongs to the owner thread, the thread that created the store handler
//     (the GUI thread). Only that thread reads it (GetCount, At) or changes it (RemoveAt,
//     RemoveAllData, patching). _Requery() may be called from any thread: on the owner thread the
//     list is replaced at once; on another thread the table is read there and the new list is
//     handed to the owner thread as a queued call, so it is in place before any message the worker
//     posts or sends to a window afterwards is handled. Its result tells whether the table could
//     be read. A newer reload is never replaced by an older one.
#include "records/CDBException.h"
#include "records/Records.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CStoreDB_Handler;
class QObject;

// What every table shares, whatever its record type.
class CStoreTableBase {
public:
    CStoreTableBase(CStoreDB_Handler* store, QString table);
    virtual ~CStoreTableBase();
    CStoreTableBase(const CStoreTableBase&) = delete;
    CStoreTableBase& operator=(const CStoreTableBase&) = delete;

    const QString& TableName() const { return m_table; }
    CStoreDB_Handler* Store() const { return m_store; }

    // Starts/ends a transaction on the calling thread's connection, so that several records
    // added through the cursor become visible together (the four windows of a schedule).
    // Begin returns 0 when no transaction could be started; Commit throws CDBException.
    int BeginTransaction();
    void CommitTransaction();
    void RollbackTransaction();

protected:
    bool IsOwnerThread() const;
    // Queues fn on the owner thread; dropped if the table is gone by then.
    void PostToOwner(std::function<void()> fn);

    CStoreDB_Handler* m_store;
    QString m_table;
    std::unique_ptr<QObject> m_ownerContext;
};

template <class R>
class CStoreTable : public CStoreTableBase {
public:
    using Record = R;
    CStoreTable(CStoreDB_Handler* store, QString table);
    ~CStoreTable() override;

    // ---- cached list (owner thread) ----
    int GetCount() const { return static_cast<int>(m_list.size()); }
    // The cached record at index i. For an index outside the list a blank record is returned
    // (callers check the index against the count; this only keeps a slip from crashing).
    R& At(int i);
    int _Requery();                 // 1 when the table was read, 0 otherwise
    int RemoveAt(int i);            // 1 when record i existed and was removed
    void RemoveAllData();

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

    std::vector<R> m_list;
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
