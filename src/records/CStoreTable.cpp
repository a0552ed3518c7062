#include "records/CStoreTable.h"

#include "records/CStoreDB_Handler.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

// How a record type maps onto its table's columns: ID first, then the stored fields in order.
template <class R>
struct Codec;

// Text goes in as an empty text, never as NULL, whatever the caller left unassigned.
QString T(const QString& s) { return s.isNull() ? QStringLiteral("") : s; }

template <>
struct Codec<structLeser> {
    static QStringList Columns()
    {
        return {"Name", "Info", "Identity", "Changed", "Model", "SwitchTime", "Params"};
    }
    template <class Sink>
    static void Bind(Sink& q, const structLeser& r)
    {
        q.addBindValue(T(r.Name));
        q.addBindValue(T(r.Info));
        q.addBindValue(T(r.Identity));
        q.addBindValue(r.Changed);
        q.addBindValue(T(r.Model));
        q.addBindValue(T(r.SwitchTime));
        q.addBindValue(T(r.Params));
    }
    template <class Row>
    static void Read(const Row& q, structLeser& r)
    {
        r.Name = q.Text(1);
        r.Info = q.Text(2);
        r.Identity = q.Text(3);
        r.Changed = q.Int(4);
        r.Model = q.Text(5);
        r.SwitchTime = q.Text(6);
        r.Params = q.Text(7);
    }
};

template <>
struct Codec<structTransponder> {
    static QStringList Columns() { return {"Number", "PersonID", "ScheduleID", "Readers", "Changed"}; }
    template <class Sink>
    static void Bind(Sink& q, const structTransponder& r)
    {
        q.addBindValue(T(r.Number));
        q.addBindValue(r.PersonID);
        q.addBindValue(r.ScheduleID);
        q.addBindValue(T(r.Readers));
        q.addBindValue(r.Changed);
    }
    template <class Row>
    static void Read(const Row& q, structTransponder& r)
    {
        r.Number = q.Text(1);
        r.PersonID = q.Int(2);
        r.ScheduleID = q.Int(3);
        r.Readers = q.Text(4);
        r.Changed = q.Int(5);
    }
};

template <>
struct Codec<structPerson> {
    static QStringList Columns() { return {"Name", "TransponderID"}; }
    template <class Sink>
    static void Bind(Sink& q, const structPerson& r)
    {
        q.addBindValue(T(r.Name));
        q.addBindValue(r.TransponderID);
    }
    template <class Row>
    static void Read(const Row& q, structPerson& r)
    {
        r.Name = q.Text(1);
        r.TransponderID = q.Int(2);
    }
};

template <>
struct Codec<structZeitschema> {
    static QStringList Columns()
    {
        return {"Name", "\"From\"", "\"To\"", "Day0", "Day1", "Day2", "Day3", "Day4", "Day5", "Day6", "Changed"};
    }
    template <class Sink>
    static void Bind(Sink& q, const structZeitschema& r)
    {
        q.addBindValue(T(r.Name));
        q.addBindValue(T(r.From));
        q.addBindValue(T(r.To));
        for (int d = 0; d < 7; ++d)
            q.addBindValue(r.Day[d]);
        q.addBindValue(r.Changed);
    }
    template <class Row>
    static void Read(const Row& q, structZeitschema& r)
    {
        r.Name = q.Text(1);
        r.From = q.Text(2);
        r.To = q.Text(3);
        for (int d = 0; d < 7; ++d)
            r.Day[d] = q.Int(4 + d);
        r.Changed = q.Int(11);
    }
};

template <>
struct Codec<structEvents> {
    static QStringList Columns()
    {
        return {"TransponderNo", "Date", "Time", "ClassCode", "ClassText", "DetailCode", "DetailText",
                "ReaderID", "ReaderName"};
    }
    template <class Sink>
    static void Bind(Sink& q, const structEvents& r)
    {
        q.addBindValue(T(r.TransponderNo));
        q.addBindValue(T(r.Date));
        q.addBindValue(T(r.Time));
        q.addBindValue(T(r.ClassCode));
        q.addBindValue(T(r.ClassText));
        q.addBindValue(T(r.DetailCode));
        q.addBindValue(T(r.DetailText));
        q.addBindValue(r.ReaderID);
        q.addBindValue(T(r.ReaderName));
    }
    template <class Row>
    static void Read(const Row& q, structEvents& r)
    {
        r.TransponderNo = q.Text(1);
        r.Date = q.Text(2);
        r.Time = q.Text(3);
        r.ClassCode = q.Text(4);
        r.ClassText = q.Text(5);
        r.DetailCode = q.Text(6);
        r.DetailText = q.Text(7);
        r.ReaderID = q.Int(8);
        r.ReaderName = q.Text(9);
    }
};

