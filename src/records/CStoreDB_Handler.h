#pragma once
// The record store: six tables (TableDescriptions.h), either in one SQLite database file (the
// default, records/sqlite/) or in a PostgreSQL database that several workstations share
// (records/server/), reached through the backend interface of StoreBackend.h.
//
// Which database: see StoreLocation.h. The settings value "DBUrl" names a shared database;
// otherwise "DBPath" names the file, and without it the file is "VendrikManagerAIO.mdb" in the
// per-user data folder (Paths::DataDir()). The file keeps the ".mdb" ending because backup and
// restore cut and append exactly that ending. OpenRecordStore() opens one named by a text.
//
// A missing file, or an empty shared database, is given the six tables, their lookup indexes
// and the full-access schedule "Vollzugriff" (four windows "0000" to "2359", every day; head
// window ID 1). A database of an older schema is upgraded in place at opening, in one
// transaction; the version is kept in PRAGMA user_version in a file and in the table
// vmSchemaVersion on a server. An existing database that cannot be opened or read as one of
// this program is left exactly as it is: IsDatabaseOpen() is false, DatabaseError() says why,
// and every table then fails to open and to reload.
//
// Shared database: every change is a transaction of its own (or the caller's CStoreTransaction);
// an edit locks its record when it reads it, so a record another workstation deleted meanwhile
// is not found rather than half-changed. Cached lists show what this workstation last read;
// _Requery() brings in the others' changes. Backups are SQLite files either way
// (CopyDatabaseTo), and RestoreFrom() puts such a file's records in place of the database's.
//
// Durability: a record stored with Update() survives the program being killed right after it.
// (On a server: commits do not wait for the server's disk, the same bargain as below.)
// The database runs in WAL journal mode with synchronous=NORMAL: a commit is appended to the
// write-ahead log without waiting for the disk, which makes adding thousands of events one by
// one fast and is safe against a crashed or killed process (not against power loss). Before
// copying the database file (backup, restore) call FlushDatabaseFile(), which writes the log
// into the file itself, so the copy is complete and no stale log is replayed into a restored file.
//
// Threads: see CStoreTable.h. In short, cursors are per thread (each thread gets its own
// connection, named after the handler and the thread); cached lists belong to the thread that
// created the handler; _Requery() may be called anywhere.
//
// Restore deletes the handler and creates a new one; the destructor closes every connection it
// made, in every thread, so the file is free afterwards. Do not delete the handler while a worker
// still uses it.
#include "records/CStoreTable.h"
#include "records/StoreBackend.h"
#include "records/StoreLocation.h"

#include <QMutex>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CLanguageHandler;

class CtblLeser : public CStoreTable<structLeser> {
public:
    explicit CtblLeser(CStoreDB_Handler* s);
    int GetAnz_Leser() const { return GetCount(); }
    const structLeser& Get_Leser(int i) const { return At(i); }
};

class CtblTransponder : public CStoreTable<structTransponder> {
public:
    explicit CtblTransponder(CStoreDB_Handler* s);
    int GetAnz_Transponder() const { return GetCount(); }
    const structTransponder& Get_Transponder(int i) const { return At(i); }
    // The first transponder with this number (-1: none). Numbers are unique by the program's
    // rules, not by the database.
    int IndexOfNumber(const QString& number) const { return FirstIndexOfKey(number); }
};

class CtblPerson : public CStoreTable<structPerson> {
public:
    explicit CtblPerson(CStoreDB_Handler* s);
    int GetAnz_Person() const { return GetCount(); }
    const structPerson& Get_Person(int i) const { return At(i); }
    // The first person carrying this transponder (-1: none), and all of them.
    int IndexOfTransponder(int32_t transponderId) const { return FirstIndexOfKey(transponderId); }
    std::vector<int> IndicesOfTransponder(int32_t transponderId) const { return IndicesOfKey(transponderId); }
};

class CtblZeitschema : public CStoreTable<structZeitschema> {
public:
    explicit CtblZeitschema(CStoreDB_Handler* s);
    int GetAnz_Zeitschema() const { return GetCount(); }
    const structZeitschema& Get_Zeitschema(int i) const { return At(i); }
};

class CtblEvents : public CStoreTable<structEvents> {
public:
    explicit CtblEvents(CStoreDB_Handler* s);
    int GetAnz_Events() const { return GetCount(); }
    const structEvents& Get_Event(int i) const { return At(i); }
    // The events read from this reader, ascending.
    std::vector<int> IndicesOfReader(int32_t readerId) const { return IndicesOfKey(readerId); }
};

class CtblOnline : public CStoreTable<structOnline> {
public:
    explicit CtblOnline(CStoreDB_Handler* s);
    int GetAnz_Online() const { return GetCount(); }
    const structOnline& Get_Online(int i) const { return At(i); }
};

class CStoreDB_Handler final : public StoreHost {
public:
    // lang gives the texts of the record-change messages; it may be null (tools, tests).
    // The database is the one the settings name.
    explicit CStoreDB_Handler(CLanguageHandler* lang);
    // The database at where. A password the server asks for is asked through the prompt seam.
    CStoreDB_Handler(CLanguageHandler* lang, const StoreLocation& where);
    ~CStoreDB_Handler();
    CStoreDB_Handler(const CStoreDB_Handler&) = delete;
    CStoreDB_Handler& operator=(const CStoreDB_Handler&) = delete;

