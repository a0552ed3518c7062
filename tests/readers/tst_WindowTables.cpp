// The reader and transponder tables on the right of the main window.
// The reader table: the context menu's enabling rules, rename with the tree kept in step, and,
// end to end against a simulated reader as the configured port, "Online" registering a Cedar
// (recognised when it comes online again), and writing all data to a Rowan and fetching it
// back: the failure that leaves the reader marked changed with the monitor polling again, then
// the whole round trip.
// The transponder table: numbers entered by hand or by a USB keyboard reader in the dialog the
// table's menu opens: what is refused, what is stored and how, that Enter never closes the
// dialog, and that the table shows each new row at once. Capture end to end, with a simulated
// Cedar online: a tag presented at the reader is selected while capture is off; with capture
// on, a new number becomes a row assigned to the reader that answered the identity query of
// the last right click, and a known one is given that reader.
#include "ReaderTestSupport.h"
#include "SimEvents.h"
#include "base/Prompt.h"
#include "params/CUsbManuell.h"
#include "readers/CLeserDlg.h"
#include "readers/WriteAll.h"
#include "support/OnlineFixture.h"
#include "support/WindowFixture.h"
#include "views/CTransponderDlg.h"

#include <QLineEdit>
#include <QMenu>
#include <QtTest>

using namespace ReaderTest;