template <>
struct Codec<structOnline> {
    static QStringList Columns() { return {"Online"}; }
    template <class Sink>
    static void Bind(Sink& q, const structOnline& r) { q.addBindValue(r.Online); }
    template <class Row>
    static void Read(const Row& q, structOnline& r) { r.Online = q.Int(1); }
};

// Field access of one result row, the same for a Qt SQL query, a raw SQLite statement and a
// libpq result.
struct QueryRow {
    const QSqlQuery& q;
    QString Text(int i) const { return q.value(i).toString(); }
    int Int(int i) const { return q.value(i).toInt(); }
};
struct StmtRow {
    sqlite3_stmt* st;
    QString Text(int i) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return QString::fromUtf8(text, sqlite3_column_bytes(st, i));
    }
    int Int(int i) const { return sqlite3_column_int(st, i); }
};

struct PgRow {
    PGresult* res;
    int row;
    QString Text(int i) const { return QString::fromUtf8(PQgetvalue(res, row, i), PQgetlength(res, row, i)); }
    int Int(int i) const { return int(std::strtol(PQgetvalue(res, row, i), nullptr, 10)); }
};

// The PostgreSQL connection behind a Qt SQL connection, or null for any other driver or while
// Qt still reads a result on it (a second command would then be refused).
PGconn* PostgresHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    // Qt names the type after the struct behind libpq's typedef.
    if (!v.isValid() || (qstrcmp(v.typeName(), "pg_conn*") != 0 && qstrcmp(v.typeName(), "PGconn*") != 0))
        return nullptr;
    PGconn* conn = *static_cast<PGconn* const*>(v.constData());
    return conn && PQtransactionStatus(conn) != PQTRANS_ACTIVE ? conn : nullptr;
}

// The SQLite handle behind a Qt SQL connection, or null for any other driver.
sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

