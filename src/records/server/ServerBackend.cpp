#include "records/server/ServerBackend.h"

#include "base/Prompt.h"
#include "records/CDBException.h"
#include "records/sqlite/SqliteBackend.h"
#include "texts/CLanguageHandler.h"

#include <QMutexLocker>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <algorithm>
#include <cstdlib>
#include <libpq-fe.h>
#include <set>

namespace {

// The program's own advisory lock, held while a schema is made or upgraded.
constexpr qint64 kSchemaLock = 0x56454e44524b;   // "VENDRK"
// PostgreSQL has no place for a schema version of its own: it is the one row of this table.
const char* const kVersionTable = "vmSchemaVersion";

QString Placeholders(qsizetype n) { return QStringList(n, QStringLiteral("?")).join(u','); }

class PgCells final : public StoreCells {
public:
    PgCells(PGresult* res, int row) : m_res(res), m_row(row) {}
    QString Text(int i) const override
    {
        return QString::fromUtf8(PQgetvalue(m_res, m_row, i), PQgetlength(m_res, m_row, i));
    }
    int Int(int i) const override { return int(std::strtol(PQgetvalue(m_res, m_row, i), nullptr, 10)); }
    void At(int row) { m_row = row; }

private:
    PGresult* m_res;
    int m_row;
};

class QueryCells final : public StoreCells {
public:
    explicit QueryCells(const QSqlQuery& q) : m_q(q) {}
    QString Text(int i) const override { return m_q.value(i).toString(); }
    int Int(int i) const override { return m_q.value(i).toInt(); }

private:
    const QSqlQuery& m_q;
};


// What every session of the program sets. A commit does not wait for the server's disk (as the
// file's log mode: it survives this program being killed, and a server crash loses at most the
// last fraction of a second, never consistency); notices (an index that exists already) are no
// news to anyone. A row another station holds locked is waited for 10 s at most: an edit waits
// out another's edit or its commit of a few thousand events, but a station that sits on its
// locks (a crashed program whose connection the server has not noticed yet) cannot hold every
// other one for ever, and the waiting one gets a store error to repeat. 60 s bound any single
// statement: the largest the program runs (a restore of tens of thousands of records, one
// table a statement) take a few seconds.
const char* const kSessionSettings = "SET synchronous_commit TO off; SET client_min_messages TO warning; "
                                     "SET lock_timeout TO '10s'; SET statement_timeout TO '60s'";

// The PostgreSQL connection behind a Qt SQL connection, or null while Qt still reads a result
// on it (a second command would then be refused).
PGconn* PostgresHandle(const QSqlDatabase& db)
{
    PGconn* conn = RawPgHandle(db);
    return conn && PQtransactionStatus(conn) != PQTRANS_ACTIVE ? conn : nullptr;
}

// Values as a PostgreSQL array literal: {1,2} or {"a","say \"hi\""}.
QByteArray ArrayLiteral(const QVariantList& values, bool text)
{
    QByteArray out;
    out.reserve(values.size() * (text ? 16 : 8) + 2);
    out += '{';
    for (qsizetype k = 0; k < values.size(); ++k) {
        if (k > 0)
            out += ',';
        if (!text) {
            out += QByteArray::number(values[k].toLongLong());
            continue;
        }
        out += '"';
        for (const char ch : values[k].toString().toUtf8()) {
            if (ch == '"' || ch == '\\')
                out += '\\';
            out += ch;
        }
        out += '"';
    }
    out += '}';
    return out;
}

// Runs sql, whose ? stand for values. On a server Qt prepares a statement for each query object
// and frees it again, a round trip each; here the values are written into the text by the
// driver's own quoting and the statement goes in one round trip. (The statements run most are
// kept prepared instead; this is for the others, and for when Qt still reads a result on the
// connection.)
bool Run(QSqlQuery& q, const QString& sql, const QVariantList& values)
{
    QString text;
    text.reserve(sql.size() + values.size() * 12);
    qsizetype k = 0;
    const QSqlDriver* driver = q.driver();
    for (const QChar ch : sql) {
        if (ch == u'?' && k < values.size()) {
            const QVariant& v = values[k++];
            QSqlField field(QString(), v.metaType());
            field.setValue(v);
            text += driver->formatValue(field);
        } else {
            text += ch;
        }
    }
    return q.exec(text);
}

// A server connection that breaks (the server restarted, an administrator ended the session,
// the network went away) is noticed by the statement that fails on it. Outside a transaction
// the connection is made anew and the statement runs once more, so an edit after a restart
// is stored; inside one the transaction is gone with the old session, and the statement fails
// with a text that asks to repeat the change (the caller rolls back and shows it), never a
// silent drop. libpq's reset keeps its connection object, so the Qt connection and the change
// notice keep their handle.
class ServerConnection final : public StoreConnection {
public:
    ServerConnection(QString name, CLanguageHandler* lang) : StoreConnection(std::move(name)), m_lang(lang) {}

