// The transponder table's rules, driven through the view as the grid drives it: the Readers
// list kept by ticking and unticking, the person link both ways, the schedule, the master
// transponder refused, whole reader columns, deleting with its cascades, the reader filter,
// capture without a connected reader, and a store error leaving everything as stored.
#include "base/Prompt.h"
#include "readers/ReaderTestSupport.h"
#include "support/StoreBackends.h"
#include "support/TestEnv.h"
#include "views/CTransponderDlg.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using namespace ReaderTest;

class TestTransponderDlg : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    RecordingTree m_tree;
    std::unique_ptr<CTransponderDlg> m_view;
    // Readers in table order: a Cedar, a Maple, a Birch whose master is 00DEADBEEF, an Alder.
    int32_t m_cedar = 0, m_maple = 0, m_birch = 0, m_alder = 0;
    int32_t m_early = 0;   // head window of the schedule "Fruehschicht"

    QString T(int n) const { return m_lang->GetLangItem(uint32_t(n)); }
    CtblTransponder* Transponders() const { return m_store->Get_Ptr_To_tblTransponder(); }
    CtblPerson* Persons() const { return m_store->Get_Ptr_To_tblPerson(); }
    CtblLeser* Readers() const { return m_store->Get_Ptr_To_tblLeser(); }
    int ColumnOf(int32_t readerId) const
    {
        for (int col = CTransponderDlg::ColFirstReader; col <= m_view->ColumnCount(); ++col)
            if (m_view->ReaderIdOfColumn(col) == readerId)
                return col;
        return -1;
    }
    int RowOf(int32_t transponderId) const { return m_view->RowOfTransponder(transponderId); }
    QString Cell(int32_t transponderId, int col) const { return m_view->Grid()->CellText(RowOf(transponderId), col); }
    void Edit(int32_t transponder, int col, const QString& value) { m_view->EndEdit(RowOf(transponder), col, value); }
    // Both forms of a record agree, and this is its Readers list.
    void CheckReaders(int32_t id, const QString& readers)
    {
        QCOMPARE(Transponders()->FindById(id)->Readers, readers);
        QCOMPARE(Stored(Transponders(), id).Readers, readers);
    }
    QAction* MenuAction(int row, int col, const char* name)
    {
        m_view->ShowContextMenu(row, col, QPoint());
        return m_view->LastContextMenu()->findChild<QAction*>(name);
    }
    void Show(int filter = 0)
    {
        ReloadAll(*m_store);
        m_view->Load(filter);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(OpenPrivateStore(m_lang, m_store));
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
    }
    void init()
    {
        ClearTables(*m_store);
        m_cedar = AddReader(*m_store, "Door", "Cedar", "CEDAR000000000000001");
        m_maple = AddReader(*m_store, "Gate", "Maple", "MAPLE000000000000002");
        m_birch = AddReader(*m_store, "Desk", "Birch", "---", "0;00DEADBEEF");
        m_alder = AddReader(*m_store, "Counter", "Alder");
        m_early = AddSchedule(*m_store, "Fruehschicht");
        m_tree.link.m_nInterfaceType = -1;
        m_view = std::make_unique<CTransponderDlg>(ViewContext{m_lang.get(), m_store.get(), nullptr, &m_tree});
        Show();
    }
    void cleanup() { m_view.reset(); }

    // Columns: Position, Changed, Number, person, schedule, one tick box per reader; the
    // Alder's column and the first three are read-only.
    void columnsAndCells()
    {
        const int32_t t = AddTransponder(*m_store, "00000000A1", QString::number(m_maple), m_early);
        AddPerson(*m_store, "Ann", t);
        Show();
        QCOMPARE(Cell(t, CTransponderDlg::ColPerson), QStringLiteral("Ann"));
        QCOMPARE(Cell(t, CTransponderDlg::ColSchedule), QStringLiteral("Fruehschicht"));
        QCOMPARE(Cell(t, ColumnOf(m_cedar)), QStringLiteral("0"));
        QCOMPARE(Cell(t, ColumnOf(m_maple)), QStringLiteral("1"));
        for (int col = 1; col <= m_view->ColumnCount(); ++col) {
            const bool readOnly = col <= CTransponderDlg::ColNumber || col == ColumnOf(m_alder);
            QCOMPARE(m_view->IsCellEditable(RowOf(t), col), !readOnly);
        }
    }

    // "$" stands for the ID of the reader ticked or unticked, so near misses such as 12;5
    // against 15;51 are written whatever IDs the store gave.
    void readersList_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("tick");     // the new cell value
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("changed");     // transponder and reader marked changed
        QTest::newRow("empty list") << "" << "1" << ";$" << true;
        QTest::newRow("near misses are not the reader") << "1$;$1" << "1" << "1$;$1;$" << true;
        QTest::newRow("already listed") << "7;$" << "1" << "7;$" << false;
        QTest::newRow("untick the only reader") << "$" << "0" << "" << true;
        QTest::newRow("untick leaves no trailing ;") << "7;$;" << "0" << "7" << true;
        QTest::newRow("untick a reader not listed") << "1$" << "0" << "1$" << false;
    }
    void readersList()
    {
        QFETCH(QString, before);
        QFETCH(QString, tick);
        QFETCH(QString, after);
        QFETCH(bool, changed);
        const QString id = QString::number(m_maple);
        const int32_t t = AddTransponder(*m_store, "0000000001", QString(before).replace('$', id));
        Show();
        const int col = ColumnOf(m_maple);
        Edit(t, col, tick);
        CheckReaders(t, QString(after).replace('$', id));
        QCOMPARE(Cell(t, col), after.split(';').contains("$") ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(Stored(Transponders(), t).Changed, changed ? 1 : 0);
        QCOMPARE(Stored(Readers(), m_maple).Changed, changed ? 1 : 0);
        QCOMPARE(Stored(Readers(), m_cedar).Changed, 0);
    }

    // The Birch's master transponder cannot be given to it while a Birch is connected.
    void masterTransponderIsRefused()
    {
        const int32_t master = AddTransponder(*m_store, "00DEADBEEF", "0");
        Show();
        ScriptedPrompt prompt;
        m_tree.link.m_nInterfaceType = 0;
        Edit(master, ColumnOf(m_birch), "1");
        QCOMPARE(prompt.Texts(), QStringList{T(217)});
        CheckReaders(master, "0");
        QCOMPARE(Cell(master, ColumnOf(m_birch)), QStringLiteral("0"));
        // Another reader, or no Birch at the port: assigned as any other.
        Edit(master, ColumnOf(m_cedar), "1");
        m_tree.link.m_nInterfaceType = 1;
        Edit(master, ColumnOf(m_birch), "1");
        CheckReaders(master, QStringLiteral("0;%1;%2").arg(m_cedar).arg(m_birch));
    }

    // The person column links both ways and takes the transponder from whoever carried it.
    void personLink()
    {
        const int32_t t1 = AddTransponder(*m_store, "0000000001", "0");
        const int32_t t2 = AddTransponder(*m_store, "0000000002", "0");
        const int32_t ann = AddPerson(*m_store, "Ann", t2);
        const int32_t bob = AddPerson(*m_store, "Bob", t1);
        EditRecordById(Transponders(), t1, [&](structTransponder& t) { t.PersonID = bob; });
        EditRecordById(Transponders(), t2, [&](structTransponder& t) { t.PersonID = ann; });
        Show();
        const auto check = [&](int32_t annT, int32_t bobT, int32_t t1P, int32_t t2P) {
            for (bool stored : {false, true}) {
                const auto person = [&](int32_t id) { return stored ? Stored(Persons(), id) : *Persons()->FindById(id); };
                const auto transponder = [&](int32_t id) { return stored ? Stored(Transponders(), id) : *Transponders()->FindById(id); };
                QCOMPARE(person(ann).TransponderID, annT);
                QCOMPARE(person(bob).TransponderID, bobT);
                QCOMPARE(transponder(t1).PersonID, t1P);
                QCOMPARE(transponder(t2).PersonID, t2P);
            }
        };

        // Ann takes t1: Bob loses it, and t2 (Ann's before) forgets her.
        Edit(t1, CTransponderDlg::ColPerson, "Ann");
        check(t1, 0, ann, 0);
        QCOMPARE(Stored(Transponders(), t1).Changed, 1);

        // "---" leaves the transponder to nobody.
        Edit(t1, CTransponderDlg::ColPerson, "---");
        check(0, 0, 0, 0);
    }

    // A schedule marks the transponder and its readers changed; an unknown name stores 0.
    void schedule()
    {
        const int32_t t = AddTransponder(*m_store, "0000000001", QStringLiteral("%1;%2").arg(m_cedar).arg(m_maple));
        Show();
        Edit(t, CTransponderDlg::ColSchedule, "Fruehschicht");
        QCOMPARE(Stored(Transponders(), t).ScheduleID, m_early);
        QCOMPARE(Stored(Transponders(), t).Changed, 1);
        for (int32_t r : {m_cedar, m_maple})
            QCOMPARE(Readers()->FindById(r)->Changed, 1);
        QCOMPARE(Stored(Readers(), m_birch).Changed, 0);
        // The full-access schedule answers to its English name too.
        Edit(t, CTransponderDlg::ColSchedule, "Full access");
        QCOMPARE(Stored(Transponders(), t).ScheduleID, 1);
        Edit(t, CTransponderDlg::ColSchedule, "No such plan");
        QCOMPARE(Stored(Transponders(), t).ScheduleID, 0);
    }

    // Assign all / remove all for a reader column, from its context menu with the count.
    void wholeReaderColumn()
    {
        const QString cedar = QString::number(m_cedar);
        const int32_t a = AddTransponder(*m_store, "0000000001", "0");
        const int32_t b = AddTransponder(*m_store, "0000000002", cedar);
        const int32_t c = AddTransponder(*m_store, "0000000003", "1" + cedar + ";");
        Show();
        const int col = ColumnOf(m_cedar);
        MenuAction(1, col, "actionAssignAll")->trigger();
        QTRY_COMPARE(Transponders()->FindById(a)->Readers, "0;" + cedar);
        CheckReaders(b, cedar);
        CheckReaders(c, "1" + cedar + ";;" + cedar);
        QCOMPARE(Stored(Transponders(), b).Changed, 0);   // it had the reader already
        QCOMPARE(Stored(Readers(), m_cedar).Changed, 1);

        MenuAction(2, col, "actionRemoveAllAssignments")->trigger();
        QTRY_COMPARE(Transponders()->FindById(b)->Readers, QString());
        CheckReaders(a, "0");
        CheckReaders(c, "1" + cedar);

        // Off a reader column, and on the Alder's grey one, the column commands are not offered.
        QVERIFY(!MenuAction(1, CTransponderDlg::ColNumber, "actionAssignAll")->isEnabled());
        QVERIFY(!MenuAction(1, ColumnOf(m_alder), "actionRemoveAllAssignments")->isEnabled());
    }

    // Opened from a reader's node: only its transponders; delete-all takes only those, with
    // the cascades (persons lose them, the readers that held them are marked changed).
    void filterAndDeleteAll()
    {
        const QString maple = QString::number(m_maple);
        const int32_t a = AddTransponder(*m_store, "0000000001", maple + ";" + QString::number(m_cedar));
        const int32_t b = AddTransponder(*m_store, "0000000002", "1" + maple);
        const int32_t c = AddTransponder(*m_store, "0000000003", "0;" + maple);
        const int32_t ann = AddPerson(*m_store, "Ann", c);
        const int32_t bob = AddPerson(*m_store, "Bob", b);
        Show(m_maple);
        QCOMPARE(m_view->RecordCount(), 2);

        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        MenuAction(1, 3, "actionDeleteAllEntries")->trigger();
        QTRY_COMPARE(m_view->RecordCount(), 0);
        QCOMPARE(prompt.Texts(), QStringList{T(64)});
        QCOMPARE(Transponders()->GetAnz_Transponder(), 1);
        QCOMPARE(Stored(Transponders(), a).ID, 0);
        QCOMPARE(Stored(Transponders(), b).ID, b);
        QCOMPARE(Stored(Persons(), ann).TransponderID, 0);
        QCOMPARE(Stored(Persons(), bob).TransponderID, b);
        for (int32_t r : {m_maple, m_cedar})
            QCOMPARE(Stored(Readers(), r).Changed, 1);
        QCOMPARE(Stored(Readers(), m_birch).Changed, 0);

        // Unfiltered: every transponder goes and every person loses theirs.
        Show();
        prompt.NextAnswer(true);
        MenuAction(1, 3, "actionDeleteAllEntries")->trigger();
        QTRY_COMPARE(m_view->Grid()->RowCount(), 1);
        QCOMPARE(Transponders()->GetAnz_Transponder(), 0);
        QCOMPARE(Stored(Persons(), bob).TransponderID, 0);
    }

    // The cascades are those of the filtered delete-all above.
    void deleteSelected()
    {
        const int32_t a = AddTransponder(*m_store, "0000000001", "0");
        AddTransponder(*m_store, "0000000002", "0");
        Show();
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        m_view->Grid()->SelectRow(RowOf(a));
        MenuAction(RowOf(a), 3, "actionDeleteEntry")->trigger();
        QTRY_COMPARE(m_view->RecordCount(), 1);
        QCOMPARE(prompt.Texts(), QStringList{T(69)});
        QCOMPARE(Stored(Transponders(), a).ID, 0);
    }

    // Without a connected reader nobody is identified: a captured number is added with an
    // empty list, once capture is switched on; before that, a known number is only selected.
    void captureWithoutReader()
    {
        const int32_t known = AddTransponder(*m_store, "00000000AA", "0");
        AddTransponder(*m_store, "00000000BB", "0");
        Show();
        m_view->OnTransponderSeen("00000000CC");
        m_view->OnTransponderSeen("00000000aa");
        QCOMPARE(Transponders()->GetAnz_Transponder(), 2);
        QCOMPARE(m_view->Grid()->SelectedRows(), QList<int>{RowOf(known)});

        MenuAction(1, 3, "actionCapture")->trigger();
        QTRY_COMPARE(m_view->CaptureIgnored(), 0);
        m_view->OnTransponderSeen("00000000CC");
        const int index = Transponders()->IndexOfNumber("00000000CC");
        QVERIFY(index >= 0);
        const structTransponder added = Stored(Transponders(), Transponders()->Get_Transponder(index).ID);
        QCOMPARE(added.Readers, QString());
        QCOMPARE(added.ScheduleID, 1);
        QCOMPARE(added.Changed, 1);
        // Showing the view again switches capture off.
        Show();
        QCOMPARE(m_view->CaptureIgnored(), 1);
    }

    // A store error in the middle of an edit leaves the database and the table as they were.
    void storeErrorLeavesTheTableAsStored()
    {
        const int32_t t = AddTransponder(*m_store, "0000000001", "0");
        AddPerson(*m_store, "Ann");
        Show();
        VmTest::Outside(m_store->Location(), {"CREATE TRIGGER frozen BEFORE UPDATE ON tblLeser BEGIN "
                                              "SELECT RAISE(ABORT, 'readers are frozen'); END",
                                              "CREATE TRIGGER lonely BEFORE UPDATE ON tblPerson BEGIN "
                                              "SELECT RAISE(ABORT, 'persons are frozen'); END"});
        ScriptedPrompt prompt;
        Edit(t, ColumnOf(m_cedar), "1");
        Edit(t, CTransponderDlg::ColPerson, "Ann");
        VmTest::Outside(m_store->Location(), {"DROP TRIGGER frozen", "DROP TRIGGER lonely"});
        QCOMPARE(prompt.Log().size(), size_t(2));
        QVERIFY(prompt.Texts().at(0).contains("readers are frozen"));
        CheckReaders(t, "0");
        QCOMPARE(Stored(Transponders(), t).Changed, 0);
        QCOMPARE(Stored(Transponders(), t).PersonID, 0);
        QCOMPARE(Cell(t, ColumnOf(m_cedar)), QStringLiteral("0"));
        QCOMPARE(Cell(t, CTransponderDlg::ColPerson), QString());
    }
};

QTEST_MAIN(TestTransponderDlg)
#include "tst_TransponderDlg.moc"