QString Placeholders(int n)
{
    QStringList p;
    for (int i = 0; i < n; ++i)
        p << QStringLiteral("?");
    return p.join(QLatin1Char(','));
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

// The stored values of a record in column order, ID first, as a query would take them.
struct BoundValues {
    QVariantList values;
    void addBindValue(const QVariant& v) { values.append(v); }
    template <class R>
    void Add(const R& r)
    {
        addBindValue(r.ID);
        Codec<R>::Bind(*this, r);
    }
};

// Stores many edited records on a server in one statement: each column goes as one array
// parameter and the server joins the unnested arrays against the table by ID. A VALUES list
// of the same records is several times slower there, most of it spent parsing the literals.
// Only the records and columns that differ from before (the records as last read, in key
// order) are sent: a server writes every changed row anew, and a column left out is not
// overwritten, so another station's change to it in the meantime stays. An unchanged record
// counts as stored.
template <class R>
int UpdateAllOnServer(PGconn* conn, const QString& table, const QStringList& cols, const std::vector<R>& recs,
                      const std::vector<R>& before)
{
    const qsizetype stride = cols.size() + 1;
    BoundValues now, was;
    now.values.reserve(qsizetype(recs.size()) * stride);
    std::vector<bool> changedColumn(size_t(stride), false);
    changedColumn[0] = true;   // the ID, to find the record by
    std::vector<qsizetype> changedRows;   // offsets into now.values
    for (const R& r : recs) {
        const qsizetype at = now.values.size();
        now.Add(r);
        const auto old = std::lower_bound(before.begin(), before.end(), r.ID,
                                          [](const R& b, int32_t id) { return b.ID < id; });
        was.values.clear();
        if (old != before.end() && old->ID == r.ID)
            was.Add(*old);
        bool differs = false;
        for (qsizetype i = 1; i < stride; ++i)
            if (was.values.isEmpty() || was.values[i] != now.values[at + i]) {
                changedColumn[size_t(i)] = true;
                differs = true;
            }
        if (differs)
            changedRows.push_back(at);
    }
    if (changedRows.empty())
        return int(recs.size());
    std::vector<QByteArray> arrays;
    QStringList sets, casts, names;
    for (qsizetype i = 0; i < stride; ++i) {
        if (!changedColumn[size_t(i)])
            continue;
        const bool text = now.values[i].metaType().id() == QMetaType::QString;
        QVariantList column;
        column.reserve(qsizetype(changedRows.size()));
        for (const qsizetype at : changedRows)
            column.append(now.values[at + i]);
        arrays.push_back(ArrayLiteral(column, text));
        const qsizetype n = qsizetype(arrays.size());
        casts << QStringLiteral("$%1::%2[]").arg(n).arg(text ? QStringLiteral("text") : QStringLiteral("integer"));
        names << QStringLiteral("k%1").arg(i);
        if (i > 0)
            sets << QStringLiteral("%1=v.k%2").arg(cols[i - 1]).arg(i);
    }
    const QByteArray sql = QStringLiteral("UPDATE %1 SET %2 FROM unnest(%3) AS v(%4) WHERE %1.ID=v.k0")
                               .arg(table, sets.join(QLatin1Char(',')), casts.join(QLatin1Char(',')),
                                    names.join(QLatin1Char(',')))
                               .toUtf8();
    std::vector<const char*> params;
    for (const QByteArray& a : arrays)
        params.push_back(a.constData());
    PGresult* res = PQexecParams(conn, sql.constData(), int(params.size()), nullptr, params.data(), nullptr, nullptr, 0);
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    const QString error = ok ? QString() : QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
    const int stored = ok ? int(std::strtol(PQcmdTuples(res), nullptr, 10)) : 0;
    PQclear(res);
    if (!ok)
        throw CDBException(error);
    return stored + int(recs.size() - changedRows.size());
}

// Sorts records by ID unless they are in that order already (the usual case: one pass).
template <class R>
void InKeyOrder(std::vector<R>& rows)
{
    const auto byId = [](const R& a, const R& b) { return a.ID < b.ID; };
    if (!std::is_sorted(rows.begin(), rows.end(), byId))
        std::sort(rows.begin(), rows.end(), byId);
}

// The calling thread's connection, or a database exception.
QSqlDatabase ConnectionOrThrow(CStoreDB_Handler* store)
{
    QString name, error;
    if (!store->ThreadConnection(name, &error))
        throw CDBException(error);
    return QSqlDatabase::database(name, false);
}

// A statement that a server keeps prepared on the calling thread's connection under a name of
// its own: parsed and planned the first time, after that each run is one round trip with the
// values sent apart from the text (so they need no quoting). sql has ? for the values. False
// (operator bool) on a file, and when the connection cannot take a statement of ours now
// because Qt still reads a result on it: the caller then goes through Qt.
class ServerStatement {
public:
    ServerStatement(CStoreDB_Handler* store, const char* kind, const QString& table, const QString& sql)
        : m_store(store), m_conn(store->IsShared() ? PostgresHandle(ConnectionOrThrow(store)) : nullptr),
          m_name(kind + table.toLatin1())
    {
        if (!m_conn || m_store->IsPrepared(m_name))
            return;
        QString numbered;
        int n = 0;
        for (const QChar ch : sql)
            numbered += ch == u'?' ? QStringLiteral("$%1").arg(++n) : QString(ch);
        Keep(PQprepare(m_conn, m_name.constData(), numbered.toUtf8().constData(), 0, nullptr));
        if (!m_error.isEmpty())
            throw CDBException(m_error);
        m_store->NotePrepared(m_name);
    }
    ~ServerStatement() { PQclear(m_res); }
    ServerStatement(const ServerStatement&) = delete;
    ServerStatement& operator=(const ServerStatement&) = delete;
    explicit operator bool() const { return m_conn != nullptr; }

    // Runs it with these values (none NULL). False with Error() when the server refused it.
    bool Run(const QVariantList& values = {})
    {
        std::vector<QByteArray> texts;
        texts.reserve(size_t(values.size()));
        for (const QVariant& v : values)
            texts.push_back(v.metaType().id() == QMetaType::QString ? v.toString().toUtf8()
                                                                    : QByteArray::number(v.toLongLong()));
        std::vector<const char*> params;
        for (const QByteArray& t : texts)
            params.push_back(t.constData());
        Keep(PQexecPrepared(m_conn, m_name.constData(), int(params.size()), params.data(), nullptr, nullptr, 0));
        return m_error.isEmpty();
    }
    // The same, throwing the server's reason.
    void RunOrThrow(const QVariantList& values = {})
    {
        if (!Run(values))
            throw CDBException(m_error);
    }
    const QString& Error() const { return m_error; }
    int Rows() const { return PQntuples(m_res); }
    PgRow Row(int i) const { return PgRow{m_res, i}; }
    int RowsAffected() const { return int(std::strtol(PQcmdTuples(m_res), nullptr, 10)); }

private:
    void Keep(PGresult* res)
    {
        PQclear(m_res);
        m_res = res;
        m_error.clear();
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            m_error = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
            if (m_error.isEmpty())
                m_error = QStringLiteral("unknown error");
        }
    }

    CStoreDB_Handler* m_store;
    PGconn* m_conn;
    QByteArray m_name;
    PGresult* m_res = nullptr;
    QString m_error;
};

// Runs sql, whose ? stand for the values bound to q (addBindValue, in order). A file's
// statements are prepared and run many times over. On a server Qt prepares a statement for each
// query object and frees it again, a round trip each; there the values are written into the
// text by the driver's own quoting and the statement goes in one round trip. (The statements a
// server runs most go as a ServerStatement instead; this is for the others, and for when Qt
// still reads a result on the connection.)
bool Run(QSqlQuery& q, const QString& sql, bool shared)
{
    if (!shared)
        return q.exec();
    const QVariantList values = q.boundValues();
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

} // namespace

// ---------------------------------------------------------------- base