    bool ReadAll(const TableInfo& t, StoreRowSink& sink, QString* error) override
    {
        try {
            return Lasting([&] {
                QString why;
                if (!ReadAllOnce(t, sink, &why))
                    throw CDBException(why);
                return true;
            });
        } catch (const CDBException& e) {
            if (error)
                *error = e.m_strError;
            return false;
        }
    }

    bool Probe(const TableInfo& t, QString* error) override
    {
        try {
            return Lasting([&] {
                QString why;
                if (!ProbeOnce(t, &why))
                    throw CDBException(why);
                return true;
            });
        } catch (const CDBException& e) {
            if (error)
                *error = e.m_strError;
            return false;
        }
    }

    void Seek(const TableInfo& t, int32_t id, bool lock, StoreRowSink& sink) override
    {
        Lasting([&] {
            SeekOnce(t, id, lock, sink);
            return true;
        });
    }
    int32_t Insert(const TableInfo& t, const QVariantList& values) override
    {
        return Lasting([&] { return InsertOnce(t, values); });
    }
    int Update(const TableInfo& t, const QVariantList& valuesThenId) override
    {
        return Lasting([&] { return UpdateOnce(t, valuesThenId); });
    }
    int Delete(const TableInfo& t, int32_t id) override
    {
        return Lasting([&] { return DeleteOnce(t, id); });
    }
    int UpdateMany(const TableInfo& t, const std::vector<QVariantList>& rows, const Before& before) override
    {
        return Lasting([&] { return UpdateManyOnce(t, rows, before); });
    }
    int Exec(const QString& sql, const QVariantList& values) override
    {
        return Lasting([&] { return ExecQt(sql, values); });
    }

    bool Begin() override
    {
        // Rows are locked one by one as they are read for a change (see Seek).
        try {
            return Lasting([&] {
                QSqlDatabase db = Db();
                QString why;
                if (!StoreExec(db, QStringLiteral("BEGIN"), &why))
                    throw CDBException(why);
                return true;
            });
        } catch (const CDBException&) {
            return false;
        }
    }

    void Recover() override
    {
        PGconn* conn = RawPgHandle(Db());
        if (conn && PQstatus(conn) == CONNECTION_BAD)
            Reset(conn);
    }

private:
    // Runs one statement (once more on a new connection when the old one broke outside a
    // transaction); throws CDBException.
    template <class F>
    auto Lasting(F&& once) -> decltype(once())
    {
        PGconn* conn = RawPgHandle(Db());
        // Before the statement libpq still believes in the connection, so this is the truth
        // about the transaction; afterwards it no longer knows.
        const bool outside = conn && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE;
        try {
            return once();
        } catch (const CDBException&) {
            if (!conn || PQstatus(conn) != CONNECTION_BAD)
                throw;
            if (!outside)
                throw CDBException(LostText());
            if (!Reset(conn))
                throw;
        }
        return once();
    }

    QString LostText() const
    {
        return m_lang ? m_lang->GetLangItem(390)
                      : QStringLiteral("The connection to the database server was lost and the change was not stored. "
                                       "Please repeat it.");
    }

