#pragma once
// The record store's two backends for data-driven tests: a fresh SQLite file, or a fresh
// database on the throw-away PostgreSQL server that scripts/test.sh starts and names in
// VM_TEST_PG_URL. Without that server the PostgreSQL rows skip with a message.
//
//     void someCase_data() { VmTest::AddBackendRows(); }
//     void someCase() { QFETCH(QString, backend); const StoreLocation loc = m_fresh.Make(backend); ... }
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/StoreLocation.h"
#include "support/OutsideConnection.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtTest>

namespace VmTest {

inline QString PgTestUrl() { return qEnvironmentVariable("VM_TEST_PG_URL"); }

inline void AddBackendRows()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

// Why the PostgreSQL cases cannot run here; empty when they can.
inline QString PgUnavailable()
{
    if (PgTestUrl().isEmpty())
        return QStringLiteral("no PostgreSQL test server (VM_TEST_PG_URL unset; scripts/test.sh starts one)");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
    return {};
}

// Runs statements through such a connection; the first column of the last one's first row.
inline QVariant Outside(const StoreLocation& loc, const QStringList& sql)
{
    QVariant result;
    {
        QSqlDatabase db = OutsideConnection(loc, QStringLiteral("outside"));
        QSqlQuery q(db);
        for (const QString& s : sql)
            if (!q.exec(s))
                qWarning("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
        if (q.isSelect() && q.next())
            result = q.value(0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return result;
}

// Runs statements on a database file as another program would (a warning for each that fails).
inline QVariant Outside(const QString& file, const QStringList& sql)
{
    return Outside(StoreLocation::Parse(file), sql);
}

// The records a case starts from: the new record's ID, 0 when the store refused it. The cached
// list is not read again.
inline int32_t SeedPerson(CStoreDB_Handler& store, const QString& name)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; }, &id);
    return id;
}
inline int32_t SeedReader(CStoreDB_Handler& store, const QString& name, const QString& model = QStringLiteral("Cedar"))
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) { r.Name = name, r.Model = model; }, &id);
    return id;
}
// On the full-access schedule.
inline int32_t SeedTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers = {})
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number, t.ScheduleID = 1, t.Readers = readers;
    }, &id);
    return id;
}

// Makes a new, empty database of either kind for each case.
class FreshStores {
public:
    // Skips the calling test (QSKIP) when the backend cannot run here.
#define VM_FRESH_STORE(var, fresh, backend)                                \
    StoreLocation var;                                                    \
    do {                                                                  \
        QString skip_;                                                    \
        var = (fresh).Make(backend, &skip_);                              \
        if (!skip_.isEmpty())                                             \
            QSKIP(qPrintable(skip_));                                     \
    } while (false)

    StoreLocation Make(const QString& backend, QString* skip)
    {
        ++m_serial;
        if (backend != QLatin1String("postgresql"))
            return StoreLocation::Parse(IsolateHome() + QStringLiteral("/store%1.mdb").arg(m_serial));
        *skip = PgUnavailable();
        if (!skip->isEmpty())
            return {};
        StoreLocation loc = StoreLocation::Parse(PgTestUrl());
        const QString name = QStringLiteral("vmt_%1_%2").arg(QCoreApplication::applicationPid()).arg(m_serial);
        StoreLocation admin = loc;
        admin.database = QStringLiteral("postgres");
        {
            QSqlDatabase db = OutsideConnection(admin, QStringLiteral("admin"));
            QSqlQuery q(db);
            if (!db.isOpen() || !q.exec(QStringLiteral("CREATE DATABASE %1").arg(name)))
                *skip = QStringLiteral("the PostgreSQL test server does not answer: ") + db.lastError().text() +
                        q.lastError().text();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("admin"));
        loc.database = name;
        return loc;
    }

private:
    int m_serial = 0;
};

} // namespace VmTest