CStoreTableBase::CStoreTableBase(CStoreDB_Handler* store, QString table)
    : m_store(store), m_table(std::move(table)), m_ownerInbox(CThreadInbox::OfThisThread())
{
}

CStoreTableBase::~CStoreTableBase()
{
    m_ownerInbox.Discard(this);
}

bool CStoreTableBase::IsOwnerThread() const { return m_store->IsOwnerThread(); }

void CStoreTableBase::PostToOwner(std::function<void()> fn)
{
    // Queued to the owner thread's inbox: runs there, in order with whatever the caller
    // reports to that thread afterwards, and not at all once the table is gone.
    m_ownerInbox.Post(this, std::move(fn));
}

namespace {
int ExecCount(CStoreDB_Handler* store, const QString& sql, const QVariantList& values)
{
    QSqlDatabase db = ConnectionOrThrow(store);
    QSqlQuery q(db);
    if (!store->IsShared() && !q.prepare(sql))
        throw CDBException(q.lastError().text());
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!Run(q, sql, store->IsShared()))
        throw CDBException(q.lastError().text());
    return q.numRowsAffected();
}
} // namespace

int CStoreTableBase::DeleteAllRows()
{
    return ExecCount(m_store, QStringLiteral("DELETE FROM %1").arg(m_table), {});
}

int CStoreTableBase::DeleteWhereColumn(const QString& column, const QVariant& value)
{
    return ExecCount(m_store, QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(m_table, column), {value});
}

int CStoreTableBase::UpdateColumnWhere(const QString& setColumn, const QVariant& setValue, const QString& whereColumn,
                                       const QVariant& whereValue)
{
    if (whereColumn.isEmpty())
        return ExecCount(m_store, QStringLiteral("UPDATE %1 SET %2=?").arg(m_table, setColumn), {setValue});
    return ExecCount(m_store, QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(m_table, setColumn, whereColumn),
                     {setValue, whereValue});
}

// ---------------------------------------------------------------- table

// A blank record per thread, handed out for a slip (index past the end, no cursor open).
template <class R>
static R& Blank()
{
    static thread_local R blank;
    blank = R{};
    return blank;
}

template <class R>
CStoreTable<R>::CStoreTable(CStoreDB_Handler* store, QString table) : CStoreTableBase(store, std::move(table))
{
}

template <class R>
CStoreTable<R>::~CStoreTable() = default;

template <class R>
bool CStoreTable<R>::ReadAll(std::vector<R>& rows, QString* error)
{
    QString name;
    if (!m_store->ThreadConnection(name, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        // A file hands its rows out in key order by itself. A server would walk the key's index
        // for ORDER BY, a quarter of the time of a reload; its rows come nearly in key order
        // anyway and are put in order here (InKeyOrder).
        const bool shared = m_store->IsShared();
        const QString sql = QStringLiteral("SELECT ID,%1 FROM %2%3")
                                .arg(Codec<R>::Columns().join(QLatin1Char(',')), m_table,
                                     shared ? QString() : QStringLiteral(" ORDER BY ID"));
        // Whole-table reads are the hot path of every reload: on SQLite the rows are taken
        // straight from the statement, without a QVariant per field.
        if (sqlite3* h = SqliteHandle(db)) {
            sqlite3_stmt* st = nullptr;
            const QByteArray utf8 = sql.toUtf8();
            int rc = sqlite3_prepare_v2(h, utf8.constData(), int(utf8.size()), &st, nullptr);
            if (rc == SQLITE_OK) {
                const StmtRow row{st};
                while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                    R r;
                    r.ID = row.Int(0);
                    Codec<R>::Read(row, r);
                    rows.push_back(std::move(r));
                }
            }
            ok = rc == SQLITE_DONE;
            if (!ok) {
                rows.clear();
                if (error)
                    *error = QString::fromUtf8(sqlite3_errmsg(h));
            }
            sqlite3_finalize(st);
            return ok;
        }
        // The same on a server: libpq's text values straight into the records, one round trip.
        // The statement stays prepared on the connection, so a reload of a small table does
        // not pay for parsing and planning it each time.
        try {
            ServerStatement st(m_store, "vm_all_", m_table, sql);
            if (st) {
                ok = st.Run();
                if (ok) {
                    rows.reserve(size_t(st.Rows()));
                    for (int i = 0; i < st.Rows(); ++i) {
                        const PgRow row = st.Row(i);
                        R r;
                        r.ID = row.Int(0);
                        Codec<R>::Read(row, r);
                        rows.push_back(std::move(r));
                    }
                    InKeyOrder(rows);
                } else if (error) {
                    *error = st.Error();
                }
                return ok;
            }
        } catch (const CDBException& e) {
            if (error)
                *error = e.m_strError;
            return false;
        }
        QSqlQuery q(db);
        q.setForwardOnly(true);
        ok = q.exec(sql);
        if (ok) {
            const QueryRow row{q};
            while (q.next()) {
                R r;
                r.ID = row.Int(0);
                Codec<R>::Read(row, r);
                rows.push_back(std::move(r));
            }
            if (q.lastError().isValid()) {
                ok = false;
                rows.clear();
            }
        }
        if (!ok && error)
            *error = q.lastError().text();
        if (shared)
            InKeyOrder(rows);
    }
    return ok;
}