    bool Reset(PGconn* conn)
    {
        m_prepared.clear();
        m_found.clear();
        PQreset(conn);
        if (PQstatus(conn) != CONNECTION_OK)
            return false;
        // A new session: the driver's settings and ours again.
        QSqlDatabase db = Db();
        return StoreExec(db, QStringLiteral("SET client_encoding TO 'UTF8'; SET datestyle TO 'ISO'; ") + QString::fromLatin1(kSessionSettings),
                         nullptr);
    }

    bool ReadAllOnce(const TableInfo& t, StoreRowSink& sink, QString* error)
    {
        // No ORDER BY: the server would walk the key's index for it, a quarter of the time of a
        // reload; its rows come nearly in key order anyway and the table puts them in order.
        const QString sql = QStringLiteral("SELECT %1 FROM %2").arg(t.allColumns, t.name);
        // libpq's text values straight into the records, one round trip. The statement stays
        // prepared, so a reload of a small table does not pay for parsing and planning it.
        try {
            if (PGresult* res = RunPrepared("vm_all_", t, sql, {})) {
                PgCells cells(res, 0);
                for (int i = 0, n = PQntuples(res); i < n; ++i) {
                    cells.At(i);
                    sink.Row(cells);
                }
                PQclear(res);
                return true;
            }
        } catch (const CDBException& e) {
            if (error)
                *error = e.m_strError;
            return false;
        }
        QSqlQuery q(Db());
        q.setForwardOnly(true);
        bool ok = q.exec(sql);
        if (ok) {
            const QueryCells cells(q);
            while (q.next())
                sink.Row(cells);
            ok = !q.lastError().isValid();
        }
        if (!ok && error)
            *error = q.lastError().text();
        return ok;
    }

    bool ProbeOnce(const TableInfo& t, QString* error)
    {
        // A round trip for every cursor would double the cost of a change of one record; a
        // connection that found the table once trusts it is there (a table dropped behind the
        // program's back then shows as a store error of the statement instead).
        if (m_found.count(t.name))
            return true;
        QSqlQuery q(Db());
        if (!q.exec(QStringLiteral("SELECT %1 FROM %2 LIMIT 0").arg(t.allColumns, t.name))) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
        m_found.insert(t.name);
        return true;
    }

    void SeekOnce(const TableInfo& t, int32_t id, bool lock, StoreRowSink& sink)
    {
        // Locked, another workstation cannot delete the record between this read and the update
        // (it waits, or we find it gone).
        const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE ID=?%3")
                                .arg(t.allColumns, t.name, lock ? QStringLiteral(" FOR UPDATE") : QString());
        if (PGresult* res = RunPrepared(lock ? "vm_seeklock_" : "vm_seek_", t, sql, {id})) {
            if (PQntuples(res) > 0)
                sink.Row(PgCells(res, 0));
            PQclear(res);
            return;
        }
        QSqlQuery q(Db());
        q.setForwardOnly(true);
        if (!Run(q, sql, {id}))
            throw CDBException(q.lastError().text());
        if (q.next())
            sink.Row(QueryCells(q));
    }

    int32_t InsertOnce(const TableInfo& t, const QVariantList& values)
    {
        // The new key comes back with the insert; asking for it afterwards would be a second
        // round trip.
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING ID")
                                .arg(t.name, t.columns.join(u','), Placeholders(t.columns.size()));
        if (PGresult* res = RunPrepared("vm_insert_", t, sql, values)) {
            const int32_t id = PQntuples(res) == 1 ? int32_t(std::strtol(PQgetvalue(res, 0, 0), nullptr, 10)) : 0;
            PQclear(res);
            return id;
        }
        QSqlQuery q(Db());
        if (!Run(q, sql, values))
            throw CDBException(q.lastError().text());
        return q.next() ? q.value(0).toInt() : 0;
    }

    int UpdateOnce(const TableInfo& t, const QVariantList& valuesThenId)
    {
        const QString sql = UpdateSql(t);
        if (PGresult* res = RunPrepared("vm_update_", t, sql, valuesThenId))
            return Affected(res);
        return ExecQt(sql, valuesThenId);
    }

    int DeleteOnce(const TableInfo& t, int32_t id)
    {
        const QString sql = QStringLiteral("DELETE FROM %1 WHERE ID=?").arg(t.name);
        if (PGresult* res = RunPrepared("vm_delete_", t, sql, {id}))
            return Affected(res);
        return ExecQt(sql, {id});
    }

