// Capture end to end: a simulated Cedar online at the configured port, the transponder table
// on the right of the main window. A tag presented at the reader is selected while capture is
// off; with capture on, a new number becomes a row assigned to the reader that answered the
// identity query of the last right click, and a known one is given that reader.
#include "TransponderTestSupport.h"
#include "app/CMainFrame.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "support/OnlineFixture.h"
#include "support/TestEnv.h"
#include "tree/CLeftTreeView.h"
#include "views/CTransponderDlg.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using namespace TransponderTest;

class TestTransponderCapture : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<CMainFrame> m_frame;
    VmTest::OnlineFixture m_online{9};

    CTransponderDlg* View() const { return qobject_cast<CTransponderDlg*>(m_frame->RightPane()); }
    CtblTransponder* Transponders() const { return m_store->Get_Ptr_To_tblTransponder(); }
    void Trigger(const char* name) { m_frame->findChild<QAction*>(name)->trigger(); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        Settings::WriteLanguage(1);
        Settings::WriteAktCom(250);
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        CLeftTreeView::SetAskPortAtStart(false);
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
    }
    void cleanupTestCase()
    {
        m_frame.reset();
        m_online.Stop();
    }

    void tagPresentedAtTheReader()
    {
        const QString deviceId = QStringLiteral("CEDARSIM000000000042");
        ClearTables(*m_store);
        AddReader(*m_store, "Gate", "Maple", "MAPLE000000000000007");
        const int32_t door = AddReader(*m_store, "Door", "Cedar", deviceId);
        const int32_t known = AddTransponder(*m_store, "00000000E1", "0");
        AddTransponder(*m_store, "00000000E2", "0");
        ReloadAll(*m_store);
        QVERIFY(m_online.Start(Sim::Model::Cedar));
        m_online.Reader().SetDeviceId(deviceId.toStdString());

        ScriptedPrompt prompt;
        m_frame = std::make_unique<CMainFrame>(m_lang.get(), m_store.get(), nullptr);
        m_frame->show();
        CLeftTreeView* tree = m_frame->Tree();
        tree->setCurrentItem(tree->CategoryItem(CLeftTreeView::Transponders));
        QTRY_VERIFY(View());
        Trigger("actionOnline");
        QTRY_VERIFY_WITH_TIMEOUT(tree->Controller()->IsOnline(), VmTest::OnlineFixture::ConnectTimeoutMs(Sim::Model::Cedar));

        // Capture off: a known tag is only selected.
        m_online.Reader().PresentTag("00000000E2", true);
        QTRY_COMPARE_WITH_TIMEOUT(View()->Grid()->SelectedRows(), QList<int>{2}, 5000);

        // The right click asks the reader who it is; capture on.
        View()->ShowContextMenu(1, CTransponderDlg::ColNumber, QPoint());
        QCOMPARE(View()->IdentityText().mid(4, 20), deviceId);
        View()->LastContextMenu()->findChild<QAction*>("actionCapture")->trigger();
        QTRY_COMPARE(View()->CaptureIgnored(), 0);

        // A new tag held on the reader: one new row, assigned to the Cedar.
        m_online.Reader().PresentTag("00A1B2C3D4");
        QTRY_VERIFY_WITH_TIMEOUT(Transponders()->IndexOfNumber("00A1B2C3D4") >= 0, 5000);
        const int32_t added = Transponders()->Get_Transponder(Transponders()->IndexOfNumber("00A1B2C3D4")).ID;
        QCOMPARE(View()->Grid()->RowCount(), 4);
        QCOMPARE(View()->Grid()->SelectedRows(), QList<int>{3});
        QCOMPARE(Stored(Transponders(), added).Readers, QString::number(door));
        QCOMPARE(Stored(m_store->Get_Ptr_To_tblLeser(), door).Changed, 1);
        m_online.Reader().RemoveTag();

        // A known tag gets the reader appended to its list.
        m_online.Reader().PresentTag("00000000E1", true);
        QTRY_COMPARE_WITH_TIMEOUT(Transponders()->FindById(known)->Readers, "0;" + QString::number(door), 5000);
        QCOMPARE(Stored(Transponders(), known).Readers, "0;" + QString::number(door));
        QCOMPARE(Transponders()->GetAnz_Transponder(), 3);
        QCOMPARE(prompt.Log().size(), size_t(0));

        Trigger("actionOffline");
        QTRY_COMPARE(tree->Link()->m_nPortOpen.load(), 0);
    }
};

QTEST_MAIN(TestTransponderCapture)
#include "tst_TransponderCapture.moc"
