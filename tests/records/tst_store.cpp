// The database store on a file: bad files left alone (and the message of a table that cannot be
// opened), the cached lists and their lookups after each kind of change, transactions that make
// a cascade all or nothing (and a store error's message), durability against a kill, and a
// worker thread storing while the GUI thread reads.
#include "base/Prompt.h"
#include "base/Settings.h"
#include "readers/ReaderDeletion.h"
#include "records/CStoreTransaction.h"
#include "support/FoundationFixture.h"
#include "support/StoreBackends.h"
#include "texts/CLanguageHandler.h"

#include <QProcess>
#include <QThread>
#include <atomic>

using namespace VmTest;

namespace {

QString Num(int n) { return QStringLiteral("%1").arg(n, 10, 16, QLatin1Char('0')).toUpper(); }

// Starts the kill helper, kills it (SIGKILL: no destructors, no commit, no checkpoint) once it
// has printed a line, and returns that line.
QByteArray KilledAfterFirstLine(const QStringList& args)
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/records_kill_helper"), args);
    QByteArray out;
    while (helper.waitForStarted(10000) && !out.contains('\n') && helper.waitForReadyRead(20000))
        out += helper.readAllStandardOutput();
    helper.kill();
    helper.waitForFinished(10000);
    return out.trimmed();
}

} // namespace

class TstStore : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    ScriptedPrompt m_prompt;
    int m_serial = 0;

    // A fresh database file named by the "DBPath" setting.
    QString UseFreshDatabase()
    {
        const QString path = IsolateHome() + QStringLiteral("/%1.mdb").arg(++m_serial);
        CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
        return path;
    }
    QString OpenFailedText() const { return m_lang->GetLangItem(83) + u'\n' + m_lang->GetLangItem(84); }
    static int StoredPersons(CStoreDB_Handler& store)
    {
        return Outside(store.GetAktDBPath(), {"SELECT COUNT(*) FROM tblPerson"}).toInt();
    }