    int UpdateManyOnce(const TableInfo& t, const std::vector<QVariantList>& rows, const Before& before);

    static QString UpdateSql(const TableInfo& t)
    {
        return QStringLiteral("UPDATE %1 SET %2=? WHERE ID=?").arg(t.name, t.columns.join(QStringLiteral("=?,")));
    }

    static int Affected(PGresult* res)
    {
        const int n = int(std::strtol(PQcmdTuples(res), nullptr, 10));
        PQclear(res);
        return n;
    }

    int ExecQt(const QString& sql, const QVariantList& values)
    {
        QSqlQuery q(Db());
        if (!Run(q, sql, values))
            throw CDBException(q.lastError().text());
        return q.numRowsAffected();
    }

    static PGresult* Checked(PGresult* res)
    {
        const ExecStatusType status = PQresultStatus(res);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return res;
        QString error = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        PQclear(res);
        throw CDBException(error.isEmpty() ? QStringLiteral("unknown error") : error);
    }

    // Runs a statement the server keeps prepared on this connection under a name of its own:
    // parsed and planned the first time, after that each run is one round trip with the values
    // sent apart from the text (so they need no quoting). sql has ? for the values. Null when
    // the connection cannot take a statement of ours now because Qt still reads a result on
    // it: the caller then goes through Qt. The result is the caller's to free.
    PGresult* RunPrepared(const char* kind, const TableInfo& t, const QString& sql, const QVariantList& values)
    {
        PGconn* conn = PostgresHandle(Db());
        if (!conn)
            return nullptr;
        const QByteArray name = kind + t.name.toLatin1();
        if (!m_prepared.count(name)) {
            QString numbered;
            int n = 0;
            for (const QChar ch : sql)
                numbered += ch == u'?' ? QStringLiteral("$%1").arg(++n) : QString(ch);
            PQclear(Checked(PQprepare(conn, name.constData(), numbered.toUtf8().constData(), 0, nullptr)));
            m_prepared.insert(name);
        }
        std::vector<QByteArray> texts;
        texts.reserve(size_t(values.size()));
        for (const QVariant& v : values)
            texts.push_back(v.metaType().id() == QMetaType::QString ? v.toString().toUtf8()
                                                                    : QByteArray::number(v.toLongLong()));
        std::vector<const char*> params;
        for (const QByteArray& text : texts)
            params.push_back(text.constData());
        return Checked(PQexecPrepared(conn, name.constData(), int(params.size()), params.data(), nullptr, nullptr, 0));
    }

