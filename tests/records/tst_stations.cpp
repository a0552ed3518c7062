// Two stations on one database (two store handlers, each with the lists it last read), on both
// backends: a change is made to the row as the database holds it, a record the other station
// deleted is not found, the database decides whether a number is new, fetch-all deletes only
// what it read as unassigned, and an open table follows the other station's change.
// And a server that drops its sessions (as a restart does): an edit after
// the drop is stored, on the window's connection and a worker's, and the change notice still
// hears the others; a transaction broken in the middle stores nothing and says so once it
// ended.
#include "base/Prompt.h"
#include "exchange/CsvImport.h"
#include "readers/FetchAll.h"
#include "records/CStoreConnectionScope.h"
#include "records/ChangeNotice.h"
#include "records/TextOps.h"
#include "records/TransponderEdits.h"
#include "support/StoreBackends.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CTransponderDlg.h"

#include <QApplication>
#include <QSplitter>
#include <QtTest>
#include <semaphore>
#include <thread>

using namespace VmTest;
using namespace TransponderEdits;

namespace {

// What an administrator's pg_terminate_backend or a server restart looks like to the store.
void DropSessions(const StoreLocation& loc)
{
    Outside(loc, {QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                 "WHERE datname = current_database() AND pid <> pg_backend_pid()")});
}

int StoredPersons(const StoreLocation& loc) { return Outside(loc, {QStringLiteral("SELECT count(*) FROM tblPerson")}).toInt(); }

// Two stations that both read the same database after it was set up.
struct Stations {
    explicit Stations(const StoreLocation& loc) : office(nullptr, loc), door(nullptr, loc) {}
    void ReadBoth()
    {
        CChangeNotice::ReloadTables(&office, CChangeNotice::SmallTables());
        CChangeNotice::ReloadTables(&door, CChangeNotice::SmallTables());
    }
    CStoreDB_Handler office, door;
};

} // namespace

class TstStations : public QObject {
    Q_OBJECT
    ScriptedPrompt m_prompt;
    FreshStores m_fresh;

private slots:
    void initTestCase() { IsolateHome(); }
    void init() { m_prompt.Clear(); }

    // The door revokes reader 2 while the office, not refreshed, ticks reader 1 (or captures
    // with it, or changes the schedule): the revocation stays, and the office's readers marked
    // changed are those of the list as it is now. Then the door deletes what the office edits.
    void editsAreDeltas_data() { AddBackendRows(); }
    void editsAreDeltas()
    {
        QFETCH(QString, backend);
        VM_FRESH_STORE(loc, m_fresh, backend);
        Stations s(loc);
        const int32_t r1 = SeedReader(s.office, "R1"), r2 = SeedReader(s.office, "R2");
        const int32_t t = SeedTransponder(s.office, "00000000A1", QString::number(r2));
        const int32_t u = SeedTransponder(s.office, "00000000A2", QString::number(r2));
        s.ReadBoth();

        QCOMPARE(SetReaderAssigned(s.door, t, r2, false, -1), AssignResult::Done);
        QCOMPARE(SetReaderAssigned(s.door, u, r2, false, -1), AssignResult::Done);
        QCOMPARE(SetReaderAssigned(s.office, t, r1, true, -1), AssignResult::Done);
        QCOMPARE(AddCapturingReader(s.office, u, r1), AssignResult::Done);
        // The schedule marks the readers of the stored list: R1 (changed already), not R2.
        EditRecordsWhere(s.office.Get_Ptr_To_tblLeser(), {}, [](structLeser& r) { r.Changed = 0; });
        QCOMPARE(SetSchedule(s.office, t, QStringLiteral("Vollzugriff")), RecordResult::Done);
        CStoreDB_Handler check(nullptr, loc);
        for (int32_t id : {t, u}) {
            const QString now = check.Get_Ptr_To_tblTransponder()->FindById(id)->Readers;
            QVERIFY2(HasReader(now, r1) && !HasReader(now, r2), qPrintable(now));
            QCOMPARE(s.office.Get_Ptr_To_tblTransponder()->FindById(id)->Readers, now);
        }
        QCOMPARE(check.Get_Ptr_To_tblLeser()->FindById(r1)->Changed, 1);
        QCOMPARE(check.Get_Ptr_To_tblLeser()->FindById(r2)->Changed, 0);

        // Edits of transponders the door deleted find nothing: no store error, and they leave
        // the office's list.
        QCOMPARE(DeleteTransponder(s.door, t), RecordResult::Done);
        QCOMPARE(DeleteTransponder(s.door, u), RecordResult::Done);
        QCOMPARE(SetReaderAssigned(s.office, t, r2, true, -1), AssignResult::NotFound);
        QCOMPARE(SetSchedule(s.office, u, QStringLiteral("Vollzugriff")), RecordResult::NotFound);
        QCOMPARE(s.office.Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 0);
        QCOMPARE(Outside(loc, {QStringLiteral("SELECT COUNT(*) FROM tblTransponder")}).toInt(), 0);
        QVERIFY(m_prompt.Log().empty());
    }

