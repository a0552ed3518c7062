// The record store at scale: lookups that follow every change of the cached lists, and
// transactions that make a cascade all or nothing (also when the process is killed).
#include "base/Prompt.h"
#include "base/Settings.h"
#include "readers/ReaderDeletion.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/RecordOps.h"
#include "support/StoreBackends.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <atomic>

using namespace VmTest;

namespace {

QString Num(int n) { return QStringLiteral("%1").arg(n, 10, 16, QLatin1Char('0')).toUpper(); }

} // namespace

class TstCascades : public QObject {
    Q_OBJECT
    ScriptedPrompt m_prompt;
    int m_serial = 0;

    QString UseFreshDatabase()
    {
        const QString path = IsolateHome() + QStringLiteral("/cascade%1.mdb").arg(++m_serial);
        CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
        return path;
    }

    // Reader 1 with three events, reader 2 with one; transponders listing them.
    static void Seed(CStoreDB_Handler& store)
    {
        for (const char* name : {"Tor", "Lager"})
            QCOMPARE(AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) { r.Name = name; r.Model = "Cedar"; }),
                     RecordResult::Done);
        QCOMPARE(AddRecords(store.Get_Ptr_To_tblEvents(), 4, [](int k, structEvents& e) {
            e.TransponderNo = Num(k);
            e.ReaderID = k < 3 ? 1 : 2;
        }), RecordResult::Done);
        const QStringList lists{"1", "2;1", "12;1;21", "2"};
        QCOMPARE(AddRecords(store.Get_Ptr_To_tblTransponder(), int(lists.size()), [&](int k, structTransponder& t) {
            t.Number = Num(100 + k);
            t.Readers = lists[k];
        }), RecordResult::Done);
        store.Get_Ptr_To_tblLeser()->_Requery();
        store.Get_Ptr_To_tblEvents()->_Requery();
        store.Get_Ptr_To_tblTransponder()->_Requery();
    }

