#include "records/sqlite/SqliteBackend.h"

#include "records/CDBException.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <sqlite3.h>

namespace {

QString Placeholders(qsizetype n) { return QStringList(n, QStringLiteral("?")).join(u','); }

// Field access of a row of a statement, straight from SQLite without a QVariant per field:
// whole-table reads are the hot path of every reload.
class StmtCells final : public StoreCells {
public:
    explicit StmtCells(sqlite3_stmt* st) : m_st(st) {}
    QString Text(int i) const override
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_st, i));
        return QString::fromUtf8(text, sqlite3_column_bytes(m_st, i));
    }
    int Int(int i) const override { return sqlite3_column_int(m_st, i); }

private:
    sqlite3_stmt* m_st;
};

class SqliteConnection final : public StoreConnection {
public:
    SqliteConnection(QString name, sqlite3* handle) : StoreConnection(std::move(name)), m_h(handle) {}
    ~SqliteConnection() override
    {
        // Before Qt closes the handle: SQLite keeps a connection with statements open.
        for (sqlite3_stmt* st : std::as_const(m_statements))
            sqlite3_finalize(st);
    }

    bool ReadAll(const TableInfo& t, StoreRowSink& sink, QString* error) override
    {
        // A file hands its rows out in key order by itself.
        return Select(QStringLiteral("SELECT %1 FROM %2 ORDER BY ID").arg(t.allColumns, t.name), {}, sink, error);
    }

    bool Probe(const TableInfo& t, QString* error) override
    {
        struct None final : StoreRowSink {
            void Row(const StoreCells&) override {}
        } none;
        return Select(QStringLiteral("SELECT %1 FROM %2 LIMIT 0").arg(t.allColumns, t.name), {}, none, error);
    }

    void Seek(const TableInfo& t, int32_t id, bool, StoreRowSink& sink) override
    {
        // The transaction holds the whole file's write lock already.
        QString error;
        if (!Select(QStringLiteral("SELECT %1 FROM %2 WHERE ID=?").arg(t.allColumns, t.name), {id}, sink, &error))
            throw CDBException(error);
    }

    int32_t Insert(const TableInfo& t, const QVariantList& values) override
    {
        Exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(t.name, t.columns.join(u','), Placeholders(t.columns.size())),
             values);
        return int32_t(sqlite3_last_insert_rowid(m_h));
    }

    int Update(const TableInfo& t, const QVariantList& valuesThenId) override
    {
        return Exec(UpdateSql(t), valuesThenId);
    }

    int Delete(const TableInfo& t, int32_t id) override
    {
        return Exec(QStringLiteral("DELETE FROM %1 WHERE ID=?").arg(t.name), {id});
    }

    int UpdateMany(const TableInfo& t, const std::vector<QVariantList>& rows, const Before&) override
    {
        // Changes in place, one statement per record (prepared once).
        const QString sql = UpdateSql(t);
        int stored = 0;
        QVariantList values;
        for (const QVariantList& row : rows) {
            values = row.mid(1);
            values.append(row.first());
            stored += Exec(sql, values);
        }
        return stored;
    }

    int Exec(const QString& sql, const QVariantList& values) override
    {
        sqlite3_stmt* st = Statement(sql);
        Bind(st, values);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw CDBException(Error());
        return sqlite3_changes(m_h);
    }

    bool Begin() override
    {
        try {
            Exec(QStringLiteral("BEGIN IMMEDIATE"), {});
            return true;
        } catch (const CDBException&) {
            return false;
        }
    }

