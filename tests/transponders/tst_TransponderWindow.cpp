// The transponder table on the right of the main window. Numbers entered by hand or by a USB
// keyboard reader in the dialog the table's menu opens: what is refused, what is stored and
// how, that Enter never closes the dialog, and that the table shows each new row at once.
// Capture end to end, with a simulated Cedar online at the configured port: a tag presented
// at the reader is selected while capture is off; with capture on, a new number becomes a row
// assigned to the reader that answered the identity query of the last right click, and a known
// one is given that reader.
#include "base/Prompt.h"
#include "params/CUsbManuell.h"
#include "readers/ReaderTestSupport.h"
#include "support/OnlineFixture.h"
#include "support/WindowFixture.h"
#include "views/CTransponderDlg.h"

#include <QLineEdit>
#include <QMenu>
#include <QtTest>

using namespace ReaderTest;

class TestTransponderWindow : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    VmTest::OnlineFixture m_online{9};

    CTransponderDlg* View() const { return qobject_cast<CTransponderDlg*>(m_w.RightPane()); }
    CGridCtrl* Grid() const { return View()->Grid(); }
    CtblTransponder* Transponders() const { return m_w.store->Get_Ptr_To_tblTransponder(); }
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

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        Settings::WriteAktCom(250);   // nothing there
        m_w.ShowFrame();
        m_w.frame->Tree()->setCurrentItem(m_w.frame->Tree()->CategoryItem(CLeftTreeView::Transponders));
        QTRY_VERIFY(View());
    }
    void init()
    {
        ClearTables(*m_w.store);
        AddTransponder(*m_w.store, "0000000001", "0");
        ReloadAll(*m_w.store);
        View()->Load(0);
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
        ScriptedPrompt prompt;
        bool open = false;
        QString left, lastRow;
        QList<int> selected;
        QVERIFY(InEntryDialog([&](CUsbManuell& dlg) {
            Type(dlg, typed);
            open = dlg.isVisible();
            left = dlg.Edit()->text();
            lastRow = Grid()->CellText(Grid()->RowCount() - 1, CTransponderDlg::ColNumber);
            selected = Grid()->SelectedRows();
        }));
        QCOMPARE(prompt.Texts(), QStringList{m_w.T(text)});
        QVERIFY(open);   // Enter never closes it
        // A refused number stays for correction; otherwise the field is ready for the next.
        QCOMPARE(left, text == 244 ? typed : QString());
        // The table shows the new row at once, selected, or selects the number it has.
        QCOMPARE(lastRow, stored.isEmpty() ? QStringLiteral("0000000001") : stored);
        if (text != 244)
            QCOMPARE(selected, QList<int>{text == 246 ? 1 : 2});
        QCOMPARE(Transponders()->GetAnz_Transponder(), stored.isEmpty() ? 1 : 2);
        if (!stored.isEmpty()) {
            const structTransponder rec = Stored(Transponders(), Transponders()->Get_Transponder(1).ID);
            QCOMPARE(rec.Number, stored);
            QCOMPARE(rec.Readers, QStringLiteral("0"));
            QCOMPARE(rec.ScheduleID, 1);
            QCOMPARE(rec.Changed, 1);
        }
    }

    void tagPresentedAtTheReader()
    {
        const QString deviceId = QStringLiteral("CEDARSIM000000000042");
        CStoreDB_Handler& store = *m_w.store;
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
        CLeftTreeView* tree = m_w.frame->Tree();
        m_w.Action("actionOnline")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(tree->Controller()->IsOnline(), m_online.ConnectTimeoutMs(Sim::Model::Cedar));

        // Capture off: a known tag is only selected.
        m_online.Reader().PresentTag("00000000E2", true);
        QTRY_COMPARE_WITH_TIMEOUT(Grid()->SelectedRows(), QList<int>{2}, 5000);

        // The right click asks the reader who it is; capture on.
        QAction* capture = MenuAction(1, "actionCapture");
        QCOMPARE(View()->IdentityText().mid(4, 20), deviceId);
        capture->trigger();
        QTRY_COMPARE(View()->CaptureIgnored(), 0);

        // A new tag held on the reader: one new row, assigned to the Cedar.
        m_online.Reader().PresentTag("00A1B2C3D4");
        QTRY_VERIFY_WITH_TIMEOUT(Transponders()->IndexOfNumber("00A1B2C3D4") >= 0, 5000);
        const int32_t added = Transponders()->Get_Transponder(Transponders()->IndexOfNumber("00A1B2C3D4")).ID;
        QCOMPARE(Grid()->RowCount(), 4);
        QCOMPARE(Grid()->SelectedRows(), QList<int>{3});
        QCOMPARE(Stored(Transponders(), added).Readers, QString::number(door));
        QCOMPARE(Stored(store.Get_Ptr_To_tblLeser(), door).Changed, 1);
        m_online.Reader().RemoveTag();

        // A known tag gets the reader appended to its list.
        m_online.Reader().PresentTag("00000000E1", true);
        QTRY_COMPARE_WITH_TIMEOUT(Stored(Transponders(), known).Readers, "0;" + QString::number(door), 5000);
        QCOMPARE(Transponders()->GetAnz_Transponder(), 3);
        QCOMPARE(prompt.Log().size(), size_t(0));

        m_w.Action("actionOffline")->trigger();
        QTRY_COMPARE(tree->Link()->m_nPortOpen.load(), 0);
        m_online.Stop();
    }
};

QTEST_MAIN(TestTransponderWindow)
#include "tst_TransponderWindow.moc"