template <class R>
const R& CStoreTable<R>::At(int i) const
{
    if (i < 0 || i >= GetCount())
        return Blank<R>();
    return m_list[size_t(i)];
}

template <class R>
R& CStoreTable<R>::PatchAt(int i)
{
    if (i < 0 || i >= GetCount())
        return Blank<R>();
    KeyIndexStale();
    return m_list[size_t(i)];
}

template <class R>
void CStoreTable<R>::Renumber(size_t from)
{
    for (size_t k = from; k < m_list.size(); ++k)
        m_list[k].Position = int32_t(k + 1);
}

template <class R>
int CStoreTable<R>::IndexOf(int32_t id) const
{
    // The list is in ID order: reloads read it so, appends have the highest ID, removals keep it.
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), id, [](const R& r, int32_t v) { return r.ID < v; });
    return it != m_list.end() && it->ID == id ? int(it - m_list.begin()) : -1;
}

template <class R>
const R* CStoreTable<R>::FindById(int32_t id) const
{
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &m_list[size_t(i)];
}

template <class R>
void CStoreTable<R>::BuildKeyIndex() const
{
    if (!SecondaryKey<R>::kHas || !m_keyStale)
        return;
    m_byKey.clear();
    for (const R& r : m_list)
        m_byKey[SecondaryKey<R>::Of(r)].push_back(r.ID);
    m_keyStale = false;
}

template <class R>
std::vector<int> CStoreTable<R>::IndicesOfKey(const Key& key) const
{
    std::vector<int> out;
    if (!SecondaryKey<R>::kHas)
        return out;
    BuildKeyIndex();
    const auto it = m_byKey.constFind(key);
    if (it == m_byKey.cend())
        return out;
    out.reserve(it->size());
    for (int32_t id : *it) {
        const int i = IndexOf(id);
        if (i >= 0)
            out.push_back(i);
    }
    return out;
}

template <class R>
int CStoreTable<R>::FirstIndexOfKey(const Key& key) const
{
    if (!SecondaryKey<R>::kHas)
        return -1;
    BuildKeyIndex();
    const auto it = m_byKey.constFind(key);
    if (it == m_byKey.cend())
        return -1;
    for (int32_t id : *it) {
        const int i = IndexOf(id);
        if (i >= 0)
            return i;
    }
    return -1;
}

template <class R>
bool CStoreTable<R>::PatchById(int32_t id, const std::function<void(R&)>& fn)
{
    const int i = IndexOf(id);
    if (i < 0)
        return false;
    R& r = m_list[size_t(i)];
    if (!SecondaryKey<R>::kHas || m_keyStale) {
        fn(r);
        r.ID = id;
        return true;
    }
    const Key before = SecondaryKey<R>::Of(r);
    fn(r);
    r.ID = id;
    const Key after = SecondaryKey<R>::Of(r);
    if (!(before == after)) {
        auto it = m_byKey.find(before);
        if (it != m_byKey.end()) {
            it->erase(std::remove(it->begin(), it->end(), id), it->end());
            if (it->empty())
                m_byKey.erase(it);
        }
        std::vector<int32_t>& ids = m_byKey[after];
        ids.insert(std::lower_bound(ids.begin(), ids.end(), id), id);
    }
    return true;
}

template <class R>
void CStoreTable<R>::Append(const R& rec)
{
    if (m_list.empty() || m_list.back().ID < rec.ID) {
        m_list.push_back(rec);
        m_list.back().Position = int32_t(m_list.size());
        if (SecondaryKey<R>::kHas && !m_keyStale)
            m_byKey[SecondaryKey<R>::Of(rec)].push_back(rec.ID);
        return;
    }
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), rec.ID, [](const R& r, int32_t v) { return r.ID < v; });
    if (it != m_list.end() && it->ID == rec.ID) {
        *it = rec;   // already there: the newer values win
        it->Position = int32_t(it - m_list.begin() + 1);
    } else {
        const size_t at = size_t(m_list.insert(it, rec) - m_list.begin());
        Renumber(at);
    }
    KeyIndexStale();
}

template <class R>
int CStoreTable<R>::RemoveIds(const std::vector<int32_t>& ids)
{
    if (ids.empty() || m_list.empty())
        return 0;
    std::vector<int32_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    // One merge-like pass over the list (both in ID order).
    size_t k = 0;
    return RemoveWhere([&](const R& r) {
        while (k < sorted.size() && sorted[k] < r.ID)
            ++k;
        return k < sorted.size() && sorted[k] == r.ID;
    });
}