private slots:
    void initTestCase() { IsolateHome(); }
    void init() { m_prompt.Clear(); }
    void cleanup() { CSettingsStore().WriteString(QString(), 1, kSettingsKey, QStringLiteral("DBPath")); }

    // The keyed lookups answer from the cached list as it is after each kind of change.
    void lookupsFollowEveryChange()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(nullptr);
        CtblTransponder* t = store.Get_Ptr_To_tblTransponder();
        CtblPerson* p = store.Get_Ptr_To_tblPerson();
        std::vector<int32_t> ids;
        QCOMPARE(AddRecords(t, 6, [](int k, structTransponder& r) { r.Number = Num(k); }, &ids), RecordResult::Done);
        QCOMPARE(AddRecords(p, 3, [&](int k, structPerson& r) { r.TransponderID = ids[size_t(k)]; }), RecordResult::Done);
        t->_Requery();
        p->_Requery();
        QCOMPARE(t->IndexOfNumber(Num(4)), 4);
        QCOMPARE(p->IndexOfTransponder(ids[2]), 2);

        // Patched in place: the old number is gone from the lookup, the new one found.
        QVERIFY(t->PatchById(ids[4], [](structTransponder& r) { r.Number = QStringLiteral("ABCDEF0123"); }));
        QCOMPARE(t->IndexOfNumber(Num(4)), -1);
        QCOMPARE(t->IndexOfNumber(QStringLiteral("ABCDEF0123")), 4);
        QVERIFY(!t->PatchById(9999, [](structTransponder&) {}));

        // Removed in one pass, with an ID that is not there: later records move up.
        QCOMPARE(t->RemoveIds({ids[0], ids[3], 9999}), 2);
        QCOMPARE(t->GetAnz_Transponder(), 4);
        QCOMPARE(t->IndexOfNumber(QStringLiteral("ABCDEF0123")), 2);
        QCOMPARE(t->IndexOf(ids[5]), 3);
        QCOMPARE(t->Get_Transponder(3).Position, 4);
        QCOMPARE(t->IndexOf(ids[0]), -1);

        // Appended after a store: found at the end; a lower ID goes to its place in ID order.
        structTransponder added{ids[5] + 10, Num(77), 0, 1, "0", 1, 0};
        t->Append(added);
        QCOMPARE(t->IndexOfNumber(Num(77)), 4);
        structTransponder back = {ids[0], Num(0), 0, 1, "", 0, 0};
        t->Append(back);
        QCOMPARE(t->IndexOf(ids[0]), 0);
        QCOMPARE(t->IndexOfNumber(Num(77)), 5);
        QCOMPARE(t->Get_Transponder(5).Position, 6);

        // Patched by index (many at once) and removed by a predicate.
        p->PatchAt(0).TransponderID = ids[2];
        QCOMPARE(p->IndicesOfTransponder(ids[2]), (std::vector<int>{0, 2}));
        QCOMPARE(p->RemoveWhere([&](const structPerson& r) { return r.TransponderID == ids[2]; }), 2);
        QCOMPARE(p->IndexOfTransponder(ids[1]), 0);
        QCOMPARE(p->IndexOfTransponder(ids[2]), -1);
    }

    // Scopes nest; a failure anywhere inside rolls back the whole, and so does a scope left
    // without commit.
    void transactionsAreAllOrNothing()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(nullptr);
        CtblPerson* p = store.Get_Ptr_To_tblPerson();
        const auto count = [&] { return VmTest::Outside(StoreLocation::Parse(store.GetAktDBPath()), {"SELECT COUNT(*) FROM tblPerson"}).toInt(); };
        {
            CStoreTransaction outer(&store);
            QVERIFY(outer.Started());
            QCOMPARE(AddRecord(p, [](structPerson& r) { r.Name = "A"; }), RecordResult::Done);
            {
                CStoreTransaction inner(&store);
                QCOMPARE(AddRecord(p, [](structPerson& r) { r.Name = "B"; }), RecordResult::Done);
                QCOMPARE(inner.Commit(), 1);   // joined: nothing stored yet
            }
            QCOMPARE(count(), 0);
            QCOMPARE(outer.Commit(), 1);
        }
        QCOMPARE(count(), 2);
        {
            CStoreTransaction outer(&store);
            QCOMPARE(AddRecord(p, [](structPerson& r) { r.Name = "C"; }), RecordResult::Done);
            QCOMPARE(DeleteRecordById(p, 9999), RecordResult::NotFound);   // not a failure
        }   // left without commit
        QCOMPARE(count(), 2);

        VmTest::Outside(StoreLocation::Parse(store.GetAktDBPath()), {"CREATE TRIGGER nomore BEFORE INSERT ON tblPerson WHEN NEW.Name = 'E' "
                                       "BEGIN SELECT RAISE(ABORT, 'no E'); END"});
        {
            CStoreTransaction outer(&store);
            QCOMPARE(AddRecord(p, [](structPerson& r) { r.Name = "D"; }), RecordResult::Done);
            QCOMPARE(AddRecord(p, [](structPerson& r) { r.Name = "E"; }), RecordResult::StoreError);
            QCOMPARE(outer.Commit(), 0);
        }
        QCOMPARE(count(), 2);
        QCOMPARE(m_prompt.Texts().size(), 1);
        QVERIFY(m_prompt.Texts()[0].contains(QStringLiteral("no E")));

        // A failed bulk change keeps none of its rows either.
        QCOMPARE(AddRecords(p, 3, [](int k, structPerson& r) { r.Name = k == 2 ? "E" : "F"; }), RecordResult::StoreError);
        QCOMPARE(count(), 2);
    }

    // On a worker the record helpers close their cursor after each record; the transaction
    // around them must still hold the worker's connection, or its rows would go with it.
    void workerTransactionKeepsItsConnection()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(nullptr);
        CtblPerson* p = store.Get_Ptr_To_tblPerson();
        std::atomic<int> committed{-1};   // QThread::wait's hand-over is not visible to the sanitizer
        std::unique_ptr<QThread> worker(QThread::create([&] {
            CStoreTransaction tx(&store);
            for (const char* name : {"A", "B", "C"})
                AddRecord(p, [&](structPerson& r) { r.Name = name; });
            committed = tx.Commit();
        }));
        worker->start();
        QVERIFY(worker->wait(20000));
        QCOMPARE(committed.load(), 1);
        QCOMPARE(VmTest::Outside(StoreLocation::Parse(store.GetAktDBPath()), {"SELECT COUNT(*) FROM tblPerson"}).toInt(), 3);
        QVERIFY(m_prompt.Log().empty());
    }

    // Deleting a reader with its events and its place in the transponders' lists, in the table
    // and in the cache; and the same with the events kept under reader 0.
    void readerCascade_data()
    {
        QTest::addColumn<bool>("deleteEvents");
        QTest::newRow("events deleted") << true;
        QTest::newRow("events kept") << false;
    }
    void readerCascade()
    {
        QFETCH(bool, deleteEvents);
        UseFreshDatabase();
        CStoreDB_Handler store(nullptr);
        Seed(store);
        m_prompt.NextAnswer(true);
        m_prompt.NextAnswer(deleteEvents);
        // One commit for the whole cascade: a kill before it leaves everything (see below),
        // a kill after it nothing of the reader.
        int commits = 0;
        CStoreTransaction::SetBeforeCommitHook([&] { ++commits; });
        QCOMPARE(ReaderDeletion::DeleteReaders(store, {0}, nullptr), 1);
        CStoreTransaction::SetBeforeCommitHook({});
        QCOMPARE(commits, 1);
        const auto check = [&](CStoreDB_Handler& s) {
            QCOMPARE(s.Get_Ptr_To_tblLeser()->GetAnz_Leser(), 1);
            CtblEvents* ev = s.Get_Ptr_To_tblEvents();
            QCOMPARE(ev->GetAnz_Events(), deleteEvents ? 1 : 4);
            QCOMPARE(ev->IndicesOfReader(1).size(), size_t(0));
            QCOMPARE(ev->IndicesOfReader(0).size(), size_t(deleteEvents ? 0 : 3));
            QStringList lists;
            for (int i = 0; i < s.Get_Ptr_To_tblTransponder()->GetAnz_Transponder(); ++i)
                lists << s.Get_Ptr_To_tblTransponder()->Get_Transponder(i).Readers;
            QCOMPARE(lists, (QStringList{"", "2", "12;21", "2"}));
        };
        check(store);
        CStoreDB_Handler reopened(nullptr);   // the file holds the same
        check(reopened);
    }

    // A process killed right before the cascade commits leaves the reader, its events and the
    // transponders' lists exactly as they were.
    void killedCascadeLeavesNoHalf()
    {
        const QString path = UseFreshDatabase();
        {
            CStoreDB_Handler store(nullptr);
            Seed(store);
        }
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/records_kill_helper"), {"cascade"});
        QVERIFY(helper.waitForStarted(10000));
        QByteArray out;
        while (!out.contains('\n') && helper.waitForReadyRead(20000))
            out += helper.readAllStandardOutput();
        QCOMPARE(out.trimmed(), QByteArray("committing"));
        helper.kill();   // SIGKILL: the transaction never ends
        QVERIFY(helper.waitForFinished(10000));

        CStoreDB_Handler store(nullptr);
        QVERIFY(store.IsDatabaseOpen());
        QCOMPARE(store.Get_Ptr_To_tblLeser()->GetAnz_Leser(), 2);
        QCOMPARE(store.Get_Ptr_To_tblEvents()->IndicesOfReader(1).size(), size_t(3));
        QCOMPARE(store.Get_Ptr_To_tblTransponder()->Get_Transponder(2).Readers, QStringLiteral("12;1;21"));
        QVERIFY(QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TstCascades)
#include "tst_cascades.moc"
