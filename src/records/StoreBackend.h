#pragma once
// What the record store asks of a kind of database. The tables and the handler speak only to
// these interfaces; records/sqlite/ holds the database file's implementation and records/server/
// the PostgreSQL server's, each the only place that uses its library's own C functions.
//
//   StoreBackend     the database as a whole: connecting, making and upgrading its schema,
//                    copies to a file, restore, flushing the log.
//   StoreConnection  one thread's connection (a Qt SQL connection of its own name) and the
//                    statements the tables run on it, prepared once per connection.
//   StoreHost        what a table needs of its handler: the calling thread's connection and the
//                    bookkeeping of open cursors.
#include "records/TableDescriptions.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CLanguageHandler;

// One result row, field by field (ID is field 0).
class StoreCells {
public:
    virtual QString Text(int i) const = 0;
    virtual int Int(int i) const = 0;

protected:
    ~StoreCells() = default;
};

// Takes the rows of a read, one call per row.
class StoreRowSink {
public:
    virtual void Row(const StoreCells& cells) = 0;

protected:
    ~StoreRowSink() = default;
};

class StoreConnection {
public:
    explicit StoreConnection(QString name) : m_name(std::move(name)) {}
    virtual ~StoreConnection() = default;
    StoreConnection(const StoreConnection&) = delete;
    StoreConnection& operator=(const StoreConnection&) = delete;

    const QString& Name() const { return m_name; }
    QSqlDatabase Db() const { return QSqlDatabase::database(m_name, false); }

    // Every row of the table, ID and the stored columns; false with error on a store error.
    virtual bool ReadAll(const TableInfo& t, StoreRowSink& sink, QString* error) = 0;
    // Whether the table is there and readable (the check a cursor makes when it opens).
    virtual bool Probe(const TableInfo& t, QString* error) = 0;
    // The statements below throw CDBException on a store error.
    // The record with this ID, locked against other writers until the transaction ends when lock.
    virtual void Seek(const TableInfo& t, int32_t id, bool lock, StoreRowSink& sink) = 0;
    // Adds a record (values without ID, in column order); its new ID (0: none given).
    virtual int32_t Insert(const TableInfo& t, const QVariantList& values) = 0;
    // Stores a record's columns by its ID (values: the columns, then the ID); rows changed.
    virtual int Update(const TableInfo& t, const QVariantList& valuesThenId) = 0;
    virtual int Delete(const TableInfo& t, int32_t id) = 0;
    // Stores many records (each row: ID, then the columns). before(id, values) gives a record
    // as last read, where the backend can use it to send only what changed. The number of
    // records stored; see CStoreTable::UpdateRecords.
    using Before = std::function<bool(int32_t id, QVariantList& values)>;
    virtual int UpdateMany(const TableInfo& t, const std::vector<QVariantList>& rows, const Before& before) = 0;
    // A statement of the program's own with ? for the values; the number of rows it changed.
    virtual int Exec(const QString& sql, const QVariantList& values) = 0;
    // Opens a transaction (the file's write lock is taken at once, so a second writer waits
    // here rather than failing later); false when it could not be opened.
    virtual bool Begin() = 0;
    // Outside a transaction: makes the connection anew when it was found broken (a server
    // restarted). Statements inside a transaction on a broken connection keep failing until the
    // transaction ended, so none of its rest is stored on its own.
    virtual void Recover() {}

private:
    QString m_name;
};

class StoreBackend {
public:
    virtual ~StoreBackend() = default;

    // Whether a database can be opened here at all, before connecting; empty when it can.
    virtual QString CheckBeforeOpen(bool german) = 0;
    // A new connection under this name. mayAsk: a password the server wants may be asked for.
    virtual std::unique_ptr<StoreConnection> Connect(const QString& name, bool mayAsk, QString* error) = 0;
    // Checks the database on the first connection and gives it the tables and schema version
    // of this program; changes nothing on a database that is not one of this program.
    virtual QString Prepare(StoreConnection& c, bool german) = 0;
    virtual int Flush(StoreConnection& c) = 0;
    virtual int CopyTo(StoreConnection& c, const QString& path, QString* error) = 0;
    // Replaces every record by those of a checked backup file, all or nothing.
    virtual int RestoreFrom(StoreConnection& c, const QString& file, bool german, QString* error) = 0;

    // ---- the schema, the same for both kinds but for these words ----
    // The key column's type.
    virtual QString KeyType() const = 0;
    // The query for the names of the tables there are.
    virtual QString TableNamesSql() const = 0;
    // -1 on error.
    virtual int ReadVersion(QSqlDatabase& db, QString* error) const = 0;
    virtual bool WriteVersion(QSqlDatabase& db, int version, QString* error) const = 0;
    // Statements of an upgrade step that only this kind needs.
    virtual QStringList OwnUpgradeStep(int toVersion) const = 0;
    // After records were stored with IDs of their own: the next new record gets a new ID.
    virtual bool ResyncKeys(QSqlDatabase& db, QString* error) const = 0;
    // The table that holds only the kind's bookkeeping (a database with it alone counts as empty).
    virtual QString BookkeepingTable() const = 0;
    // Why a database with tables but none of this program's is refused.
    virtual QString NoTablesText(bool german) const = 0;

    QString CreateSql(const TableInfo& t) const;
    // The tables there are, in lower case (PostgreSQL folds unquoted names; SQLite keeps them
    // as written but compares them without case).
    QStringList TableNames(QSqlDatabase& db, QString* error) const;
    // The checks of an open database, changing nothing: empty when sound and either new (no
    // tables) or one of this program; missing gets the program's tables it lacks.
    QString Inspect(QSqlDatabase& db, bool checkPages, bool german, QStringList* missing) const;
    // Inside the caller's transaction: adds the missing tables (all: with the full-access
    // schedule) and upgrades the schema.
    QString MakeSchema(QSqlDatabase& db, const QStringList& missing) const;
    QString Upgrade(QSqlDatabase& db) const;
};

// A failure always has a reason, even when the driver gives no text.
QString StoreReason(const QString& text);
// Runs one statement through Qt; false with the driver's text.
bool StoreExec(QSqlDatabase& db, const QString& sql, QString* error);

// What a table needs of its store.
class StoreHost {
public:
    // The calling thread's connection, made on first use; null with a reason when the database
    // is not open or the connection cannot be made.
    virtual StoreConnection* Connection(QString* error) = 0;
    virtual void CursorOpened() = 0;
    virtual void CursorClosed() = 0;
    virtual void ReleaseIfIdle() = 0;
    virtual bool IsOwnerThread() const = 0;
    virtual bool InTransaction() const = 0;

protected:
    ~StoreHost() = default;
};

// A number for the calling thread, never reused (unlike thread handles), so a finished worker's
// connection name is never taken over.
uint64_t StoreThreadId();