private:
    static QString UpdateSql(const TableInfo& t)
    {
        return QStringLiteral("UPDATE %1 SET %2=? WHERE ID=?").arg(t.name, t.columns.join(QStringLiteral("=?,")));
    }

    QString Error() const { return QString::fromUtf8(sqlite3_errmsg(m_h)); }

    // The statement for this text, prepared on first use and kept for the connection's life.
    sqlite3_stmt* Statement(const QString& sql)
    {
        auto it = m_statements.constFind(sql);
        if (it != m_statements.cend())
            return *it;
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v3(m_h, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(st);
            throw CDBException(Error());
        }
        m_statements.insert(sql, st);
        return st;
    }

    static void Bind(sqlite3_stmt* st, const QVariantList& values)
    {
        sqlite3_clear_bindings(st);
        for (int i = 0; i < int(values.size()); ++i) {
            const QVariant& v = values[i];
            if (v.metaType().id() == QMetaType::QString) {
                const QByteArray utf8 = v.toString().toUtf8();
                sqlite3_bind_text(st, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(st, i + 1, v.toLongLong());
            }
        }
    }

    bool Select(const QString& sql, const QVariantList& values, StoreRowSink& sink, QString* error)
    {
        sqlite3_stmt* st = nullptr;
        try {
            st = Statement(sql);
        } catch (const CDBException& e) {
            if (error)
                *error = e.m_strError;
            return false;
        }
        Bind(st, values);
        const StmtCells cells(st);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            sink.Row(cells);
        const bool ok = rc == SQLITE_DONE;
        if (!ok && error)
            *error = Error();
        sqlite3_reset(st);   // no read left open: it would hold back the log's checkpoint
        return ok;
    }

    sqlite3* m_h;
    QHash<QString, sqlite3_stmt*> m_statements;
};

// The SQLite handle behind a Qt SQL connection, or null for any other driver.
sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

} // namespace

SqliteFileConnection::SqliteFileConnection(const QString& path, bool readOnly)
{
    static std::atomic<int> serial{0};
    m_name = QStringLiteral("vmfile_%1").arg(++serial);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_db.setDatabaseName(path);
    if (readOnly)
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!m_db.open())
        m_error = StoreReason(m_db.lastError().text());
}

SqliteFileConnection::~SqliteFileConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

QString SqliteBackend::NoTablesText(bool german) const
{
    return german ? QStringLiteral("Die Datei enthält keine Tabellen dieses Programms.")
                  : QStringLiteral("The file holds no tables of this program.");
}

QString SqliteBackend::CheckFile(const QString& path, bool german)
{
    const QFileInfo fi(path);
    if (!fi.isFile())
        return german ? QStringLiteral("Die Datei fehlt.") : QStringLiteral("The file does not exist.");
    if (!fi.isReadable())
        return german ? QStringLiteral("Die Datei ist nicht lesbar.") : QStringLiteral("The file is not readable.");
    SqliteFileConnection file(path, true);
    if (!file.IsOpen())
        return file.Error();
    const SqliteBackend kind(path);
    QStringList missing;
    QString why = kind.Inspect(file.Db(), true, german, &missing);
    // An empty file is a new database to the store, but nothing to put in place of one.
    if (why.isEmpty() && missing.size() == qsizetype(AllTables().size()))
        why = kind.NoTablesText(german);
    return why;
}

QString SqliteBackend::CheckBeforeOpen(bool german)
{
    const QFileInfo fi(m_path);
    m_existed = fi.exists();
    if (m_existed && !fi.isFile())
        return german ? QStringLiteral("Der Pfad ist keine Datei.") : QStringLiteral("The path is not a file.");
    if (!m_existed && !QDir().mkpath(fi.absolutePath()))
        return german ? QStringLiteral("Der Ordner kann nicht angelegt werden.") : QStringLiteral("The folder cannot be created.");
    if (m_existed && !fi.isReadable())
        return german ? QStringLiteral("Die Datei ist nicht lesbar.") : QStringLiteral("The file is not readable.");
    return {};
}

std::unique_ptr<StoreConnection> SqliteBackend::Connect(const QString& name, bool, QString* error)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_path);
    // A second writer waits for the first instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return nullptr;
    }
    // Per connection: commits go to the log without waiting for the disk (see CStoreDB_Handler.h).
    if (!StoreExec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error))
        return nullptr;
    sqlite3* handle = SqliteHandle(db);
    if (!handle) {
        if (error)
            *error = QStringLiteral("The Qt SQLite driver gives no handle.");
        return nullptr;
    }
    return std::make_unique<SqliteConnection>(name, handle);
}

QString SqliteBackend::Prepare(StoreConnection& c, bool german)
{
    QSqlDatabase db = c.Db();
    QStringList missing;
    // Nothing is written to an existing file until it has proved to be a sound database.
    if (const QString why = Inspect(db, m_existed, german, &missing); !why.isEmpty())
        return why;
    QString error;
    if (!StoreExec(db, QStringLiteral("PRAGMA journal_mode=WAL"), &error))
        return StoreReason(error);
    if (!db.transaction())
        return StoreReason(db.lastError().text());
    const QString why = MakeSchema(db, missing);
    if (!why.isEmpty()) {
        db.rollback();
        return why;
    }
    if (!db.commit())
        return StoreReason(db.lastError().text());
    return {};
}