    // Both stations add one number, neither having read the other's: one record, and the second
    // learns the first one's ID.
    void oneNumberFromTwoStations_data() { AddBackendRows(); }
    void oneNumberFromTwoStations()
    {
        QFETCH(QString, backend);
        VM_FRESH_STORE(loc, m_fresh, backend);
        Stations s(loc);
        s.ReadBoth();
        int32_t first = 0, second = 0;
        QCOMPARE(AddTransponder(s.office, "00C0FFEE00", "0", 0, &first), AddResult::Added);
        QCOMPARE(AddTransponder(s.door, "00C0FFEE00", "0", 0, &second), AddResult::Exists);
        QCOMPARE(second, first);
        // A CSV import, on a station whose lists are older than the number, refuses it too.
        SeedTransponder(s.office, "00C0FFEE01");
        const CsvImportResult r = CCsvImporter(&s.door, nullptr)
                                      .ImportLines(CsvImportKind::Transponders, {"00c0ffee01;;", "00C0FFEE02;;"});
        QCOMPARE(r.errors.size(), 1);
        CStoreDB_Handler check(nullptr, loc);
        QCOMPARE(check.Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 3);
    }

    // Fetch-all on the office while the door has just added an unassigned transponder and one
    // the reader holds: the first stays, the second is not added twice; lower-case numbers
    // come in upper case and what is no number is refused.
    void fetchAllBesideOtherStation_data() { AddBackendRows(); }
    void fetchAllBesideOtherStation()
    {
        QFETCH(QString, backend);
        VM_FRESH_STORE(loc, m_fresh, backend);
        Stations s(loc);
        const int32_t r = SeedReader(s.office, "Cedar");
        SeedTransponder(s.office, "0000000001");   // read as unassigned: deleted
        s.ReadBoth();
        const int32_t fresh = SeedTransponder(s.door, "0000000002");
        const int32_t held = SeedTransponder(s.door, "0000000003");

        FetchAll::PassCounts counts;
        QCOMPARE(FetchAll::ApplyToDatabase(s.office, r, {"0000000003", "00000000ab", "00000\x01ZZZZ"}, &counts), 1);
        QCOMPARE(counts.refused, QStringList{"00000\x01ZZZZ"});
        QCOMPARE(counts.deleted, 1);
        CStoreDB_Handler check(nullptr, loc);
        const CtblTransponder* all = check.Get_Ptr_To_tblTransponder();
        QCOMPARE(all->GetAnz_Transponder(), 3);
        QVERIFY(all->FindById(fresh));
        QCOMPARE(all->FindById(held)->Readers, QString::number(r));
        QVERIFY(all->IndexOfNumber("00000000AB") >= 0);
    }