private slots:
    void initTestCase()
    {
        IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        QVERIFY(m_lang->IsLoaded());
        SetCaptionProvider([this] { return m_lang->GetLangItem(74); });
    }
    void init() { m_prompt.Clear(); }
    void cleanup() { CSettingsStore().WriteString(QString(), 1, kSettingsKey, QStringLiteral("DBPath")); }

    void badFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("damaged database") << "damaged";
        QTest::newRow("foreign database") << "foreign";
    }
    void badFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        const QString path = UseFreshDatabase();
        if (kind == QLatin1String("text"))
            WriteFile(path, QByteArray("Standard Jet DB, or so it claims\n").repeated(200));
        else if (kind == QLatin1String("foreign"))
            Outside(path, {"CREATE TABLE invoices (nr INTEGER)"});
        else {   // a real store file, then its pages behind the header page scribbled over
            { CStoreDB_Handler good(m_lang.get()); }
            Outside(path, {"INSERT INTO tblEvents (DetailText) WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                           "SELECT x + 1 FROM c WHERE x < 300) SELECT printf('%.200c', 'x') FROM c"});
            QByteArray bytes = ReadFile(path);
            QVERIFY(bytes.size() > 8 * 4096);
            for (int i = 4096 + 100; i < 8 * 4096; i += 7)
                bytes[i] = char(0xA5 ^ i);
            WriteFile(path, bytes);
        }
        const QByteArray before = ReadFile(path);
        {
            CStoreDB_Handler store(m_lang.get());
            QVERIFY(!store.IsDatabaseOpen());
            QVERIFY(store.DatabaseError().contains(QDir::toNativeSeparators(path)));
            QVERIFY(store.DatabaseError().contains(QStringLiteral("cannot be opened")));
            QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "x"; }), RecordResult::OpenFailed);
            QCOMPARE(m_prompt.Texts(), QStringList{OpenFailedText()});
            QCOMPARE(m_prompt.Log()[0].icon, PromptIcon::Error);
        }
        QCOMPARE(ReadFile(path), before);
        QVERIFY(!QFile::exists(path + "-wal"));
    }

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

        // Removed in one pass, with an ID that is not there: later records move up.
        QCOMPARE(t->RemoveIds({ids[0], ids[3], 9999}), 2);
        QCOMPARE(t->GetAnz_Transponder(), 4);
        QCOMPARE(t->IndexOfNumber(QStringLiteral("ABCDEF0123")), 2);
        QCOMPARE(t->IndexOf(ids[5]), 3);
        QCOMPARE(t->IndexOf(ids[0]), -1);

        // Appended after a store: found at the end; a lower ID goes to its place in ID order.
        t->Append({ids[5] + 10, Num(77), 0, 1, "0", 1, 0});
        QCOMPARE(t->IndexOfNumber(Num(77)), 4);
        t->Append({ids[0], Num(0), 0, 1, "", 0, 0});
        QCOMPARE(t->IndexOf(ids[0]), 0);
        QCOMPARE(t->IndexOfNumber(Num(77)), 5);

        // Removed by index as a multi-selection does (rows 1 and 3: indices 0, then 2 - 1).
        QCOMPARE(t->RemoveAt(0), 1);
        QCOMPARE(t->RemoveAt(2 - 1), 1);
        QCOMPARE(t->Get_Transponder(0).Number, Num(1));
        QCOMPARE(t->Get_Transponder(0).Position, 1);

        // Patched by index (many at once) and removed by a predicate.
        p->PatchAt(0).TransponderID = ids[2];
        QCOMPARE(p->IndicesOfTransponder(ids[2]), (std::vector<int>{0, 2}));
        QCOMPARE(p->RemoveWhere([&](const structPerson& r) { return r.TransponderID == ids[2]; }), 2);
        QCOMPARE(p->IndexOfTransponder(ids[1]), 0);
        QCOMPARE(p->IndexOfTransponder(ids[2]), -1);
    }

    // Scopes nest; a failure anywhere inside rolls back the whole, and so does a scope left
    // without commit, the inner or the outer one.
    void transactionsAreAllOrNothing()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        CtblPerson* p = store.Get_Ptr_To_tblPerson();
        {
            CStoreTransaction outer(&store);
            QVERIFY(SeedPerson(store, "A") > 0);
            {
                CStoreTransaction inner(&store);
                QVERIFY(SeedPerson(store, "B") > 0);
                QCOMPARE(inner.Commit(), 1);   // joined: nothing stored yet
            }
            QCOMPARE(StoredPersons(store), 0);
            QCOMPARE(outer.Commit(), 1);
        }
        QCOMPARE(StoredPersons(store), 2);
        {
            CStoreTransaction outer(&store);
            QVERIFY(SeedPerson(store, "C") > 0);
            QCOMPARE(DeleteRecordById(p, 9999), RecordResult::NotFound);   // not a failure
        }
        {
            CStoreTransaction outer(&store);
            QVERIFY(SeedPerson(store, "C") > 0);
            { CStoreTransaction inner(&store); }
            QCOMPARE(outer.Commit(), 0);
        }
        QCOMPARE(StoredPersons(store), 2);

        Outside(store.GetAktDBPath(), {"CREATE TRIGGER nomore BEFORE INSERT ON tblPerson WHEN NEW.Name = 'E' "
                                       "BEGIN SELECT RAISE(ABORT, 'no E'); END"});
        {
            CStoreTransaction outer(&store);
            QVERIFY(SeedPerson(store, "D") > 0);
            QCOMPARE(SeedPerson(store, "E"), 0);
            QCOMPARE(outer.Commit(), 0);
        }
        QCOMPARE(StoredPersons(store), 2);
        // The store's own text, with the exclamation icon; the cursor is closed.
        QCOMPARE(m_prompt.Texts().size(), 1);
        QVERIFY(m_prompt.Texts()[0].contains(QStringLiteral("no E")));
        QCOMPARE(m_prompt.Log()[0].icon, PromptIcon::Exclamation);
        QCOMPARE(m_prompt.Log()[0].caption, m_lang->GetLangItem(74));
        QVERIFY(!p->IsOpen());

        // A failed bulk change keeps none of its rows either.
        QCOMPARE(AddRecords(p, 3, [](int k, structPerson& r) { r.Name = k == 2 ? "E" : "F"; }), RecordResult::StoreError);
        QCOMPARE(StoredPersons(store), 2);
        QCOMPARE(m_prompt.Texts().size(), 2);
    }

    // On a worker the record helpers close their cursor after each record; the transaction
    // around them must still hold the worker's connection, or its rows would go with it.
    void workerTransactionKeepsItsConnection()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(nullptr);
        std::atomic<int> committed{-1};   // QThread::wait's hand-over is not visible to the sanitizer
        std::unique_ptr<QThread> worker(QThread::create([&] {
            CStoreTransaction tx(&store);
            for (const char* name : {"A", "B", "C"})
                SeedPerson(store, name);
            committed = tx.Commit();
        }));
        worker->start();
        QVERIFY(worker->wait(20000));
        QCOMPARE(committed.load(), 1);
        QCOMPARE(StoredPersons(store), 3);
        QVERIFY(m_prompt.Log().empty());
    }

    // A reader's deletion with its events and its place in the transponders' lists is one
    // commit. A process killed right before it leaves the reader, its events and the lists exactly
    // as they were; one killed right after storing an event keeps the event.
    void killedProcessLeavesNoHalf()
    {
        UseFreshDatabase();
        {   // reader 1 with three events, reader 2 with one; transponders listing them
            CStoreDB_Handler store(nullptr);
            QVERIFY(SeedReader(store, "Tor") == 1 && SeedReader(store, "Lager") == 2);
            QCOMPARE(AddRecords(store.Get_Ptr_To_tblEvents(), 4, [](int k, structEvents& e) {
                e.TransponderNo = Num(k);
                e.ReaderID = k < 3 ? 1 : 2;
            }), RecordResult::Done);
            int n = 100;
            for (const char* readers : {"1", "2;1", "12;1;21", "2"})
                QVERIFY(SeedTransponder(store, Num(++n), readers) > 0);
        }
        QCOMPARE(KilledAfterFirstLine({"cascade"}), QByteArray("committing"));
        const QByteArray stored = KilledAfterFirstLine({"event", "KILLTEST01"});
        QVERIFY2(stored.startsWith("stored "), stored.constData());

        CStoreDB_Handler store(nullptr);
        QCOMPARE(store.Get_Ptr_To_tblLeser()->GetAnz_Leser(), 2);
        QCOMPARE(store.Get_Ptr_To_tblEvents()->IndicesOfReader(1).size(), size_t(3));
        QCOMPARE(store.Get_Ptr_To_tblTransponder()->Get_Transponder(2).Readers, QStringLiteral("12;1;21"));
        const CtblEvents* e = store.Get_Ptr_To_tblEvents();
        QCOMPARE(e->GetAnz_Events(), 5);
        QCOMPARE(e->Get_Event(4).ID, stored.mid(7).toInt());

        m_prompt.NextAnswer(true);
        m_prompt.NextAnswer(true);
        int commits = 0;
        CStoreTransaction::SetBeforeCommitHook([&] { ++commits; });
        QCOMPARE(ReaderDeletion::DeleteReaders(store, {0}, nullptr), 1);
        CStoreTransaction::SetBeforeCommitHook({});
        QCOMPARE(commits, 1);
    }

    void workerAddsWhileGuiReads()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        CtblEvents* events = store.Get_Ptr_To_tblEvents();
        constexpr int kEvents = 400;
        std::atomic<bool> failed{false};
        // As the event-reading worker does: its own cursor, one record per event, a reload now
        // and then and at the end.
        std::unique_ptr<QThread> worker(QThread::create([&] {
            try {
                failed = !events->Open();
                for (int i = 0; i < kEvents && !failed; ++i) {
                    events->AddNew();
                    events->Rec().TransponderNo = Num(i);
                    events->Update();
                    failed = i % 100 == 99 && !events->_Requery();
                }
                events->Close();
                failed = failed || !events->_Requery();
            } catch (const CDBException&) {
                failed = true;
            }
        }));
        worker->start();
        // Meanwhile the GUI reads the cached list.
        while (!worker->isFinished()) {
            for (int i = 0; i < events->GetAnz_Events(); ++i)
                QCOMPARE(events->Get_Event(i).Position, i + 1);
            QCoreApplication::processEvents();
        }
        worker->wait();
        QVERIFY(!failed);
        QTRY_COMPARE(events->GetAnz_Events(), kEvents);   // the worker's last reload reaches the GUI
        QCOMPARE(events->Get_Event(kEvents - 1).TransponderNo, Num(kEvents - 1));
        QVERIFY(m_prompt.Log().empty());
    }
};

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