    CtblLeser* Get_Ptr_To_tblLeser() { return &m_leser; }
    CtblTransponder* Get_Ptr_To_tblTransponder() { return &m_transponder; }
    CtblPerson* Get_Ptr_To_tblPerson() { return &m_person; }
    CtblZeitschema* Get_Ptr_To_tblZeitschema() { return &m_zeitschema; }
    CtblEvents* Get_Ptr_To_tblEvents() { return &m_events; }
    CtblOnline* Get_Ptr_To_tblOnline() { return &m_online; }

    QString GetAktDBPath() const { return m_path; }   // full path of the database file; empty when shared
    const StoreLocation& Location() const { return m_loc; }
    bool IsShared() const { return m_loc.IsShared(); }
    bool IsDatabaseOpen() const { return m_open; }
    QString DatabaseError() const { return m_error; } // empty when the database is open
    CLanguageHandler* GetLanguageHandler() const { return m_lang; }

    // Writes the write-ahead log into the database file and empties it. 1 on success (and
    // always on a server, which keeps its own files).
    int FlushDatabaseFile();
    // Writes a consistent copy of the database, with every committed change, to path (which
    // must not exist yet) as a SQLite file, also from a server. 1 on success; otherwise error
    // says why.
    int CopyDatabaseTo(const QString& path, QString* error);
    // Whether the file at path is a sound database of this program, by the rules the store
    // opens a file with; an empty file or one without the program's tables is refused too.
    // Reads only. Empty when it is; otherwise why not, in German or English.
    static QString CheckDatabaseFile(const QString& path, bool german);

    // Replaces every record by those of a backup file (checked first with CheckDatabaseFile) in
    // one transaction, and reloads the cached lists. A database file takes the backup's pages
    // through its open connection (brought to this program's schema first), so other programs
    // with the file open see the new records at their next read. 1 on success; otherwise error
    // says why and the database is as it was.
    int RestoreFrom(const QString& file, QString* error);

    // The settings value naming the database file, and the default file name.
    static const char* SettingDBPath() { return StoreLocation::SettingDBPath(); }
    static const char* DefaultFileName() { return StoreLocation::DefaultFileName(); }

    // ---- transactions of the calling thread (see CStoreTransaction.h) ----
    int BeginTransaction();            // 1 when started or joined
    int EndTransaction(bool commit);   // 1 when committed (or joined and not failed)
    void FailTransaction();            // the outermost transaction will roll back
    bool InTransaction() const override;
    // Runs show now, or, inside a transaction of the calling thread, right after the outermost
    // one ended: a message box must not keep the transaction's locks while the user reads it.
    void AfterTransaction(std::function<void()> show);
    static void SetBeforeCommitHook(std::function<void()> hook);   // test seam

    // ---- for the tables ----
    // The calling thread's connection, made on first use. Returns false with a reason when the
    // database is not open or the connection cannot be made.
    bool ThreadConnection(QString& name, QString* error);
    StoreConnection* Connection(QString* error) override;
    void CursorOpened() override;   // counts this thread's open cursors
    void CursorClosed() override;   // drops a worker's connection when its last cursor closes
    void ReleaseIfIdle() override;  // drops a worker's connection when no cursor of it is open
    bool IsOwnerThread() const override;
    static uint64_t CurrentThreadId() { return StoreThreadId(); }

private:
    QString OpenDatabase();         // empty when open, else why not
    bool German() const;
    static void RunBeforeCommitHook();
    void CloseConnections();
    void DropConnection(uint64_t thread);   // under m_connMutex
    void LoadAll();

    CLanguageHandler* m_lang;
    StoreLocation m_loc;
    std::unique_ptr<StoreBackend> m_backend;
    QString m_path;
    bool m_open = false;
    QString m_error;
    uint64_t m_ownerThread;
    QString m_prefix;

    struct ThreadConn {
        QString name;
        int cursors = 0;
        std::unique_ptr<StoreConnection> conn;
    };
    mutable QMutex m_connMutex;
    std::map<uint64_t, ThreadConn> m_conns;
    struct TxState {
        int depth = 0;
        bool failed = false;
        std::vector<std::function<void()>> after;   // see AfterTransaction
    };
    std::map<uint64_t, TxState> m_tx;   // by thread, under m_connMutex

    CtblLeser m_leser{this};
    CtblTransponder m_transponder{this};
    CtblPerson m_person{this};
    CtblZeitschema m_zeitschema{this};
    CtblEvents m_events{this};
    CtblOnline m_online{this};
};

inline CtblLeser::CtblLeser(CStoreDB_Handler* s) : CStoreTable(s, *s) {}
inline CtblTransponder::CtblTransponder(CStoreDB_Handler* s) : CStoreTable(s, *s) {}
inline CtblPerson::CtblPerson(CStoreDB_Handler* s) : CStoreTable(s, *s) {}
inline CtblZeitschema::CtblZeitschema(CStoreDB_Handler* s) : CStoreTable(s, *s) {}
inline CtblEvents::CtblEvents(CStoreDB_Handler* s) : CStoreTable(s, *s) {}
inline CtblOnline::CtblOnline(CStoreDB_Handler* s) : CStoreTable(s, *s) {}

// Opens the record store named by urlOrFile: a postgresql:// URL (see StoreLocation.h) or the
// path of a database file. The handler's IsDatabaseOpen()/DatabaseError() tell how it went.
std::unique_ptr<CStoreDB_Handler> OpenRecordStore(const QString& urlOrFile, CLanguageHandler* lang);