    // The transponder table open on the office: what another program changes shows within two
    // seconds without F5, the current row stays on its record, and an open cell editor is left
    // alone until the edit is over.
    void openTableFollowsOtherConnection_data() { AddBackendRows(); }
    void openTableFollowsOtherConnection()
    {
        QFETCH(QString, backend);
        VM_FRESH_STORE(loc, m_fresh, backend);
        CLanguageHandler lang(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
        CStoreDB_Handler office(&lang, loc);
        for (int n = 5; n <= 9; ++n)
            SeedTransponder(office, QStringLiteral("000000000%1").arg(n));
        office.Get_Ptr_To_tblTransponder()->_Requery();
        CLeftTreeView::SetAskPortAtStart(false);
        QSplitter window;
        auto* tree = new CLeftTreeView(&lang, &office, nullptr);
        window.addWidget(tree);
        window.addWidget(new QWidget);
        tree->SetPaneHost(&window);
        tree->InitialUpdate();
        tree->setCurrentItem(tree->CategoryItem(CLeftTreeView::Transponders));
        window.show();
        CTransponderDlg* view = nullptr;
        QTRY_VERIFY((view = qobject_cast<CTransponderDlg*>(tree->RightPane())));
        QCOMPARE(view->RecordCount(), 5);
        view->Grid()->SelectRow(3);   // 0000000007

        // Another program deletes the first and adds one: the rows below move up by one.
        Outside(loc, {QStringLiteral("DELETE FROM tblTransponder WHERE Number = '0000000005'"),
                      QStringLiteral("INSERT INTO tblTransponder (Number, PersonID, ScheduleID, Readers, Changed) "
                                     "VALUES ('0000000001', 0, 1, '', 0)")});
        QTRY_VERIFY_WITH_TIMEOUT(view->RecordCellText(4, CTransponderDlg::ColNumber) == "0000000001"
                                     && view->RecordCellText(0, CTransponderDlg::ColNumber) == "0000000006", 2000);
        QCOMPARE(qobject_cast<CTransponderDlg*>(tree->RightPane()), view);
        const QModelIndex current = view->Grid()->currentIndex();
        QCOMPARE(view->RecordCellText(view->Grid()->OwnerRowAt(current.row() + 1) - 1, CTransponderDlg::ColNumber),
                 QStringLiteral("0000000007"));
        QCOMPARE(view->Grid()->SelectedRows(), QList<int>{2});

        // While a cell is being edited nothing moves; the change shows once the edit is over.
        QVERIFY(view->Grid()->EditCell(1, CTransponderDlg::ColPerson));
        Outside(loc, {QStringLiteral("INSERT INTO tblTransponder (Number, PersonID, ScheduleID, Readers, Changed) "
                                     "VALUES ('0000000002', 0, 1, '', 0)")});
        QTest::qWait(1500);
        QVERIFY(view->Grid()->IsEditing());
        QCOMPARE(view->RecordCount(), 5);
        view->Grid()->setCurrentIndex(QModelIndex());   // the editor closes
        QTRY_COMPARE_WITH_TIMEOUT(view->RecordCount(), 6, 2000);
    }

    // Sessions dropped (as by a server restart): the window's connection and a worker's keep
    // storing, and the window's change notice listens again on its new session.
    void sessionsDropped()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler store(nullptr, loc);
        CChangeNotice notice(&store);
        QVERIFY(SeedPerson(store, "Anna") > 0);
        std::binary_semaphore added(0), dropped(0);
        int32_t workerFirst = 0, workerSecond = 0;
        std::thread worker([&] {
            CStoreConnectionScope keep(&store);   // one connection across the drop, as a read run
            workerFirst = SeedPerson(store, "Worker 1");
            added.release();
            dropped.acquire();
            workerSecond = SeedPerson(store, "Worker 2");
        });
        added.acquire();
        DropSessions(loc);
        dropped.release();
        worker.join();
        QVERIFY(workerFirst > 0 && workerSecond > 0);
        QVERIFY(SeedPerson(store, "Bert") > 0);
        DropSessions(loc);
        CStoreDB_Handler door(nullptr, loc);
        QVERIFY(SeedPerson(door, "Carl") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(store.Get_Ptr_To_tblPerson()->GetAnz_Person(), 5, 5000);
        QVERIFY(SeedPerson(door, "Dora") > 0);
        QTRY_COMPARE_WITH_TIMEOUT(store.Get_Ptr_To_tblPerson()->GetAnz_Person(), 6, 5000);
        QCOMPARE(m_prompt.Texts(), QStringList());
    }

    void transactionBrokenMidway()
    {
        VM_FRESH_STORE(loc, m_fresh, QStringLiteral("postgresql"));
        CStoreDB_Handler store(nullptr, loc);
        {
            CStoreTransaction tx(&store);
            QVERIFY(SeedPerson(store, "Anna") > 0);
            DropSessions(loc);
            QCOMPARE(SeedPerson(store, "Bert"), 0);
            QCOMPARE(SeedPerson(store, "Carl"), 0);
            QCOMPARE(m_prompt.Texts(), QStringList());   // shown once the transaction is over
            QCOMPARE(tx.Commit(), 0);
        }
        QCOMPARE(m_prompt.Log().size(), size_t(2));
        QVERIFY2(m_prompt.Texts().at(0).contains(QLatin1String("repeat")), qPrintable(m_prompt.Texts().at(0)));
        QCOMPARE(StoredPersons(loc), 0);
        QVERIFY(SeedPerson(store, "Dora") > 0);
        QCOMPARE(StoredPersons(loc), 1);
    }
};

QTEST_MAIN(TstStations)
#include "tst_stations.moc"