int SqliteBackend::Flush(StoreConnection& c)
{
    QSqlQuery q(c.Db());
    // The first column is 1 when another connection kept the checkpoint from finishing.
    return q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && q.next() && q.value(0).toInt() == 0 ? 1 : 0;
}

int SqliteBackend::CopyTo(StoreConnection& c, const QString& path, QString* error)
{
    QSqlQuery q(c.Db());
    // VACUUM INTO reads one snapshot through the log, so the copy holds every committed
    // change, and writers are not held up meanwhile.
    bool ok = q.prepare(QStringLiteral("VACUUM INTO ?"));
    if (ok) {
        q.addBindValue(path);
        ok = q.exec();
    }
    if (!ok && error)
        *error = StoreReason(q.lastError().text());
    return ok ? 1 : 0;
}

namespace {

// Every page of one database into another, in one write transaction of the target taken
// through SQLite's own locking: a program with the target open sees the old content or the new,
// never a mix, and at its next read the new. Empty on success.
QString CopyPages(sqlite3* from, sqlite3* to, bool german)
{
    sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
    if (!b)
        return StoreReason(QString::fromUtf8(sqlite3_errmsg(to)));
    int rc = SQLITE_BUSY;
    // The busy timeout of the target waits for another writer; a copy that still finds the
    // database busy tries again a few times before it gives up.
    for (int tries = 0; tries < 5 && (rc == SQLITE_BUSY || rc == SQLITE_LOCKED); ++tries) {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(200);
    }
    sqlite3_backup_finish(b);
    if (rc == SQLITE_DONE)
        return {};
    // A database in write-ahead mode keeps its page size; a file of another one cannot go in.
    if (rc == SQLITE_READONLY)
        return german ? QStringLiteral("Die Datei hat eine andere Seitengröße als die Datenbank.")
                      : QStringLiteral("The file has another page size than the database.");
    return StoreReason(QString::fromUtf8(sqlite3_errstr(rc)));
}

} // namespace

int SqliteBackend::RestoreFrom(StoreConnection& c, const QString& file, bool german, QString* error)
{
    QString why;
    {
        // The file's content is brought up to this program's schema in memory first, so the
        // database never shows other programs an older schema, and what goes in is what was
        // checked here.
        SqliteFileConnection source(file, true);
        SqliteFileConnection staged(QStringLiteral(":memory:"), false);
        sqlite3* target = SqliteHandle(c.Db());
        if (!source.IsOpen())
            why = source.Error();
        else if (!staged.IsOpen())
            why = staged.Error();
        else if (!target)
            why = QStringLiteral("The Qt SQLite driver gives no handle.");
        if (why.isEmpty())
            why = CopyPages(SqliteHandle(source.Db()), SqliteHandle(staged.Db()), german);
        QStringList missing;
        if (why.isEmpty())
            why = Inspect(staged.Db(), true, german, &missing);
        if (why.isEmpty() && missing.size() == qsizetype(AllTables().size()))
            why = NoTablesText(german);
        if (why.isEmpty()) {
            if (!staged.Db().transaction()) {
                why = StoreReason(staged.Db().lastError().text());
            } else if (why = MakeSchema(staged.Db(), missing); !why.isEmpty()) {
                staged.Db().rollback();
            } else if (!staged.Db().commit()) {
                why = StoreReason(staged.Db().lastError().text());
            }
        }
        if (why.isEmpty())
            why = CopyPages(SqliteHandle(staged.Db()), target, german);
    }
    if (!why.isEmpty() && error)
        *error = why;
    return why.isEmpty() ? 1 : 0;
}

int SqliteBackend::ReadVersion(QSqlDatabase& db, QString* error) const
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        *error = StoreReason(q.lastError().text());
        return -1;
    }
    return q.value(0).toInt();
}

bool SqliteBackend::WriteVersion(QSqlDatabase& db, int version, QString* error) const
{
    return StoreExec(db, QStringLiteral("PRAGMA user_version=%1").arg(version), error);
}
