// The event table on its own (the ten columns with the person join, delete all with and
// without the reader filter) and, in the main window against a simulated Cedar holding 300
// events, the way a person goes: online, read events up to the pointer, the count message, the
// reader's node under the events, delete the events in the reader.
#include "ReaderSim.h"
#include "SimEvents.h"
#include "app/CMainFrame.h"
#include "base/Prompt.h"
#include "readers/CLeserDlg.h"
#include "readers/CReadEventsDlg.h"
#include "readers/EventReading.h"
#include "readers/ReaderTestSupport.h"
#include "support/OnlineFixture.h"
#include "support/WindowFixture.h"
#include "views/CEventsDlg.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

using namespace ReaderTest;

class TestEventsWindow : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    int32_t m_r1 = 0, m_r2 = 0;

    QString T(int n) const { return m_w.T(n); }
    CtblEvents* Events() const { return m_store->Get_Ptr_To_tblEvents(); }

    // Readers R1 and R2; transponder ...A1 held by Anna, ...B2 by nobody; events of R1 (A1, B2),
    // of R2 (A1) and one of a deleted reader (number unknown to the table).
    void FillSite()
    {
        ClearTables(*m_store);
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblPerson(), {});
        m_r1 = AddReader(*m_store, "R1", "Cedar");
        m_r2 = AddReader(*m_store, "R2", "Maple");
        int32_t t1 = 0;
        AddRecord(m_store->Get_Ptr_To_tblTransponder(), [](structTransponder& t) { t.Number = "00000000A1"; }, &t1);
        AddRecord(m_store->Get_Ptr_To_tblTransponder(), [](structTransponder& t) { t.Number = "00000000B2"; });
        AddRecord(m_store->Get_Ptr_To_tblPerson(), [t1](structPerson& p) { p.Name = "Anna"; p.TransponderID = t1; });
        const QStringList numbers{"00000000A1", "00000000B2", "00000000A1", "0000000777"};
        const int32_t readers[] = {m_r1, m_r1, m_r2, 0};
        AddRecords(Events(), 4, [&](int k, structEvents& e) {
            e.TransponderNo = numbers[k];
            e.Date = QStringLiteral("05092009"), e.Time = QStringLiteral("1307");
            e.ClassCode = QStringLiteral("10"), e.ClassText = T(191);
            e.DetailCode = QStringLiteral("011"), e.DetailText = T(194);
            e.ReaderID = readers[k];
            e.ReaderName = QStringList{"R1 then", "R1 then", "R2", "Gone"}[k];
        });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        m_store->Get_Ptr_To_tblPerson()->_Requery();
        Events()->_Requery();
    }

    std::unique_ptr<CEventsDlg> View(int filter)
    {
        auto view = std::make_unique<CEventsDlg>(ViewContext{m_w.lang.get(), m_store, nullptr, nullptr});
        view->Load(filter);
        return view;
    }


    // Answers the options dialog once it shows with OK, as it comes.
    void AnswerOptions()
    {
        QTimer::singleShot(20, this, [this] {
            auto* dlg = qobject_cast<CReadEventsDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return AnswerOptions();
            dlg->findChild<QPushButton*>("1")->click();
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
    }

    // Every column of an event, the person found by its transponder ("---": nobody's).
    void columnsAndPersons()
    {
        FillSite();
        auto all = View(0);
        QStringList row1, persons;
        for (int col = 1; col <= CEventsDlg::ColCount; ++col)
            row1 << all->Grid()->CellText(1, col);
        for (int row = 1; row < all->Grid()->RowCount(); ++row)
            persons << all->Grid()->CellText(row, CEventsDlg::ColPerson);
        QCOMPARE(row1, (QStringList{"1", "00000000A1", "Anna", "R1 then", "05.09.2009", "13:07", "10", T(191), "011", T(194)}));
        QCOMPARE(persons, (QStringList{"Anna", "---", "Anna", "---"}));
    }

    void deleteAll_data()
    {
        QTest::addColumn<int>("whichFilter");   // 0 all, 1 reader R1
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("left");  // transponder numbers of the events left, in order
        QTest::newRow("all, yes") << 0 << true << QStringList{};
        QTest::newRow("all, no") << 0 << false << QStringList{"00000000A1", "00000000B2", "00000000A1", "0000000777"};
        QTest::newRow("one reader") << 1 << true << QStringList{"00000000A1", "0000000777"};
    }
    void deleteAll()
    {
        QFETCH(int, whichFilter);
        QFETCH(bool, yes);
        QFETCH(QStringList, left);
        FillSite();
        auto view = View(whichFilter ? m_r1 : 0);
        ScriptedPrompt prompt;
        prompt.NextAnswer(yes);
        view->OnCommand(CGridBaseDlg::CmdDeleteAll);
        QCOMPARE(prompt.Texts(), QStringList{T(64)});
        QCOMPARE(view->Busy(), 0);

        QVERIFY(Events()->_Requery());
        QStringList numbers;   // as stored
        for (int i = 0; i < Events()->GetAnz_Events(); ++i)
            numbers << Events()->Get_Event(i).TransponderNo;
        QCOMPARE(numbers, left);
        QCOMPARE(view->Grid()->RowCount(), whichFilter && yes ? 1 : int(left.size()) + 1);
    }

    // ------------------------------------------------------------ in the main window

    void readAndClearThroughTheWindows()
    {
        VmTest::OnlineFixture online(23);
        ClearTables(*m_store);
        ScriptedPrompt prompt;
        QVERIFY(online.Start(Sim::Model::Cedar));
        const std::vector<Sim::SimEvent> events = Sim::VariedEvents(300);
        online.Reader().SetEvents(events);
        CMainFrame* frame = &m_w.ShowFrame();
        const auto table = [&] { return qobject_cast<CLeserDlg*>(frame->RightPane()); };
        QTRY_VERIFY(table());
        table()->Load(0);
        frame->findChild<QAction*>("actionOnline")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(table()->Grid()->RowCount(), 2, 20000);
        const QString name = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0).Name;

        const auto command = [&](const char* action) {
            table()->Grid()->SelectRow(1);
            // The menu offers the command once the reader has answered the identity query; on a
            // busy machine that query may miss its time, and a person would simply click again.
            QAction* a = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((table()->ShowContextMenu(1, CLeserDlg::ColName, QPoint()),
                                      a = table()->LastContextMenu()->findChild<QAction*>(action), a && a->isEnabled()),
                                     20000);
            a->trigger();
        };
        AnswerOptions();
        command("actionReadEvents");
        QTRY_COMPARE_WITH_TIMEOUT(prompt.Texts(), QStringList{T(200).replace("%d", "300")}, 60000);
        QCOMPARE(Events()->GetAnz_Events(), 300);

        // The reader's node under the events.
        QTreeWidgetItem* group = frame->Tree()->CategoryItem(CLeftTreeView::Events);
        QCOMPARE(group->child(0)->text(0), name);

        // Empty the reader's memory.
        prompt.Clear();
        prompt.NextAnswer(true);
        command("actionDeleteReaderEvents");
        QTRY_COMPARE(online.Reader().EventPointer(), 0xFFFFu);
        QCOMPARE(prompt.Texts(), QStringList{T(300).replace("%1", "300")});   // how many it holds
        QCOMPARE(Events()->GetAnz_Events(), 300);   // the table keeps them
        QTRY_COMPARE(table()->Idle(), 1);

        frame->findChild<QAction*>("actionOffline")->trigger();
        QTRY_COMPARE(frame->Tree()->Link()->m_nPortOpen.load(), 0);
        m_w.frame.reset();
    }
};

QTEST_MAIN(TestEventsWindow)
#include "tst_EventsWindow.moc"
