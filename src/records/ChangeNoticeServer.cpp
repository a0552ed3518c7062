// The change notice of a shared database: LISTEN on the owner thread's connection, and the
// statement triggers that send the notices (made here when they are missing, so a database
// set up by an older version gets them from the first program that watches it).
#include "records/ChangeNotice.h"

#include "records/CStoreDB_Handler.h"
#include "records/server/ServerBackend.h"

#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>
#include <libpq-fe.h>
#include <utility>

namespace {

constexpr const char* kChannel = "vm_changes";

PGconn* OwnerConnection(CStoreDB_Handler* store)
{
    QString name;
    if (!store->ThreadConnection(name, nullptr))
        return nullptr;
    return RawPgHandle(QSqlDatabase::database(name, false));
}

bool Run(PGconn* conn, const char* sql)
{
    PGresult* r = PQexec(conn, sql);
    const ExecStatusType s = PQresultStatus(r);
    const bool ok = s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    if (!ok)
        qWarning("change notice: %s", PQerrorMessage(conn));
    PQclear(r);
    return ok;
}

// Every table of the program sends its name when a statement changed it. Statement triggers:
// a change of 10,000 rows sends one notice, and notices of one transaction with the same
// name are folded into one by the server.
void EnsureTriggers(PGconn* conn)
{
    const QStringList tables = CChangeNotice::AllTables();
    PGresult* r = PQexec(conn, "SELECT count(*) FROM pg_trigger WHERE tgname = 'vm_notify'");
    const bool present = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1
                         && QByteArray(PQgetvalue(r, 0, 0)).toInt() >= tables.size();
    PQclear(r);
    if (present)
        return;
    bool ok = Run(conn, "BEGIN")
              && Run(conn, "CREATE OR REPLACE FUNCTION vm_notify_change() RETURNS trigger LANGUAGE plpgsql AS "
                           "$$ BEGIN PERFORM pg_notify('vm_changes', TG_TABLE_NAME); RETURN NULL; END $$");
    for (const QString& t : tables) {
        const QByteArray drop = "DROP TRIGGER IF EXISTS vm_notify ON " + t.toLatin1();
        const QByteArray make = "CREATE TRIGGER vm_notify AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON "
                                + t.toLatin1() + " FOR EACH STATEMENT EXECUTE FUNCTION vm_notify_change()";
        ok = ok && Run(conn, drop.constData()) && Run(conn, make.constData());
    }
    Run(conn, ok ? "COMMIT" : "ROLLBACK");
}

class ServerSource : public ChangeNoticeDetail::Source {
public:
    ServerSource(CStoreDB_Handler* store, QObject* owner, std::function<void()> wake)
    {
        m_conn = OwnerConnection(store);
        if (!m_conn)
            return;
        m_store = store;
        m_owner = owner;
        m_wake = std::move(wake);
        EnsureTriggers(m_conn);
        Listen();
    }
    // The connection is the store's and may be gone already (a restore replaces the store):
    // it is not touched here.
    ~ServerSource() override { delete m_notifier; }

    QStringList Changed() override
    {
        QStringList tables;
        if (!Listening())
            return tables;
        PQconsumeInput(m_conn);
        if (!Listening())
            return tables;
        if (std::exchange(m_missed, false))
            tables = CChangeNotice::AllTables();
        while (PGnotify* n = PQnotifies(m_conn)) {
            if (n->be_pid != m_ownPid) {
                const QString name = QString::fromUtf8(n->extra);
                for (const QString& t : CChangeNotice::AllTables())
                    if (t.compare(name, Qt::CaseInsensitive) == 0 && !tables.contains(t))
                        tables << t;
            }
            PQfreemem(n);
        }
        return tables;
    }

    // Whatever was committed before this round trip has been sent ahead of its answer.
    void Sync() override
    {
        if (Listening() && PQtransactionStatus(m_conn) == PQTRANS_IDLE)
            Run(m_conn, "SELECT 1");
    }

private:
    void Listen()
    {
        delete m_notifier;
        m_notifier = nullptr;
        Run(m_conn, (QByteArray("LISTEN ") + kChannel).constData());
        m_ownPid = PQbackendPID(m_conn);
        const int socket = PQsocket(m_conn);
        if (socket >= 0) {
            m_notifier = new QSocketNotifier(socket, QSocketNotifier::Read, m_owner);
            QObject::connect(m_notifier, &QSocketNotifier::activated, m_owner, [wake = m_wake] { wake(); });
        }
    }

    // The store makes its connection anew (in the same libpq object) when the server dropped
    // it, here or at its next statement: a broken one is not watched (its socket is gone), a
    // new session listens again.
    bool Listening()
    {
        if (!m_conn)
            return false;
        if (PQstatus(m_conn) != CONNECTION_OK && !m_store->InTransaction())
            OwnerConnection(m_store);
        if (PQstatus(m_conn) != CONNECTION_OK) {
            if (m_notifier)
                m_notifier->setEnabled(false);
            return false;
        }
        if (PQbackendPID(m_conn) != m_ownPid && PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
            Listen();
            m_missed = true;   // what the others changed while nobody listened
        }
        return true;
    }

    CStoreDB_Handler* m_store = nullptr;
    bool m_missed = false;
    QObject* m_owner = nullptr;
    std::function<void()> m_wake;
    PGconn* m_conn = nullptr;
    int m_ownPid = 0;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace

namespace ChangeNoticeDetail {
std::unique_ptr<Source> MakeServerSource(CStoreDB_Handler* store, QObject* owner, std::function<void()> wake)
{
    return std::make_unique<ServerSource>(store, owner, std::move(wake));
}
} // namespace ChangeNoticeDetail
