// The person table and the time schedule table in the main window: what a schedule change
// marks (schedule, its transponders, their readers), the protection of the full-access
// schedule, renaming with the tree following, delete with the fall-back to schedule 1, the
// person-transponder links, duplicate names and a store error refilling from the database.
// After every change the cached lists must equal the database.
#include "base/Prompt.h"
#include "persons/ShowView.h"
#include "records/PersonOps.h"
#include "records/RecordOps.h"
#include "records/ScheduleOps.h"
#include "records/TableDescriptions.h"
#include "support/StoreBackends.h"
#include "support/WindowFixture.h"
#include "views/CNameDlg.h"
#include "views/CZeitschemaDlg.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

namespace {

QStringList ChildTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

} // namespace

class TestPersonsSchedules : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    std::unique_ptr<ScriptedPrompt> m_prompt;

    // The records every test starts from: readers R1..R3; schedule "Office" (head ID m_office)
    // and "Night"; transponders T1 (Office, R1), T2 (Night, R2), T3 (Office, no reader),
    // T4 (Night, R3, already changed); persons Anna (T1), Ben (T2), Cleo (none).
    int32_t m_r1 = 0, m_r2 = 0, m_r3 = 0, m_office = 0, m_night = 0;
    int32_t m_t1 = 0, m_t2 = 0, m_t3 = 0, m_t4 = 0, m_anna = 0, m_ben = 0, m_cleo = 0;

    QString T(int n) const { return m_w.T(n); }
    CtblLeser* Readers() const { return m_store->Get_Ptr_To_tblLeser(); }
    CtblTransponder* Transponders() const { return m_store->Get_Ptr_To_tblTransponder(); }
    CtblPerson* Persons() const { return m_store->Get_Ptr_To_tblPerson(); }
    CtblZeitschema* Windows() const { return m_store->Get_Ptr_To_tblZeitschema(); }
    CLeftTreeView* Tree() const { return m_w.frame->Tree(); }
    QTreeWidgetItem* ScheduleGroup() const { return Tree()->CategoryItem(CLeftTreeView::Schedules); }

    int32_t AddTransponder(const QString& number, int32_t schedule, const QString& readers, int32_t changed = 0)
    {
        int32_t id = 0;
        AddRecord(Transponders(), [&](structTransponder& t) {
            t.Number = number; t.ScheduleID = schedule; t.Readers = readers; t.Changed = changed;
        }, &id);
        return id;
    }
    int32_t AddSchedule(const QString& name)
    {
        std::vector<int32_t> ids;
        ScheduleOps::AddSchedule(m_store, name, ScheduleOps::DefaultWindows(), &ids);
        return ids.empty() ? 0 : ids.front();
    }

    void Seed()
    {
        QCOMPARE(DeleteRecordsWhere(Readers(), {}), RecordResult::Done);
        QCOMPARE(DeleteRecordsWhere(Transponders(), {}), RecordResult::Done);
        QCOMPARE(DeleteRecordsWhere(Persons(), {}), RecordResult::Done);
        QCOMPARE(DeleteRecordsWhere(Windows(), [](const structZeitschema& w) { return !IsFullAccessName(w.Name); }),
                 RecordResult::Done);
        QVERIFY(Windows()->_Requery());
        std::vector<int32_t> r;
        AddRecords(Readers(), 3, [](int k, structLeser& l) {
            l.Name = QString("R%1").arg(k + 1), l.Model = "Cedar";
        }, &r);
        m_r1 = r[0], m_r2 = r[1], m_r3 = r[2];
        m_office = AddSchedule("Office");
        m_night = AddSchedule("Night");
        m_t1 = AddTransponder("00000000A1", m_office, QString::number(m_r1));
        m_t2 = AddTransponder("00000000A2", m_night, QString::number(m_r2));
        m_t3 = AddTransponder("00000000A3", m_office, "0");
        m_t4 = AddTransponder("00000000A4", m_night, ";" + QString::number(m_r3) + ";", 1);
        const auto person = [&](const QString& name, int32_t t) {
            int32_t id = 0;
            AddRecord(Persons(), [&](structPerson& p) { p.Name = name; p.TransponderID = t; }, &id);
            return id;
        };
        m_anna = person("Anna", m_t1), m_ben = person("Ben", m_t2), m_cleo = person("Cleo", 0);
        QVERIFY(Readers()->_Requery() && Transponders()->_Requery() && Persons()->_Requery() && Windows()->_Requery());
        Tree()->RebuildTreeChildren();
    }

    template <class View>
    View* Open(CLeftTreeView::Category category, const QString& child = QString())
    {
        return VmTest::ShowView<View>(*m_w.frame, category, child);
    }

    // The cached lists equal the database: every stored column of every row, and its place,
    // the same after a reload.
    void CheckCacheIsDatabase()
    {
        const auto snapshot = [](auto* table) {
            QStringList rows;
            for (int i = 0; i < table->GetCount(); ++i) {
                auto r = table->At(i);
                QStringList cells{QString::number(r.ID), QString::number(r.Position)};
                for (const auto& c : TableOf<decltype(r)>::Columns())
                    cells << (c.text ? c.text(r) : QString::number(c.number(r)));
                rows << cells.join(u'|');
            }
            return rows;
        };
        const auto check = [&](auto* table) {
            const QStringList cached = snapshot(table);
            QVERIFY(table->_Requery());
            QCOMPARE(snapshot(table), cached);
        };
        check(Readers());
        check(Transponders());
        check(Persons());
        check(Windows());
    }

    const structTransponder& Transponder(int32_t id) const { return *Transponders()->FindById(id); }
    const structPerson& Person(int32_t id) const { return *Persons()->FindById(id); }

    // The Changed marks of Office and Night, T1 to T4 and R1 to R3 ("-": gone).
    QString Marks() const
    {
        QString m;
        for (int32_t id : {m_office, m_night})
            m += Windows()->FindById(id) ? QString::number(Windows()->FindById(id)->Changed) : QStringLiteral("-");
        m += u'|';
        for (int32_t id : {m_t1, m_t2, m_t3, m_t4})
            m += QString::number(Transponder(id).Changed);
        m += u'|';
        for (int32_t id : {m_r1, m_r2, m_r3})
            m += QString::number(Readers()->FindById(id)->Changed);
        return m;
    }

    QAction* MenuAction(CGridBaseDlg* view, const char* name)
    {
        view->ShowContextMenu(1, 1, QPoint());
        return view->LastContextMenu()->findChild<QAction*>(name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
        m_w.ShowFrame();
    }
    void init()
    {
        m_prompt = std::make_unique<ScriptedPrompt>();
        Seed();
    }
    // Every test ends with the cached lists equal to the database.
    void cleanup()
    {
        CheckCacheIsDatabase();
        QCOMPARE(m_prompt->Unanswered(), 0);
        m_prompt.reset();
    }

    // Any edit of a window marks the head window, every transponder on the schedule and every
    // reader listing a changed transponder; other schedules' transponders stay as they were.
    void windowEditMarksScheduleTransponderAndReaders_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("window");   // from|to|Monday as stored
        QTest::newRow("to minutes") << 3 << int(CZeitschemaDlg::ColToMinutes) << "30" << "0000|2330|1";
        QTest::newRow("monday off") << 4 << int(CZeitschemaDlg::ColMonday) << "0" << "0000|2359|0";
    }
    void windowEditMarksScheduleTransponderAndReaders()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(QString, value);
        auto* view = Open<CZeitschemaDlg>(CLeftTreeView::Schedules, "Office");
        view->EndEdit(row, col, value);

        const structZeitschema& w = Windows()->Get_Zeitschema(view->WindowIndex(row));
        QTEST(w.From + u'|' + w.To + u'|' + QString::number(w.Day[1]), "window");
        // R1 lists T1; R3 lists T4, changed before; R2 lists only T2, unchanged.
        QCOMPARE(Marks(), QStringLiteral("10|1011|101"));
    }

    // Renaming changes all four windows and the tree node; transponders keep their ScheduleID.
    // A name that another schedule (or the built-in one) has is refused, as is one with a ";".
    void renameFollowsTreeAndKeepsIds()
    {
        auto* view = Open<CZeitschemaDlg>(CLeftTreeView::Schedules);
        view->EndEdit(2, CZeitschemaDlg::ColName, "Night");
        view->EndEdit(2, CZeitschemaDlg::ColName, "Full access");
        view->EndEdit(2, CZeitschemaDlg::ColName, "Nacht;Schicht");
        QCOMPARE(m_prompt->Texts().size(), 3);
        QCOMPARE(m_prompt->Texts().last(), T(380));
        QCOMPARE(ChildTexts(ScheduleGroup()), (QStringList{T(81), "Office", "Night"}));

        view->EndEdit(2, CZeitschemaDlg::ColName, "Day shift");
        QCOMPARE(ChildTexts(ScheduleGroup()), (QStringList{T(81), "Day shift", "Night"}));
        for (int i = 4; i < 8; ++i)
            QCOMPARE(Windows()->Get_Zeitschema(i).Name, QString("Day shift"));
        QCOMPARE(Transponder(m_t1).ScheduleID, m_office);
        QCOMPARE(Marks(), QStringLiteral("10|1011|101"));
        // The person table shows the new name for Anna's transponder.
        auto* persons = Open<CNameDlg>(CLeftTreeView::Persons);
        QCOMPARE(persons->CellText(1, CNameDlg::ColSchedule), QString("Day shift"));
    }

    // The built-in schedule: grey name cell, no editable cell in its detail, never selected,
    // never reset, copied or deleted; delete-all keeps it and moves every transponder onto it.
    void fullAccessScheduleIsProtected()
    {
        auto* view = Open<CZeitschemaDlg>(CLeftTreeView::Schedules);
        QCOMPARE(view->CellText(1, CZeitschemaDlg::ColName), T(81));
        QVERIFY(!view->IsCellEditable(1, CZeitschemaDlg::ColName));

        view->Grid()->SetRowSelected(1, true);
        QVERIFY(view->Grid()->SelectedRows().isEmpty());
        for (const char* name : {"actionDeleteEntry", "actionResetEntry", "actionCopyEntry"})
            QVERIFY(!MenuAction(view, name)->isEnabled());
        view->EndEdit(1, CZeitschemaDlg::ColName, "Mine");
        QVERIFY(IsFullAccessName(Windows()->Get_Zeitschema(0).Name));

        auto* detail = Open<CZeitschemaDlg>(CLeftTreeView::Schedules, T(81));
        for (int row = 1; row <= 4; ++row)
            for (int col = 1; col <= CZeitschemaDlg::ColCount; ++col)
                QVERIFY(!detail->IsCellEditable(row, col));
        detail->EndEdit(1, CZeitschemaDlg::ColFromHours, "08");
        QCOMPARE(Windows()->Get_Zeitschema(0).From, QString("0000"));

        view = Open<CZeitschemaDlg>(CLeftTreeView::Schedules);
        m_prompt->NextAnswer(true);
        view->OnCommand(CGridBaseDlg::CmdDeleteAll);
        QCOMPARE(Windows()->GetAnz_Zeitschema(), 4);
        for (int32_t t : {m_t1, m_t2, m_t3, m_t4})
            QCOMPARE(Transponder(t).ScheduleID, 1);
        QCOMPARE(Marks(), QStringLiteral("--|1111|111"));
        QTRY_COMPARE(ChildTexts(ScheduleGroup()), QStringList{T(81)});
    }

    // Deleting a schedule: its windows go, its transponders fall back to schedule 1 and are
    // marked, their readers too; the tree loses the node. Insert and reset on the way.
    void insertResetDelete()
    {
        auto* view = Open<CZeitschemaDlg>(CLeftTreeView::Schedules);
        view->OnCommand(CGridBaseDlg::CmdInsert);
        QCOMPARE(view->RecordCount(), 4);
        const QString added = Windows()->Get_Zeitschema(12).Name;
        QCOMPARE(ChildTexts(ScheduleGroup()).last(), added);
        for (int i = 12; i < 16; ++i) {
            const structZeitschema& w = Windows()->Get_Zeitschema(i);
            QCOMPARE(w.Name, added);
            QCOMPARE(w.From + w.To, QString("00002359"));
            QCOMPARE(std::count(std::begin(w.Day), std::end(w.Day), 1), 7);
        }

        view->Grid()->SetRowSelected(2, true);   // Office
        m_prompt->NextAnswer(true);
        view->OnCommand(CZeitschemaDlg::CmdReset);
        QCOMPARE(m_prompt->Texts(), (QStringList{T(207), T(173)}));
        for (int i = 4; i < 8; ++i) {
            const structZeitschema& w = Windows()->Get_Zeitschema(i);
            QCOMPARE(w.From + w.To, QString("00000000"));
            QCOMPARE(std::count(std::begin(w.Day), std::end(w.Day), 0), 7);
            QCOMPARE(w.Changed, 1);
        }

        view->Grid()->ClearSelection();
        view->Grid()->SetRowSelected(3, true);   // Night
        m_prompt->NextAnswer(true);
        view->OnCommand(CGridBaseDlg::CmdDelete);
        QCOMPARE(m_prompt->Texts().last(), T(69));
        QCOMPARE(Windows()->GetAnz_Zeitschema(), 12);
        QCOMPARE(Transponder(m_t2).ScheduleID, 1);
        QCOMPARE(Transponder(m_t4).ScheduleID, 1);
        QCOMPARE(Transponder(m_t1).ScheduleID, m_office);
        QCOMPARE(Marks(), QStringLiteral("1-|1111|111"));
        QTRY_VERIFY(!ChildTexts(ScheduleGroup()).contains("Night"));
    }

    // The person table's transponder column links both ways but leaves earlier links alone.
    // A name another person has is refused with text 85, one with a ";" with text 380; the
    // same name again is no change.
    void personNamesAndTransponderLinks()
    {
        auto* view = Open<CNameDlg>(CLeftTreeView::Persons);
        view->EndEdit(2, CNameDlg::ColName, "Anna");
        view->EndEdit(2, CNameDlg::ColName, "Doe;John");
        QCOMPARE(m_prompt->Texts(), (QStringList{T(85), T(380)}));
        QCOMPARE(Person(m_ben).Name, QString("Ben"));
        view->EndEdit(2, CNameDlg::ColName, "Ben");
        view->EndEdit(2, CNameDlg::ColName, "Bernd");
        QCOMPARE(m_prompt->Texts().size(), 2);
        QCOMPARE(view->CellText(2, CNameDlg::ColName), QString("Bernd"));

        QCOMPARE(view->CellText(3, CNameDlg::ColName), QString("Cleo"));
        QCOMPARE(view->CellText(3, CNameDlg::ColSchedule), QString("---"));
        QCOMPARE(view->Grid()->ComboEntries(CNameDlg::ColTransponder).size(), 5);

        view->EndEdit(3, CNameDlg::ColTransponder, "00000000A1");   // Anna's
        QCOMPARE(Person(m_cleo).TransponderID, m_t1);
        QCOMPARE(Transponder(m_t1).PersonID, m_cleo);
        QCOMPARE(Person(m_anna).TransponderID, m_t1);                // kept
        QCOMPARE(view->CellText(3, CNameDlg::ColSchedule), QString("Office"));
        QCOMPARE(view->CellText(3, CNameDlg::ColFirstReader), QString("1"));

        view->EndEdit(3, CNameDlg::ColTransponder, "---");
        QCOMPARE(Person(m_cleo).TransponderID, 0);
        QCOMPARE(Transponder(m_t1).PersonID, m_cleo);                // kept
        QCOMPARE(view->CellText(3, CNameDlg::ColTransponder), QString());
        CheckCacheIsDatabase();

        // Deleting a person clears PersonID in its transponders.
        view->Grid()->SetRowSelected(3, true);
        m_prompt->NextAnswer(true);
        view->OnCommand(CGridBaseDlg::CmdDelete);
        QVERIFY(!Persons()->FindById(m_cleo));
        QCOMPARE(Transponder(m_t1).PersonID, 0);
    }

    // Opened from a reader's node: only the persons whose transponder that reader holds;
    // delete-all there removes only those.
    void readerFilter()
    {
        auto* view = Open<CNameDlg>(CLeftTreeView::Persons, "R2");
        QCOMPARE(view->RecordCount(), 1);
        QCOMPARE(view->CellText(1, CNameDlg::ColName), QString("Ben"));
        m_prompt->NextAnswer(true);
        view->OnCommand(CGridBaseDlg::CmdDeleteAll);
        QCOMPARE(view->RecordCount(), 0);
        QCOMPARE(Persons()->GetAnz_Person(), 2);
        QCOMPARE(Transponder(m_t2).PersonID, 0);
    }

    // Delete all, also on an empty table: offered and asked each time; the header row stays.
    // A person inserted then holds no transponder.
    void deleteAllEvenWhenEmpty()
    {
        auto* view = Open<CNameDlg>(CLeftTreeView::Persons);
        for (int round = 0; round < 2; ++round) {
            QVERIFY(MenuAction(view, "actionDeleteAllEntries")->isEnabled());
            m_prompt->NextAnswer(true);
            view->OnCommand(CGridBaseDlg::CmdDeleteAll);
            QCOMPARE(view->Grid()->RowCount(), 1);
        }
        QCOMPARE(m_prompt->Texts(), (QStringList{T(64), T(64)}));
        view->OnCommand(CGridBaseDlg::CmdInsert);
        QCOMPARE(Persons()->GetAnz_Person(), 1);
        QCOMPARE(Persons()->Get_Person(0).TransponderID, 0);
    }

    // A store error is shown, nothing is half done, and the view shows the database as it is
    // (here with a person another program added meanwhile).
    void storeErrorRefillsFromDatabase()
    {
        VmTest::Outside(m_store->Location(), {"INSERT INTO tblPerson (Name, TransponderID) VALUES ('Outsider', 0)",
                                              "CREATE TRIGGER nolinks BEFORE UPDATE ON tblTransponder BEGIN "
                                              "SELECT RAISE(ABORT, 'transponders are locked'); END"});
        auto* persons = Open<CNameDlg>(CLeftTreeView::Persons);
        QCOMPARE(persons->RecordCount(), 3);
        persons->EndEdit(3, CNameDlg::ColTransponder, "00000000A3");
        QCOMPARE(persons->RecordCount(), 4);
        QCOMPARE(persons->CellText(4, CNameDlg::ColName), QString("Outsider"));
        QCOMPARE(Person(m_cleo).TransponderID, 0);

        auto* schedules = Open<CZeitschemaDlg>(CLeftTreeView::Schedules);
        schedules->EndEdit(2, CZeitschemaDlg::ColName, "Renamed");
        QCOMPARE(schedules->CellText(2, CZeitschemaDlg::ColName), QString("Office"));
        QCOMPARE(Windows()->FindById(m_office)->Changed, 0);   // rolled back with the rest
        VmTest::Outside(m_store->Location(), {"DROP TRIGGER nolinks"});
        const QStringList shown = m_prompt->Texts();
        QCOMPARE(shown.size(), 2);
        QVERIFY(shown[0].contains("transponders are locked"));
    }
};

QTEST_MAIN(TestPersonsSchedules)
#include "tst_PersonsSchedules.moc"