    CLanguageHandler* m_lang;
    std::set<QByteArray> m_prepared;
    std::set<QString> m_found;   // tables a Probe found
};

// Stores many edited records in one statement: each column goes as one array parameter and the
// server joins the unnested arrays against the table by ID. A VALUES list of the same records
// is several times slower there, most of it spent parsing the literals. Only the records and
// columns that differ from before are sent: a server writes every changed row anew, and a column
// left out is not overwritten, so another station's change to it in the meantime stays. An
// unchanged record counts as stored.
int ServerConnection::UpdateManyOnce(const TableInfo& t, const std::vector<QVariantList>& rows, const Before& before)
{
    PGconn* conn = PostgresHandle(Db());
    if (!conn) {
        // Qt still reads on the connection: one statement per record.
        int stored = 0;
        for (const QVariantList& row : rows) {
            QVariantList values = row.mid(1);
            values.append(row.first());
            stored += ExecQt(UpdateSql(t), values);
        }
        return stored;
    }
    const qsizetype stride = t.columns.size() + 1;
    std::vector<bool> changedColumn(size_t(stride), false);
    changedColumn[0] = true;   // the ID, to find the record by
    std::vector<const QVariantList*> changedRows;
    QVariantList was;
    for (const QVariantList& now : rows) {
        was.clear();
        const bool known = before(now.first().toInt(), was);
        bool differs = false;
        for (qsizetype i = 1; i < stride; ++i)
            if (!known || was[i] != now[i]) {
                changedColumn[size_t(i)] = true;
                differs = true;
            }
        if (differs)
            changedRows.push_back(&now);
    }
    if (changedRows.empty())
        return int(rows.size());
    std::vector<QByteArray> arrays;
    QStringList sets, casts, names;
    for (qsizetype i = 0; i < stride; ++i) {
        if (!changedColumn[size_t(i)])
            continue;
        const bool text = !t.IsInteger(i == 0 ? QStringLiteral("ID") : t.columns[i - 1]);
        QVariantList column;
        column.reserve(qsizetype(changedRows.size()));
        for (const QVariantList* row : changedRows)
            column.append((*row)[i]);
        arrays.push_back(ArrayLiteral(column, text));
        const qsizetype n = qsizetype(arrays.size());
        casts << QStringLiteral("$%1::%2[]").arg(n).arg(text ? QStringLiteral("text") : QStringLiteral("integer"));
        names << QStringLiteral("k%1").arg(i);
        if (i > 0)
            sets << QStringLiteral("%1=v.k%2").arg(t.columns[i - 1]).arg(i);
    }
    const QByteArray sql = QStringLiteral("UPDATE %1 SET %2 FROM unnest(%3) AS v(%4) WHERE %1.ID=v.k0")
                               .arg(t.name, sets.join(u','), casts.join(u','), names.join(u','))
                               .toUtf8();
    std::vector<const char*> params;
    for (const QByteArray& a : arrays)
        params.push_back(a.constData());
    PGresult* res = Checked(
        PQexecParams(conn, sql.constData(), int(params.size()), nullptr, params.data(), nullptr, nullptr, 0));
    return Affected(res) + int(rows.size() - changedRows.size());
}

// Copies every row of a table, IDs included, from one connection to the other (whose table is
// empty), many rows to a statement: one round trip per row would make a server copy slow.
bool CopyTable(QSqlDatabase& from, QSqlDatabase& to, const TableInfo& t, QString* error)
{
    const QStringList names = t.allColumns.split(u',');
    std::vector<bool> integer;
    for (const QString& c : names)
        integer.push_back(t.IsInteger(c));
    const int width = int(names.size());
    const QString row = u'(' + Placeholders(width) + u')';
    constexpr int kBatch = 200;

    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY ID").arg(t.allColumns, t.name))) {
        *error = StoreReason(read.lastError().text());
        return false;
    }
    std::unique_ptr<QSqlQuery> full;
    std::vector<QVariant> pending;
    pending.reserve(size_t(kBatch * width));
    auto write = [&](int rows) {
        QSqlQuery* q = nullptr;
        std::unique_ptr<QSqlQuery> partial;
        const QString sql =
            QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(t.name, t.allColumns) + QStringList(rows, row).join(u',');
        std::unique_ptr<QSqlQuery>& slot = rows == kBatch ? full : partial;
        if (!slot) {
            slot = std::make_unique<QSqlQuery>(to);
            if (!slot->prepare(sql)) {
                *error = StoreReason(slot->lastError().text());
                return false;
            }
        }
        q = slot.get();
        for (const QVariant& v : pending)
            q->addBindValue(v);
        pending.clear();
        if (!q->exec()) {
            *error = StoreReason(q->lastError().text());
            return false;
        }
        return true;
    };
    int rows = 0;
    while (read.next()) {
        for (int c = 0; c < width; ++c) {
            const QVariant v = read.value(c);
            pending.push_back(integer[size_t(c)] ? QVariant(v.toInt()) : QVariant(v.toString()));
        }
        if (++rows == kBatch) {
            if (!write(rows))
                return false;
            rows = 0;
        }
    }
    if (read.lastError().isValid()) {
        *error = StoreReason(read.lastError().text());
        return false;
    }
    return rows == 0 || write(rows);
}

} // namespace

bool ServerBackend::German() const { return !m_lang || m_lang->GetAktivLanguage() == 0; }