class TestWindowTables : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    VmTest::OnlineFixture m_online{7};

    CLeserDlg* Table() const { return qobject_cast<CLeserDlg*>(m_w.RightPane()); }
    CGridCtrl* Grid() const { return Table()->Grid(); }
    CSerialLink* Link() const { return m_w.frame->Tree()->Link(); }
    QString T(int n) const { return m_w.T(n); }
    void Show(CLeftTreeView::Category category)
    {
        m_w.frame->Tree()->setCurrentItem(m_w.frame->Tree()->CategoryItem(category));
    }

    // Readers C1 (a Cedar), B1, M1, A1 (an Alder: no tree nodes) and R1, or none at all.
    void FillReaders(bool none = false)
    {
        Show(CLeftTreeView::Readers);
        QTRY_VERIFY(Table());
        ClearTables(*m_store);
        for (const QString model : {"Cedar", "Birch", "Maple", "Alder", "Rowan"})
            if (!none)
                AddReader(*m_store, model.left(1) + "1", model, model.toUpper().leftJustified(20, '0'));
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        m_w.frame->Tree()->RebuildTreeChildren();
        Table()->Load(0);
    }

    QAction* MenuItem(int row, const QList<int>& selected, const char* name)
    {
        Grid()->ClearSelection();
        for (int r : selected)
            Grid()->SetRowSelected(r, true);
        Table()->ShowContextMenu(row, CLeserDlg::ColName, QPoint());
        return Table()->LastContextMenu()->findChild<QAction*>(name);
    }

    void Trigger(const char* name) { m_w.Action(name)->trigger(); }

    void GoOffline()
    {
        Trigger("actionOffline");
        QTRY_COMPARE(Link()->m_nPortOpen.load(), 0);
        Grid()->ClearSelection();
    }

    // The monitor has the port again: its polls reach the reader.
    void CheckMonitorPolls()
    {
        const int polls = m_online.Reader().Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(m_online.Reader().Received('C') > polls, 5000);
    }

    // The three reader groups of the tree show these names.
    void CheckTree(const QStringList& names)
    {
        for (auto group : {CLeftTreeView::Transponders, CLeftTreeView::Persons, CLeftTreeView::Events}) {
            QTreeWidgetItem* item = m_w.frame->Tree()->CategoryItem(group);
            for (int i = 0; i < std::max(item->childCount(), int(names.size())); ++i)
                QCOMPARE(item->child(i) ? item->child(i)->text(0) : QString(), names.value(i));
        }
    }

    CTransponderDlg* View() const { return qobject_cast<CTransponderDlg*>(m_w.RightPane()); }
    CtblTransponder* Tags() const { return m_store->Get_Ptr_To_tblTransponder(); }
    QAction* MenuAction(int row, const char* name)
    {
        View()->ShowContextMenu(row, CTransponderDlg::ColNumber, QPoint());
        return View()->LastContextMenu()->findChild<QAction*>(name);
    }

    // Opens the entry dialog from the table's menu (the command runs queued) and runs `inside`
    // while it shows; the dialog is closed afterwards if it is still open. false when no dialog
    // showed.
    bool InEntryDialog(const std::function<void(CUsbManuell&)>& inside)
    {
        bool shown = false;
        QObject guard;   // a dialog that never shows leaves no timer behind
        std::function<void()> answer = [&] {
            auto* dlg = qobject_cast<CUsbManuell*>(QApplication::activeModalWidget());
            if (!dlg)
                return QTimer::singleShot(20, &guard, answer);
            shown = true;
            inside(*dlg);
            if (dlg->isVisible())
                dlg->reject();
        };
        QTimer::singleShot(0, &guard, answer);
        MenuAction(1, "actionEntryDialog")->trigger();
        for (int i = 0; i < 5000 && !shown; ++i)
            QTest::qWait(1);
        return shown;
    }
    // Types the text as a keyboard reader does: the characters, then Enter.
    static void Type(CUsbManuell& dlg, const QString& text)
    {
        dlg.Edit()->clear();
        QTest::keyClicks(dlg.Edit(), text);
        QTest::keyClick(dlg.Edit(), Qt::Key_Return);
    }

    // The transponder table, holding the one transponder 0000000001.
    void ShowTransponders()
    {
        Show(CLeftTreeView::Transponders);
        QTRY_VERIFY(View());
        ClearTables(*m_store);
        AddTransponder(*m_store, "0000000001", "0");
        ReloadAll(*m_store);
        View()->Load(0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
        Settings::WriteAktCom(250);   // nothing there
        m_w.ShowFrame();
    }
    void cleanupTestCase()
    {
        m_w.frame.reset();
        m_online.Stop();
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("row");                 // row under the cursor
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("interfaceType");       // what the link says is connected
        QTest::addColumn<uint>("deleteText");
        QTest::addColumn<bool>("fetchWriteEnabled");
        QTest::newRow("Cedar row, offline") << 1 << QList<int>{1} << -1 << 62u << false;
        QTest::newRow("two selected") << 5 << QList<int>{2, 5} << -1 << 67u << false;
        QTest::newRow("Birch with a desk Birch connected") << 2 << QList<int>{2} << 0 << 62u << true;
        QTest::newRow("Alder with a desk Birch connected") << 4 << QList<int>{4} << 0 << 62u << false;
        QTest::newRow("header row") << 0 << QList<int>{2} << 0 << 62u << false;
    }
    void contextMenu()
    {
        QFETCH(int, row);
        QFETCH(QList<int>, selected);
        QFETCH(int, interfaceType);
        QFETCH(uint, deleteText);
        FillReaders();
        Link()->m_nInterfaceType = interfaceType;
        QAction* del = MenuItem(row, selected, "actionDeleteEntry");
        Link()->m_nInterfaceType = -1;
        QCOMPARE(del->text(), T(int(deleteText)));
        QMenu* menu = Table()->LastContextMenu();
        // Offline the identity check never passes: no event commands.
        QVERIFY(!menu->findChild<QAction*>("actionReadEvents")->isEnabled());
        QVERIFY(!menu->findChild<QAction*>("actionDeleteReaderEvents")->isEnabled());
        QTEST(menu->findChild<QAction*>("actionFetchAllData")->isEnabled(), "fetchWriteEnabled");
        QTEST(menu->findChild<QAction*>("actionWriteAllData")->isEnabled(), "fetchWriteEnabled");
    }

    // A name the CSV files cannot carry is refused; a rename reaches the store and the tree.
    void renameKeepsTheTreeInStep()
    {
        FillReaders();
        ScriptedPrompt prompt;
        Table()->EndEdit(3, CLeserDlg::ColName, QStringLiteral("Gate;East"));
        QCOMPARE(prompt.Texts(), QStringList{T(380)});
        Table()->EndEdit(3, CLeserDlg::ColName, QStringLiteral("Gate"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColName), QStringLiteral("Gate"));
        QCOMPARE(ReaderNames(*m_store, true), (QStringList{"C1", "B1", "Gate", "A1", "R1"}));
        CheckTree({"C1", "B1", "Gate", "R1"});
    }

    void cedarIsRegisteredThenRecognised()
    {
        FillReaders(true);
        ScriptedPrompt prompt;
        QVERIFY(m_online.Start(Sim::Model::Cedar));
        const int timeout = VmTest::OnlineFixture::ConnectTimeoutMs(Sim::Model::Cedar);
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->RowCount(), 2, timeout);
        const structLeser rec = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0);
        CheckTree({rec.Name});

        // Offline, online again: the same row is selected and nothing is added.
        GoOffline();
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->SelectedRows(), QList<int>{1}, timeout);
        QCOMPARE(ReaderNames(*m_store, true), QStringList{rec.Name});
        // The identity check passes for its row: the reader commands are offered.
        QVERIFY(MenuItem(1, {1}, "actionReadEvents")->isEnabled());
        QVERIFY2(prompt.Texts().isEmpty(), qPrintable(prompt.Texts().join('|')));

        // Deleting the reader's events says how many it holds, with No as the default; No
        // sends nothing (what Yes does, the events window test shows).
        m_online.Reader().SetEvents(Sim::VariedEvents(7));
        m_online.Reader().ClearLog();
        prompt.NextAnswer(false);
        MenuItem(1, {1}, "actionDeleteReaderEvents")->trigger();
        QTRY_COMPARE(prompt.Texts(), QStringList{T(300).replace("%1", "7")});   // queued
        QVERIFY(prompt.Log()[0].defaultNo);
        QCOMPARE(m_online.Reader().Received('S'), 0);
        QCOMPARE(m_online.Reader().EventPointer(), 6u);
        prompt.Clear();

        // Deleted, it comes back through insert entry, which restarts the link while online.
        prompt.NextAnswer(true);
        prompt.NextAnswer(true);
        MenuItem(1, {1}, "actionDeleteEntry")->trigger();
        QTRY_COMPARE(Grid()->RowCount(), 1);
        MenuItem(0, {}, "actionInsertEntry")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->RowCount(), 2, timeout);
        const structLeser again = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0);
        QCOMPARE(again.Identity, rec.Identity);
        CheckTree({again.Name});
        GoOffline();
    }

    // Twenty transponders with two schedules go into a Rowan once a first attempt has failed;
    // two of them, deleted in the database, come back from it with this reader in their lists.
    void writeAllThenFetchAll()
    {
        FillReaders(true);
        ScriptedPrompt prompt;
        QVERIFY(m_online.Start(Sim::Model::Rowan));
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->RowCount(), 2, VmTest::OnlineFixture::ConnectTimeoutMs(Sim::Model::Rowan));
        const int32_t reader = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0).ID;
        const int32_t office = AddSchedule(*m_store, "Office", {{"0730", "1800", "0111110"}});
        const int32_t weekend = AddSchedule(*m_store, "Weekend", {{"0900", "1300", "1000001"}});
        std::vector<std::string> numbers;
        AddRecords(m_store->Get_Ptr_To_tblTransponder(), 20, [&](int i, structTransponder& t) {
            t.Number = Number(0x4711000 + i);
            t.Readers = QString::number(reader);
            t.ScheduleID = i % 2 ? weekend : office;
            numbers.push_back(t.Number.toStdString());
        });
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), reader, [](structLeser& r) {
            r.Params = "F0", r.SwitchTime = "5", r.Changed = 1;
        });
        ReloadAll(*m_store);
        Grid()->Refresh();

        // A slot the reader refuses through both retry stages: the reader stays marked changed.
        m_online.Reader().AimFault({Sim::AimedFault::Kind::Refuse, "ST", 20});
        MenuItem(1, {1}, "actionWriteAllData")->trigger();
        const QStringList failed{T(141), WriteAll::EndText(m_w.lang.get(), 0)};
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), failed, 30000);
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColChanged), QStringLiteral("1"));
        m_online.Reader().ClearAimedFaults();
        CheckMonitorPolls();

        prompt.Clear();
        MenuItem(1, {1}, "actionWriteAllData")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), QStringList{WriteAll::EndText(m_w.lang.get(), 20)}, 30000);
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColChanged), QStringLiteral("0"));
        QCOMPARE(m_online.Reader().Transponders(), numbers);
        CheckMonitorPolls();

        const std::vector<int32_t> gone{m_store->Get_Ptr_To_tblTransponder()->Get_Transponder(3).ID,
                                        m_store->Get_Ptr_To_tblTransponder()->Get_Transponder(17).ID};
        DeleteRecordsByIds(m_store->Get_Ptr_To_tblTransponder(), gone);
        m_store->Get_Ptr_To_tblTransponder()->RemoveIds(gone);
        prompt.Clear();
        MenuItem(1, {1}, "actionFetchAllData")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), QStringList{T(173)}, 30000);
        QVERIFY(!Table()->ProgressWindow());
        QStringList expected;
        for (const std::string& n : numbers)
            expected << QString::fromStdString(n) + '=' + QString::number(reader);
        QCOMPARE(Transponders(*m_store, true), expected);
        CheckMonitorPolls();
        GoOffline();
    }

    void entry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("text");       // the confirmation shown
        QTest::addColumn<QString>("stored");  // the number stored, empty when none
        QTest::newRow("lower case is stored upper case") << "00a1b2c3d4" << 245 << "00A1B2C3D4";
        QTest::newRow("nine characters") << "00A1B2C3D" << 244 << "";
        QTest::newRow("eleven characters") << "00A1B2C3D4E" << 244 << "";
        QTest::newRow("not hexadecimal") << "00A1B2C3G4" << 244 << "";
        QTest::newRow("already there") << "0000000001" << 246 << "";
    }
    void entry()
    {
        QFETCH(QString, typed);
        QFETCH(int, text);
        QFETCH(QString, stored);
        ShowTransponders();
        ScriptedPrompt prompt;
        bool open = false;
        QString left, lastRow;
        QList<int> selected;
        QVERIFY(InEntryDialog([&](CUsbManuell& dlg) {
            Type(dlg, typed);
            open = dlg.isVisible();
            left = dlg.Edit()->text();
            lastRow = View()->Grid()->CellText(View()->Grid()->RowCount() - 1, CTransponderDlg::ColNumber);
            selected = View()->Grid()->SelectedRows();
        }));
        QCOMPARE(prompt.Texts(), QStringList{m_w.T(text)});
        QVERIFY(open);   // Enter never closes it
        // A refused number stays for correction; otherwise the field is ready for the next.
        QCOMPARE(left, text == 244 ? typed : QString());
        // The table shows the new row at once, selected, or selects the number it has.
        QCOMPARE(lastRow, stored.isEmpty() ? QStringLiteral("0000000001") : stored);
        if (text != 244)
            QCOMPARE(selected, QList<int>{text == 246 ? 1 : 2});
        QCOMPARE(Tags()->GetAnz_Transponder(), stored.isEmpty() ? 1 : 2);
        if (!stored.isEmpty()) {
            const structTransponder rec = Stored(Tags(), Tags()->Get_Transponder(1).ID);
            QCOMPARE(rec.Number, stored);
            QCOMPARE(rec.Readers, QStringLiteral("0"));
            QCOMPARE(rec.ScheduleID, 1);
            QCOMPARE(rec.Changed, 1);
        }
    }

    void tagPresentedAtTheReader()
    {
        const QString deviceId = QStringLiteral("CEDARSIM000000000042");
        CStoreDB_Handler& store = *m_store;
        ShowTransponders();
        ClearTables(store);
        AddReader(store, "Gate", "Maple", "MAPLE000000000000007");
        const int32_t door = AddReader(store, "Door", "Cedar", deviceId);
        const int32_t known = AddTransponder(store, "00000000E1", "0");
        AddTransponder(store, "00000000E2", "0");
        ReloadAll(store);
        View()->Load(0);
        QVERIFY(m_online.Start(Sim::Model::Cedar));
        m_online.Reader().SetDeviceId(deviceId.toStdString());
        ScriptedPrompt prompt;
        Trigger("actionOnline");
        const int timeout = VmTest::OnlineFixture::ConnectTimeoutMs(Sim::Model::Cedar);
        QTRY_VERIFY_WITH_TIMEOUT(m_w.frame->Tree()->Controller()->IsOnline(), timeout);

        // Capture off: a known tag is only selected.
        m_online.Reader().PresentTag("00000000E2", true);
        QTRY_COMPARE_WITH_TIMEOUT(View()->Grid()->SelectedRows(), QList<int>{2}, 5000);

        // The right click asks the reader who it is; capture on.
        MenuAction(1, "actionCapture")->trigger();
        QTRY_COMPARE(View()->CaptureIgnored(), 0);

        // A new tag held on the reader: one new row, assigned to the Cedar.
        m_online.Reader().PresentTag("00A1B2C3D4");
        QTRY_VERIFY_WITH_TIMEOUT(Tags()->IndexOfNumber("00A1B2C3D4") >= 0, 5000);
        const int32_t added = Tags()->Get_Transponder(Tags()->IndexOfNumber("00A1B2C3D4")).ID;
        QCOMPARE(View()->Grid()->RowCount(), 4);
        QCOMPARE(View()->Grid()->SelectedRows(), QList<int>{3});
        QCOMPARE(Stored(Tags(), added).Readers, QString::number(door));
        QCOMPARE(Stored(store.Get_Ptr_To_tblLeser(), door).Changed, 1);
        m_online.Reader().RemoveTag();

        // A known tag gets the reader appended to its list.
        m_online.Reader().PresentTag("00000000E1", true);
        QTRY_COMPARE_WITH_TIMEOUT(Stored(Tags(), known).Readers, "0;" + QString::number(door), 5000);
        QCOMPARE(Tags()->GetAnz_Transponder(), 3);
        QCOMPARE(prompt.Log().size(), size_t(0));

        Trigger("actionOffline");
        QTRY_COMPARE(Link()->m_nPortOpen.load(), 0);
    }
};

QTEST_MAIN(TestWindowTables)
#include "tst_WindowTables.moc"