template <class R>
int CStoreTable<R>::RemoveWhere(const std::function<bool(const R&)>& pred)
{
    const auto first = std::find_if(m_list.begin(), m_list.end(), pred);
    if (first == m_list.end())
        return 0;
    const size_t from = size_t(first - m_list.begin());
    const auto end = std::remove_if(first, m_list.end(), pred);
    const int removed = int(m_list.end() - end);
    m_list.erase(end, m_list.end());
    Renumber(from);
    KeyIndexStale();
    return removed;
}

template <class R>
void CStoreTable<R>::Apply(std::vector<R>&& rows, uint64_t generation)
{
    if (generation < m_listGeneration)
        return;   // a newer reload is already in place
    m_listGeneration = generation;
    m_list = std::move(rows);
    Renumber(0);
    KeyIndexStale();
}

template <class R>
int CStoreTable<R>::_Requery()
{
    const uint64_t generation = ++m_generations;
    std::vector<R> rows;
    const bool ok = ReadAll(rows, nullptr);
    if (IsOwnerThread()) {
        if (ok)
            Apply(std::move(rows), generation);
        return ok ? 1 : 0;
    }
    m_store->ReleaseIfIdle();
    if (!ok)
        return 0;
    PostToOwner([this, rows = std::move(rows), generation]() mutable { Apply(std::move(rows), generation); });
    return 1;
}

template <class R>
int CStoreTable<R>::RemoveAt(int i)
{
    if (i < 0 || i >= GetCount())
        return 0;
    m_list.erase(m_list.begin() + i);
    Renumber(size_t(i));
    KeyIndexStale();
    return 1;
}

template <class R>
void CStoreTable<R>::RemoveAllData()
{
    m_list.clear();
    KeyIndexStale();
}

// ---------------------------------------------------------------- cursor

template <class R>
typename CStoreTable<R>::Cursor* CStoreTable<R>::Find() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_cursors.find(CStoreDB_Handler::CurrentThreadId());
    return it == m_cursors.end() ? nullptr : const_cast<Cursor*>(&it->second);
}

template <class R>
typename CStoreTable<R>::Cursor& CStoreTable<R>::Need(const char* what)
{
    Cursor* c = Find();
    if (!c)
        throw CDBException(QStringLiteral("%1: the record set of %2 is not open.").arg(QLatin1String(what), m_table));
    return *c;
}

template <class R>
bool CStoreTable<R>::IsOpen() const
{
    return Find() != nullptr;
}

template <class R>
int CStoreTable<R>::Open()
{
    const uint64_t me = CStoreDB_Handler::CurrentThreadId();
    if (IsOpen())
        Close();
    QString name, error;
    bool ok = m_store->ThreadConnection(name, &error);
    bool probed = false;
    if (ok && m_store->IsShared()) {
        // A round trip to a server for every cursor would double the cost of a change of one
        // record; a connection that found the table once trusts it is there (a table dropped
        // behind the program's back then shows as a store error of the statement instead).
        QMutexLocker lock(&m_cursorMutex);
        probed = m_probed.count(name) > 0;
    }
    if (ok && !probed) {
        // The table must be there and readable; its rows are read when the cursor is walked.
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        ok = q.exec(QStringLiteral("SELECT ID,%1 FROM %2 LIMIT 0").arg(Codec<R>::Columns().join(QLatin1Char(',')), m_table));
        if (!ok)
            error = q.lastError().text();
    }
    QMutexLocker lock(&m_cursorMutex);
    if (!ok) {
        m_openErrors[me] = error;
        lock.unlock();
        m_store->ReleaseIfIdle();
        return 0;
    }
    m_openErrors.erase(me);
    if (m_store->IsShared())
        m_probed.insert(name);
    m_cursors[me] = Cursor{};
    lock.unlock();
    m_store->CursorOpened();
    return 1;
}

template <class R>
QString CStoreTable<R>::OpenError() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_openErrors.find(CStoreDB_Handler::CurrentThreadId());
    return it == m_openErrors.end() ? QString() : it->second;
}

template <class R>
void CStoreTable<R>::Close()
{
    {
        QMutexLocker lock(&m_cursorMutex);
        if (m_cursors.erase(CStoreDB_Handler::CurrentThreadId()) == 0)
            return;
    }
    m_store->CursorClosed();
}

template <class R>
void CStoreTable<R>::Load(Cursor& c)
{
    if (c.loaded)
        return;
    std::vector<R> rows;
    QString error;
    if (!ReadAll(rows, &error))
        throw CDBException(error);
    c.rows = std::move(rows);
    c.loaded = true;
    c.cur = 0;
    c.deletedHere = false;
    if (c.mode == Cursor::None)
        Show(c);
}

template <class R>
void CStoreTable<R>::Show(Cursor& c)
{
    c.buf = c.cur < c.rows.size() ? c.rows[c.cur] : R{};
}

