// Entering transponder numbers by hand or by a USB keyboard reader: what is refused, what is
// stored and how, that Enter never closes the dialog, and that the table shows each new row
// at once. The dialog is opened the way the table's menu opens it.
#include "TransponderTestSupport.h"
#include "base/Prompt.h"
#include "params/CUsbManuell.h"
#include "support/TestEnv.h"
#include "views/CTransponderDlg.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

using namespace TransponderTest;

class TestUsbManuell : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<CTransponderDlg> m_view;
    std::unique_ptr<CUsbManuell> m_dlg;

    QString T(int n) const { return m_lang->GetLangItem(uint32_t(n)); }
    CtblTransponder* Transponders() const { return m_store->Get_Ptr_To_tblTransponder(); }

    // Types the text as a keyboard reader does: the characters, then Enter.
    void Type(const QString& text)
    {
        m_dlg->Edit()->clear();
        QTest::keyClicks(m_dlg->Edit(), text);
        QTest::keyClick(m_dlg->Edit(), Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
    }
    void init()
    {
        ClearTables(*m_store);
        AddTransponder(*m_store, "0000000001", "0");
        ReloadAll(*m_store);
        m_view = std::make_unique<CTransponderDlg>(ViewContext{m_lang.get(), m_store.get(), nullptr, nullptr});
        m_view->Load(0);
        m_view->show();
        m_dlg = std::make_unique<CUsbManuell>(m_lang.get(), m_view.get(), m_view->Grid(), m_view.get());
        m_dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    }
    void cleanup()
    {
        m_dlg.reset();
        m_view.reset();
    }

    void input_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("text");       // the confirmation shown
        QTest::addColumn<QString>("stored");  // the number stored, empty when none
        QTest::newRow("lower case is stored upper case") << "00a1b2c3d4" << 245 << "00A1B2C3D4";
        QTest::newRow("nine characters") << "00A1B2C3D" << 244 << "";
        QTest::newRow("eleven characters") << "00A1B2C3D4E" << 244 << "";
        QTest::newRow("not hexadecimal") << "00A1B2C3G4" << 244 << "";
        QTest::newRow("inner space") << "00A1 2C3D4" << 244 << "";
        QTest::newRow("already there") << "0000000001" << 246 << "";
    }
    void input()
    {
        QFETCH(QString, typed);
        QFETCH(int, text);
        QFETCH(QString, stored);
        ScriptedPrompt prompt;
        Type(typed);
        QCOMPARE(prompt.Texts(), QStringList{T(text)});
        QVERIFY(m_dlg->isVisible());   // Enter never closes it
        QCOMPARE(Transponders()->GetAnz_Transponder(), stored.isEmpty() ? 1 : 2);
        // A refused number stays for correction; otherwise the field is ready for the next.
        QCOMPARE(m_dlg->Edit()->text(), text == 244 ? typed : QString());
        if (!stored.isEmpty()) {
            const int index = Transponders()->IndexOfNumber(stored);
            QCOMPARE(index, 1);
            const structTransponder rec = Stored(Transponders(), Transponders()->Get_Transponder(index).ID);
            QCOMPARE(rec.Number, stored);
            QCOMPARE(rec.Readers, QStringLiteral("0"));
            QCOMPARE(rec.ScheduleID, 1);
            QCOMPARE(rec.PersonID, 0);
            QCOMPARE(rec.Changed, 1);
            // The table shows the new row at once, selected.
            QCOMPARE(m_view->Grid()->RowCount(), 3);
            QCOMPARE(m_view->Grid()->CellText(2, CTransponderDlg::ColNumber), stored);
        }
        if (text != 244)
            QCOMPARE(m_view->Grid()->SelectedRows(), QList<int>{text == 246 ? 1 : 2});
    }

    // The same number twice in a row: added, then found; OK does what Enter does.
    void sameNumberTwice()
    {
        ScriptedPrompt prompt;
        m_dlg->Edit()->setText("ABCDEF0123");
        m_dlg->findChild<QPushButton*>("1")->click();
        m_dlg->Edit()->setText("abcdef0123");
        m_dlg->findChild<QPushButton*>("1")->click();
        QCOMPARE(prompt.Texts(), (QStringList{T(245), T(246)}));
        QCOMPARE(Transponders()->GetAnz_Transponder(), 2);
        QVERIFY(m_dlg->isVisible());
        QCOMPARE(m_dlg->windowTitle(), T(241));
        m_dlg->findChild<QPushButton*>("2")->click();
        QVERIFY(!m_dlg->isVisible());
    }

    // The table's menu item opens the entry dialog installed for it and refills afterwards.
    void menuOpensTheEntryDialog()
    {
        int opened = 0;
        m_view->SetEntryDialog([&](CTransponderDlg& v) {
            ++opened;
            v.AddEnteredNumber("0000000002");
        });
        m_view->ShowContextMenu(1, 3, QPoint());
        QAction* entry = m_view->LastContextMenu()->findChild<QAction*>("actionEntryDialog");
        QCOMPARE(entry->text(), T(243));
        entry->trigger();
        QTRY_COMPARE(opened, 1);
        QCOMPARE(m_view->Grid()->RowCount(), 3);
    }
};

QTEST_MAIN(TestUsbManuell)
#include "tst_UsbManuell.moc"
