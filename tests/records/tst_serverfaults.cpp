// The store on a server that drops its sessions (as a restart does) or keeps a row locked: an
// edit after the drop is stored, on the window's connection and a worker's, and the change notice
// still hears the others; a transaction broken
// in the middle stores nothing and says so; a locked row is waited for only so long, and the
// message comes after the transaction ended.
#include "base/Prompt.h"
#include "records/CStoreConnectionScope.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/ChangeNotice.h"
#include "records/RecordOps.h"
#include "support/StoreBackends.h"

#include <QtTest>
#include <semaphore>
#include <thread>

using namespace VmTest;

namespace {

// What an administrator's pg_terminate_backend or a server restart looks like to the store.
void DropSessions(const StoreLocation& loc)
{
    Outside(loc, {QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                 "WHERE datname = current_database() AND pid <> pg_backend_pid()")});
}

RecordResult Add(CStoreDB_Handler& store, const QString& name)
{
    return AddRecord(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; });
}

int StoredPersons(const StoreLocation& loc) { return Outside(loc, {QStringLiteral("SELECT count(*) FROM tblPerson")}).toInt(); }

} // namespace

class TstServerFaults : public QObject {
    Q_OBJECT
    ScriptedPrompt m_prompt;
    FreshStores m_fresh;

private slots:
    void initTestCase() { IsolateHome(); }
    void init() { m_prompt.Clear(); }

    void editAfterSessionsDropped()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler store(nullptr, loc);
        QCOMPARE(Add(store, QStringLiteral("Anna")), RecordResult::Done);
        std::binary_semaphore added(0), dropped(0);
        RecordResult workerFirst = RecordResult::StoreError, workerSecond = RecordResult::StoreError;
        std::thread worker([&] {
            CStoreConnectionScope keep(&store);   // one connection across the drop, as a read run
            workerFirst = Add(store, QStringLiteral("Worker 1"));
            added.release();
            dropped.acquire();
            workerSecond = Add(store, QStringLiteral("Worker 2"));
        });
        added.acquire();
        DropSessions(loc);
        dropped.release();
        worker.join();
        QCOMPARE(workerFirst, RecordResult::Done);
        QCOMPARE(workerSecond, RecordResult::Done);
        QCOMPARE(Add(store, QStringLiteral("Bert")), RecordResult::Done);
        DropSessions(loc);
        QCOMPARE(store.Get_Ptr_To_tblPerson()->_Requery(), 1);
        QCOMPARE(store.Get_Ptr_To_tblPerson()->GetAnz_Person(), 4);
        QCOMPARE(m_prompt.Texts(), QStringList());
    }

    // The window's change notice listens again on its new session: another station's change
    // after the drop still shows.
    void noticeAfterSessionsDropped()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler office(nullptr, loc);
        CChangeNotice notice(&office);
        DropSessions(loc);
        CStoreDB_Handler door(nullptr, loc);
        QCOMPARE(Add(door, QStringLiteral("Anna")), RecordResult::Done);
        QTRY_COMPARE_WITH_TIMEOUT(office.Get_Ptr_To_tblPerson()->GetAnz_Person(), 1, 5000);
        QCOMPARE(Add(door, QStringLiteral("Bert")), RecordResult::Done);
        QTRY_COMPARE_WITH_TIMEOUT(office.Get_Ptr_To_tblPerson()->GetAnz_Person(), 2, 5000);
    }

    void transactionBrokenMidway()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler store(nullptr, loc);
        {
            CStoreTransaction tx(&store);
            QCOMPARE(Add(store, QStringLiteral("Anna")), RecordResult::Done);
            DropSessions(loc);
            QCOMPARE(Add(store, QStringLiteral("Bert")), RecordResult::StoreError);
            QCOMPARE(Add(store, QStringLiteral("Carl")), RecordResult::StoreError);
            QCOMPARE(tx.Commit(), 0);
        }
        QCOMPARE(m_prompt.Log().size(), size_t(2));
        QVERIFY2(m_prompt.Texts().at(0).contains(QLatin1String("repeat")), qPrintable(m_prompt.Texts().at(0)));
        QCOMPARE(StoredPersons(loc), 0);
        QCOMPARE(Add(store, QStringLiteral("Dora")), RecordResult::Done);
        QCOMPARE(StoredPersons(loc), 1);
    }

    // Another station sits on a record: the edit gives up after the lock time-out instead of
    // waiting for ever, and its message waits until the transaction let go of its own locks.
    void lockedRecordGivesUp()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler store(nullptr, loc);
        int32_t id = 0;
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = QStringLiteral("Anna"); }, &id),
                 RecordResult::Done);
        {
            QSqlDatabase other = OutsideConnection(loc, QStringLiteral("other"));
            QSqlQuery q(other);
            QVERIFY(q.exec(QStringLiteral("BEGIN")));
            QVERIFY(q.exec(QStringLiteral("SELECT ID FROM tblPerson WHERE ID=%1 FOR UPDATE").arg(id)));
            {
                CStoreTransaction tx(&store);
                QCOMPARE(Add(store, QStringLiteral("Bert")), RecordResult::Done);
                QCOMPARE(EditRecordById(store.Get_Ptr_To_tblPerson(), id, [](structPerson& p) { p.Name = QStringLiteral("X"); }),
                         RecordResult::StoreError);
                QCOMPARE(m_prompt.Texts(), QStringList());
            }
            QCOMPARE(m_prompt.Log().size(), size_t(1));
            QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        QCOMPARE(StoredPersons(loc), 1);
    }
};

QTEST_GUILESS_MAIN(TstServerFaults)
#include "tst_serverfaults.moc"