template <class R>
void CStoreTable<R>::Requery()
{
    Cursor& c = Need("Requery");
    c.loaded = false;
    c.mode = Cursor::None;
    Load(c);
}

template <class R>
bool CStoreTable<R>::IsEOF()
{
    Cursor* c = Find();
    if (!c)
        return true;
    Load(*c);
    return c->cur >= c->rows.size();
}

template <class R>
bool CStoreTable<R>::IsBOF()
{
    Cursor* c = Find();
    if (!c)
        return true;
    Load(*c);
    return c->rows.empty();
}

template <class R>
void CStoreTable<R>::MoveFirst()
{
    Cursor& c = Need("MoveFirst");
    Load(c);
    c.cur = 0;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::MoveNext()
{
    Cursor& c = Need("MoveNext");
    Load(c);
    if (c.deletedHere)
        c.deletedHere = false;   // the record after the deleted one is already current
    else if (c.cur < c.rows.size())
        ++c.cur;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::MoveLast()
{
    Cursor& c = Need("MoveLast");
    Load(c);
    c.cur = c.rows.empty() ? 0 : c.rows.size() - 1;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::AddNew()
{
    Cursor& c = Need("AddNew");
    c.mode = Cursor::Adding;
    c.buf = R{};
}

template <class R>
void CStoreTable<R>::Edit()
{
    Cursor& c = Need("Edit");
    Load(c);
    if (c.cur >= c.rows.size() || c.deletedHere)
        throw CDBException(QStringLiteral("Edit: no current record in %1.").arg(m_table));
    c.mode = Cursor::Editing;
    c.buf = c.rows[c.cur];
}

template <class R>
R& CStoreTable<R>::Rec()
{
    Cursor* c = Find();
    if (!c)
        return Blank<R>();
    if (c->mode == Cursor::None && !c->loaded)
        Load(*c);
    return c->buf;
}

template <class R>
void CStoreTable<R>::CancelUpdate()
{
    Cursor* c = Find();
    if (!c || c->mode == Cursor::None)
        return;
    c->mode = Cursor::None;
    if (c->loaded)
        Show(*c);
}

template <class R>
int CStoreTable<R>::Update()
{
    Cursor& c = Need("Update");
    if (c.mode == Cursor::None)
        throw CDBException(QStringLiteral("Update: neither AddNew nor Edit was called for %1.").arg(m_table));
    const QStringList cols = Codec<R>::Columns();
    if (c.mode == Cursor::Adding) {
        // A server hands the new key back with the insert; asking for it afterwards would be a
        // second round trip. SQLite's driver knows it without asking.
        const bool shared = m_store->IsShared();
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)%4")
                                .arg(m_table, cols.join(QLatin1Char(',')), Placeholders(int(cols.size())),
                                     shared ? QStringLiteral(" RETURNING ID") : QString());
        if (ServerStatement st(m_store, "vm_insert_", m_table, sql); st) {
            BoundValues v;
            Codec<R>::Bind(v, c.buf);
            st.RunOrThrow(v.values);
            c.buf.ID = st.Rows() == 1 ? st.Row(0).Int(0) : 0;
        } else {
            QSqlQuery& q = Prepared(c.insertQ, sql);
            Codec<R>::Bind(q, c.buf);
            if (!Run(q, sql, shared))
                throw CDBException(q.lastError().text());
            c.buf.ID = shared ? (q.next() ? q.value(0).toInt() : 0) : q.lastInsertId().toInt();
        }
        if (c.buf.ID == 0)
            throw CDBException(QStringLiteral("Update: %1 gave the new record no ID.").arg(m_table));
        {
            QMutexLocker lock(&m_cursorMutex);
            m_lastAdded[CStoreDB_Handler::CurrentThreadId()] = c.buf.ID;
        }
        if (c.loaded)
            c.rows.push_back(c.buf);   // the highest ID so far: its place in table order is last
    } else {
        QStringList sets;
        for (const QString& col : cols)
            sets << col + QStringLiteral("=?");
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE ID=?").arg(m_table, sets.join(QLatin1Char(',')));
        int stored = 0;
        if (ServerStatement st(m_store, "vm_update_", m_table, sql); st) {
            BoundValues v;
            Codec<R>::Bind(v, c.buf);
            v.addBindValue(c.buf.ID);
            st.RunOrThrow(v.values);
            stored = st.RowsAffected();
        } else {
            QSqlQuery& q = Prepared(c.updateQ, sql);
            Codec<R>::Bind(q, c.buf);
            q.addBindValue(c.buf.ID);
            if (!Run(q, sql, m_store->IsShared()))
                throw CDBException(q.lastError().text());
            stored = q.numRowsAffected();
        }
        if (stored == 0)
            throw CDBException(QStringLiteral("Update: record %1 of %2 no longer exists.").arg(c.buf.ID).arg(m_table));
        if (c.cur < c.rows.size())
            c.rows[c.cur] = c.buf;
    }
    c.mode = Cursor::None;
    if (c.loaded)
        Show(c);
    return 1;
}

template <class R>
void CStoreTable<R>::Delete()
{
    Cursor& c = Need("Delete");
    Load(c);
    if (c.cur >= c.rows.size() || c.deletedHere)
        throw CDBException(QStringLiteral("Delete: no current record in %1.").arg(m_table));
    DeleteById(c.rows[c.cur].ID);
    c.rows.erase(c.rows.begin() + long(c.cur));
    c.deletedHere = true;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
int CStoreTable<R>::Seek(int32_t id)
{
    Cursor& c = Need("Seek");
    // On a server the record is locked until the transaction ends, so another workstation
    // cannot delete it between this read and the update (it waits, or we find it gone). A file
    // is locked whole by the transaction already.
    const bool shared = m_store->IsShared();
    const bool lock = shared && m_store->InTransaction();
    const QString sql = QStringLiteral("SELECT ID,%1 FROM %2 WHERE ID=?%3")
                            .arg(Codec<R>::Columns().join(QLatin1Char(',')), m_table,
                                 lock ? QStringLiteral(" FOR UPDATE") : QString());
    const auto take = [&c](const auto& row) {
        R r;
        r.ID = row.Int(0);
        Codec<R>::Read(row, r);
        c.rows.push_back(std::move(r));
    };
    c.rows.clear();
    if (ServerStatement st(m_store, lock ? "vm_seeklock_" : "vm_seek_", m_table, sql); st) {
        st.RunOrThrow({id});
        if (st.Rows() > 0)
            take(st.Row(0));
    } else {
        QSqlQuery q(ConnectionOrThrow(m_store));
        q.setForwardOnly(true);
        if (!shared)
            q.prepare(sql);
        q.addBindValue(id);
        if (!Run(q, sql, shared))
            throw CDBException(q.lastError().text());
        if (q.next())
            take(QueryRow{q});
    }
    c.loaded = true;
    c.cur = 0;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
    return c.rows.empty() ? 0 : 1;
}

template <class R>
int CStoreTable<R>::DeleteById(int32_t id)
{
    Cursor* c = Find();
    if (!c)
        return DeleteWhereColumn(QStringLiteral("ID"), id) > 0 ? 1 : 0;
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE ID=?").arg(m_table);
    if (ServerStatement st(m_store, "vm_delete_", m_table, sql); st) {
        st.RunOrThrow({id});
        return st.RowsAffected() > 0 ? 1 : 0;
    }
    QSqlQuery& q = Prepared(c->deleteQ, sql);
    q.addBindValue(id);
    if (!Run(q, sql, m_store->IsShared()))
        throw CDBException(q.lastError().text());
    return q.numRowsAffected() > 0 ? 1 : 0;
}

template <class R>
int CStoreTable<R>::UpdateRecords(const std::vector<R>& recs)
{
    Cursor& c = Need("UpdateRecords");
    if (recs.empty())
        return 0;
    const QStringList cols = Codec<R>::Columns();
    const bool shared = m_store->IsShared();
    if (shared) {
        if (PGconn* conn = PostgresHandle(ConnectionOrThrow(m_store)))
            return UpdateAllOnServer(conn, m_table, cols, recs, c.rows);
    }
    // A file, or a server connection Qt still reads on: one statement per record.
    QStringList sets;
    for (const QString& col : cols)
        sets << col + QStringLiteral("=?");
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE ID=?").arg(m_table, sets.join(QLatin1Char(',')));
    QSqlQuery& q = Prepared(c.updateQ, sql);
    int stored = 0;
    for (const R& r : recs) {
        Codec<R>::Bind(q, r);
        q.addBindValue(r.ID);
        if (!Run(q, sql, shared))
            throw CDBException(q.lastError().text());
        stored += q.numRowsAffected();
    }
    return stored;
}

template <class R>
QSqlQuery& CStoreTable<R>::Prepared(std::unique_ptr<QSqlQuery>& slot, const QString& sql)
{
    if (m_store->IsShared()) {
        // Not prepared on a server (see Run): a new query for each statement.
        slot = std::make_unique<QSqlQuery>(ConnectionOrThrow(m_store));
        return *slot;
    }
    if (!slot) {
        auto q = std::make_unique<QSqlQuery>(ConnectionOrThrow(m_store));
        if (!q->prepare(sql))
            throw CDBException(q->lastError().text());
        slot = std::move(q);
    }
    return *slot;
}

template <class R>
int32_t CStoreTable<R>::GetLastAddedID() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_lastAdded.find(CStoreDB_Handler::CurrentThreadId());
    return it == m_lastAdded.end() ? 0 : it->second;
}

template class CStoreTable<structLeser>;
template class CStoreTable<structTransponder>;
template class CStoreTable<structPerson>;
template class CStoreTable<structZeitschema>;
template class CStoreTable<structEvents>;
template class CStoreTable<structOnline>;