std::unique_ptr<StoreConnection> ServerBackend::Connect(const QString& name, bool mayAsk, QString* error)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        if (error)
            *error = QStringLiteral("The Qt PostgreSQL driver (QPSQL, package libqt6sql6-psql) is not installed.");
        return nullptr;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    if (!m_loc.host.isEmpty())
        db.setHostName(m_loc.host);
    if (m_loc.port >= 0)
        db.setPort(m_loc.port);
    if (!m_loc.user.isEmpty())
        db.setUserName(m_loc.user);
    db.setDatabaseName(m_loc.database);
    db.setConnectOptions(m_loc.ConnectOptions());
    // Without a password of ours libpq looks in ~/.pgpass itself.
    for (int attempt = 0;; ++attempt) {
        {
            QMutexLocker lock(&m_passwordMutex);
            db.setPassword(m_password);
        }
        if (db.open())
            break;
        const QString why = db.lastError().text();
        // Whether to ask is libpq's own verdict, not its message, which may be in any language.
        QString tried;
        {
            QMutexLocker lock(&m_passwordMutex);
            tried = m_password;
        }
        if (!mayAsk || attempt == 3 || !m_loc.ServerWantsPassword(tried)) {
            if (error)
                *error = why;
            return nullptr;
        }
        const bool german = German();
        QString text = (german ? QStringLiteral("Kennwort für %1:") : QStringLiteral("Password for %1:")).arg(m_loc.DisplayName());
        if (attempt > 0)
            text = (german ? QStringLiteral("Das Kennwort wurde nicht angenommen.\n")
                           : QStringLiteral("The password was not accepted.\n")) + text;
        const QString typed = AskPassword(text);
        if (typed.isNull()) {
            if (error)
                *error = why;
            return nullptr;
        }
        QMutexLocker lock(&m_passwordMutex);
        m_password = typed;
    }
    if (!StoreExec(db, QString::fromLatin1(kSessionSettings), error))
        return nullptr;
    return std::make_unique<ServerConnection>(name, m_lang);
}

QString ServerBackend::Prepare(StoreConnection& c, bool german)
{
    // Several workstations may open an empty database at once: the schema is made and upgraded
    // in one transaction under a lock of the program's own, so only one makes it and the others
    // find it made.
    QSqlDatabase db = c.Db();
    QString error;
    if (!StoreExec(db, QStringLiteral("BEGIN"), &error))
        return StoreReason(error);
    QString why;
    QStringList missing;
    if (!StoreExec(db, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock), &error))
        why = StoreReason(error);
    else
        why = Inspect(db, false, german, &missing);
    if (why.isEmpty())
        why = MakeSchema(db, missing);
    if (why.isEmpty() && !StoreExec(db, QStringLiteral("COMMIT"), &error))
        why = StoreReason(error);
    if (!why.isEmpty())
        StoreExec(db, QStringLiteral("ROLLBACK"), nullptr);
    return why;
}

