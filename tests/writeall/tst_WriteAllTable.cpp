// Writing all data and fetching it back from the reader table in the main window, against a
// simulated Rowan brought online and registered as a user does it: the failure that leaves the
// reader marked changed with the monitor polling again, then the whole round trip, and the
// capacity check that sends nothing.
#include "base/Prompt.h"
#include "readers/CLeserDlg.h"
#include "readers/ReaderTestSupport.h"
#include "readers/WriteAll.h"
#include "support/OnlineFixture.h"
#include "support/WindowFixture.h"

#include <QMenu>
#include <QtTest>

using namespace ReaderTest;

class TestWriteAllTable : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    VmTest::OnlineFixture m_online{32};
    int32_t m_reader = 0;

    CLeserDlg* Table() const { return qobject_cast<CLeserDlg*>(m_w.RightPane()); }
    CGridCtrl* Grid() const { return Table()->Grid(); }
    Sim::ReaderSim& Reader() { return m_online.Reader(); }

    // The reader row's context menu command, after the identity check through the monitor.
    QAction* Command(const char* name)
    {
        Grid()->ClearSelection();
        Grid()->SetRowSelected(1, true);
        Table()->ShowContextMenu(1, CLeserDlg::ColName, QPoint());
        return Table()->LastContextMenu()->findChild<QAction*>(name);
    }
    void MarkChanged()
    {
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader, [](structLeser& r) { r.Changed = 1; });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        Grid()->Refresh();
    }
    void AssignTransponders(int count, const QList<int32_t>& schedules)
    {
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblTransponder(), {});
        AddRecords(m_store->Get_Ptr_To_tblTransponder(), count, [&](int i, structTransponder& t) {
            t.Number = Number(0x4711000 + i);
            t.Readers = QString::number(m_reader);
            t.ScheduleID = schedules[i % schedules.size()];
        });
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
    }
    // The monitor has the port again: its polls reach the reader.
    void CheckMonitorPolls()
    {
        const int polls = Reader().Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(Reader().Received('C') > polls, 5000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
        Settings::WriteAktCom(250);
        ClearTables(*m_store);
        m_w.ShowFrame();
        QTRY_VERIFY(Table());

        // The Rowan comes online and is registered.
        ScriptedPrompt prompt;
        QVERIFY(m_online.Start(Sim::Model::Rowan));
        m_w.Action("actionOnline")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->RowCount(), 2, VmTest::OnlineFixture::ConnectTimeoutMs(Sim::Model::Rowan));
        m_reader = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0).ID;
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader, [](structLeser& r) { r.Params = "F0", r.SwitchTime = "5"; });
    }
    void cleanupTestCase()
    {
        m_w.frame.reset();
        m_online.Stop();
    }

    // Twenty transponders with two schedules go into the reader once a first attempt has failed;
    // two of them, deleted in the database, come back from it with this reader in their lists.
    void writeAllThenFetchAll()
    {
        const int32_t office = AddSchedule(*m_store, "Office", {{"0730", "1800", "0111110"}});
        const int32_t weekend = AddSchedule(*m_store, "Weekend", {{"0900", "1300", "1000001"}});
        AssignTransponders(20, {office, weekend});
        MarkChanged();

        // A slot the reader refuses through both retry stages: the reader stays marked changed.
        Reader().AimFault({Sim::AimedFault::Kind::Refuse, "ST", 20});
        ScriptedPrompt prompt;
        Command("actionWriteAllData")->trigger();
        const QStringList failed{m_w.T(141), WriteAll::EndText(m_w.lang.get(), 0)};
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), failed, 30000);
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColChanged), QStringLiteral("1"));
        Reader().ClearAimedFaults();
        CheckMonitorPolls();

        prompt.Clear();
        QAction* write = Command("actionWriteAllData");
        QVERIFY(write->isEnabled());
        write->trigger();
        const QStringList done{WriteAll::EndText(m_w.lang.get(), 20)};
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), done, 30000);
        QVERIFY(!Table()->ProgressWindow());
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColChanged), QStringLiteral("0"));
        std::vector<std::string> numbers;
        for (int i = 0; i < 20; ++i)
            numbers.push_back(Number(0x4711000 + i).toStdString());
        QCOMPARE(Reader().Transponders(), numbers);
        QCOMPARE(int(Reader().Windows().size()), 80);
        CheckMonitorPolls();

        const std::vector<int32_t> gone{m_store->Get_Ptr_To_tblTransponder()->Get_Transponder(3).ID,
                                        m_store->Get_Ptr_To_tblTransponder()->Get_Transponder(17).ID};
        DeleteRecordsByIds(m_store->Get_Ptr_To_tblTransponder(), gone);
        m_store->Get_Ptr_To_tblTransponder()->RemoveIds(gone);
        prompt.Clear();
        QAction* fetch = Command("actionFetchAllData");
        QVERIFY(fetch->isEnabled());
        fetch->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), QStringList{m_w.T(173)}, 30000);
        QVERIFY(!Table()->ProgressWindow());
        QStringList expected;
        for (const std::string& n : numbers)
            expected << QString::fromStdString(n) + '=' + QString::number(m_reader);
        QCOMPARE(Transponders(*m_store, true), expected);
        QCOMPARE(Transponders(*m_store, false), expected);
        CheckMonitorPolls();
    }

    void tooManyTransponders()
    {
        AssignTransponders(1001, {1});
        Reader().ClearLog();
        ScriptedPrompt prompt;
        Command("actionWriteAllData")->trigger();
        QTRY_COMPARE(prompt.Texts(), QStringList{m_w.T(236)});
        QVERIFY(!Table()->ProgressWindow());
        QCOMPARE(Reader().Received('S'), 0);
    }
};

QTEST_MAIN(TestWriteAllTable)
#include "tst_WriteAllTable.moc"
