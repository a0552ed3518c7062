// The store on a server that keeps a row locked: a locked row is waited for only so long, and
// the message comes after the transaction ended.
#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/RecordOps.h"
#include "support/StoreBackends.h"

#include <QtTest>

using namespace VmTest;

namespace {

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