int ServerBackend::CopyTo(StoreConnection& c, const QString& path, QString* error)
{
    QString why;
    {
        QSqlDatabase source = c.Db();
        SqliteFileConnection file(path, false);
        const SqliteBackend fileKind(path);
        if (!file.IsOpen()) {
            why = file.Error();
        } else {
            // One snapshot of the server's tables, so the copy is consistent while other
            // workstations go on changing records.
            bool ok = StoreExec(source, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"), &why) &&
                      file.Db().transaction();
            for (size_t i = 0; ok && i < AllTables().size(); ++i)
                ok = StoreExec(file.Db(), fileKind.CreateSql(*AllTables()[i]), &why) &&
                     CopyTable(source, file.Db(), *AllTables()[i], &why);
            // The same schema version and indexes as a file the store made itself.
            if (ok)
                why = fileKind.Upgrade(file.Db());
            ok = ok && why.isEmpty();
            StoreExec(source, QStringLiteral("ROLLBACK"), nullptr);
            if (ok && !file.Db().commit())
                why = StoreReason(file.Db().lastError().text());
            else if (!ok)
                file.Db().rollback();
            if (why.isEmpty() && !ok)
                why = StoreReason(file.Db().lastError().text());
        }
    }
    if (!why.isEmpty() && error)
        *error = why;
    return why.isEmpty() ? 1 : 0;
}

int ServerBackend::RestoreFrom(StoreConnection& c, const QString& file, bool, QString* error)
{
    QString why;
    {
        QSqlDatabase server = c.Db();
        SqliteFileConnection backup(file, true);
        if (!backup.IsOpen()) {
            why = backup.Error();
        } else {
            const QStringList present = SqliteBackend(file).TableNames(backup.Db(), &why);
            QStringList tables;
            for (const TableInfo* t : AllTables())
                tables << t->name;
            // All or nothing, and no other workstation writes in between (they still read).
            bool ok = why.isEmpty() && StoreExec(server, QStringLiteral("BEGIN"), &why) &&
                      StoreExec(server, QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(tables.join(u',')), &why);
            for (const TableInfo* t : AllTables()) {
                ok = ok && StoreExec(server, QStringLiteral("DELETE FROM %1").arg(t->name), &why);
                if (ok && present.contains(t->name.toLower()))
                    ok = CopyTable(backup.Db(), server, *t, &why);
            }
            ok = ok && ResyncKeys(server, &why) && StoreExec(server, QStringLiteral("COMMIT"), &why);
            if (!ok) {
                StoreExec(server, QStringLiteral("ROLLBACK"), nullptr);
                why = StoreReason(why);
            }
        }
    }
    if (!why.isEmpty() && error)
        *error = why;
    return why.isEmpty() ? 1 : 0;
}

int ServerBackend::ReadVersion(QSqlDatabase& db, QString* error) const
{
    // Read only: the table is made with the first upgrade; a database without it is at version 0.
    const QStringList tables = TableNames(db, error);
    if (tables.isEmpty() && !error->isEmpty())
        return -1;
    if (!tables.contains(BookkeepingTable().toLower()))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(Version), 0) FROM %1").arg(kVersionTable)) || !q.next()) {
        *error = StoreReason(q.lastError().text());
        return -1;
    }
    return q.value(0).toInt();
}

bool ServerBackend::WriteVersion(QSqlDatabase& db, int version, QString* error) const
{
    return StoreExec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (Version INTEGER NOT NULL)").arg(kVersionTable), error) &&
           StoreExec(db, QStringLiteral("DELETE FROM %1").arg(kVersionTable), error) &&
           StoreExec(db, QStringLiteral("INSERT INTO %1 (Version) VALUES (%2)").arg(kVersionTable).arg(version), error);
}

QStringList ServerBackend::OwnUpgradeStep(int toVersion) const
{
    // Transponders are changed in bulk, often all of them at once (their reader lists, their
    // changed flags). A server writes a changed row anew; with room left in its page the new
    // row stays there and the four indexes of the table need no new entries, which makes such
    // a change several times faster. Half of each page is room for one new version of every
    // row in it; pages written from now on keep it. A file changes rows in place already.
    if (toVersion == 2)
        return {QStringLiteral("ALTER TABLE %1 SET (fillfactor=50)").arg(InfoOf<structTransponder>().name)};
    return {};
}

bool ServerBackend::ResyncKeys(QSqlDatabase& db, QString* error) const
{
    // Records stored with IDs of their own (the seeded schedule, a restore) leave the key
    // counters behind; the next record must get a new ID, never one in use.
    for (const TableInfo* t : AllTables())
        if (!StoreExec(db,
                       QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), COALESCE(MAX(ID), 0) + 1, false) "
                                      "FROM %1")
                           .arg(t->name.toLower()),
                       error))
            return false;
    return true;
}

QString ServerBackend::BookkeepingTable() const { return QString::fromLatin1(kVersionTable); }

QString ServerBackend::NoTablesText(bool german) const
{
    return german ? QStringLiteral("Die Datenbank enthält keine Tabellen dieses Programms.")
                  : QStringLiteral("The database holds no tables of this program.");
}

// The PostgreSQL connection behind a Qt SQL connection, whatever it is doing; null when there
// is none.
PGconn* RawPgHandle(const QSqlDatabase& db)
{
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant v = db.driver()->handle();
    // Qt names the type after the struct behind libpq's typedef.
    if (!v.isValid() || (qstrcmp(v.typeName(), "pg_conn*") != 0 && qstrcmp(v.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(v.constData());
}
