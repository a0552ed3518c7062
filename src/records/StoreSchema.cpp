// The schema of the record store, made and upgraded alike on both kinds of database.
#include "records/StoreBackend.h"

#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace {

// Schema versions: 0 the six tables only, 1 with the lookup indexes, 2 with room for changed
// transponders on a server (see ServerBackend::OwnUpgradeStep). A new column is a new version
// whose step adds it, e.g. {3, {"ALTER TABLE tblLeser ADD COLUMN Note TEXT NOT NULL DEFAULT ''"}}.
constexpr int kSchemaVersion = 2;

// The statements both kinds run to reach a version.
QStringList CommonUpgradeStep(int toVersion)
{
    QStringList sql;
    if (toVersion == 1)
        for (const TableInfo* t : AllTables())
            sql << t->indexes;
    return sql;
}

} // namespace

uint64_t StoreThreadId()
{
    static std::atomic<uint64_t> ids{0};
    thread_local const uint64_t id = ++ids;
    return id;
}

QString StoreReason(const QString& text)
{
    return text.trimmed().isEmpty() ? QStringLiteral("unknown error") : text;
}

bool StoreExec(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// One schema for both kinds of database; only the self-numbering key is spelled differently.
// Unquoted names fold to lower case in PostgreSQL, so every statement leaves them unquoted
// (except "From" and "To", which are keywords and quoted everywhere alike).
QString StoreBackend::CreateSql(const TableInfo& t) const
{
    QString sql = QStringLiteral("CREATE TABLE %1 (ID %2").arg(t.name, KeyType());
    for (qsizetype i = 0; i < t.columns.size(); ++i)
        sql += t.integer[size_t(i)] ? QStringLiteral(", %1 INTEGER NOT NULL DEFAULT 0").arg(t.columns[i])
                                    : QStringLiteral(", %1 TEXT NOT NULL DEFAULT ''").arg(t.columns[i]);
    return sql + u')';
}

QStringList StoreBackend::TableNames(QSqlDatabase& db, QString* error) const
{
    QStringList tables;
    QSqlQuery q(db);
    if (!q.exec(TableNamesSql())) {
        *error = StoreReason(q.lastError().text());
        return {};
    }
    while (q.next())
        tables << q.value(0).toString().toLower();
    return tables;
}

QString StoreBackend::Inspect(QSqlDatabase& db, bool checkPages, bool german, QStringList* missing) const
{
    QString error;
    const QStringList tables = TableNames(db, &error);
    if (!error.isEmpty())
        return StoreReason(error);
    if (checkPages) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
            return StoreReason(q.lastError().text());
        if (q.value(0).toString() != QStringLiteral("ok"))
            return StoreReason(q.value(0).toString());
    }
    missing->clear();
    for (const TableInfo* t : AllTables())
        if (!tables.contains(t->name.toLower()))
            *missing << t->name;
    const bool fresh = missing->size() == qsizetype(AllTables().size());
    const bool foreign = fresh && tables.size() > (tables.contains(BookkeepingTable().toLower()) ? 1 : 0);
    if (foreign)
        return NoTablesText(german);
    // A newer program may have changed what the columns mean: this one must not write there.
    const int version = fresh ? 0 : ReadVersion(db, &error);
    if (version < 0)
        return StoreReason(error);
    if (version > kSchemaVersion)
        return (german ? QStringLiteral("Die Datenbank hat die Schemaversion %1; dieses Programm kennt nur die "
                                        "Versionen bis %2. Sie bleibt unverändert; bitte eine neuere Programmversion "
                                        "verwenden.")
                       : QStringLiteral("The database has schema version %1; this program knows the versions up to "
                                        "%2 only. It is left unchanged; please use a newer version of the program."))
            .arg(version)
            .arg(kSchemaVersion);
    return {};
}

QString StoreBackend::MakeSchema(QSqlDatabase& db, const QStringList& missing) const
{
    const bool fresh = missing.size() == qsizetype(AllTables().size());
    QString error;
    for (const TableInfo* t : AllTables())
        if (missing.contains(t->name) && !StoreExec(db, CreateSql(*t), &error))
            return StoreReason(error);
    if (fresh) {
        // The full-access schedule: new transponders refer to its head window, ID 1.
        for (int w = 0; w < 4; ++w)
            if (!StoreExec(db,
                           QStringLiteral("INSERT INTO %1 (%2) VALUES (%3, '%4', '0000', '2359', 1, 1, 1, 1, 1, 1, 1, 0)")
                               .arg(InfoOf<structZeitschema>().name, InfoOf<structZeitschema>().allColumns)
                               .arg(w + 1)
                               .arg(kFullAccessDe),
                           &error))
                return StoreReason(error);
        if (!ResyncKeys(db, &error))
            return StoreReason(error);
    }
    return Upgrade(db);
}

// Runs inside the caller's transaction, so an upgrade that fails leaves the database as it was.
QString StoreBackend::Upgrade(QSqlDatabase& db) const
{
    QString error;
    const int version = ReadVersion(db, &error);
    if (version < 0)
        return StoreReason(error);
    if (version >= kSchemaVersion)
        return {};
    bool ok = true;
    for (int to = version + 1; ok && to <= kSchemaVersion; ++to)
        for (const QString& sql : CommonUpgradeStep(to) + OwnUpgradeStep(to))
            ok = ok && StoreExec(db, sql, &error);
    ok = ok && WriteVersion(db, kSchemaVersion, &error);
    return ok ? QString() : StoreReason(error);
}
