// End to end, as a person would: the main window with a simulated reader linked as the
// configured COM number; "Online" registers the reader in the table and the tree; offline and
// online again only selects its row. A Cedar is recognised by its device ID, a Birch through
// the choice list.
#include "ReaderSim.h"
#include "app/CMainFrame.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"
#include "readers/CChooseReaderDlg.h"
#include "readers/CLeserDlg.h"
#include "records/CStoreDB_Handler.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
constexpr int kCom = 7;
constexpr int kBusMs = 10000;
constexpr int kDeskMs = 40000;

QStringList ChildTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; item && i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}
} // namespace

class TestReaderOnline : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<Sim::ReaderSim> m_sim;

    // Answers the choice list when it shows up: picks the entry `pick` returns from the offered ones.
    QStringList m_offered;
    std::function<QString(const QStringList&)> m_pick;
    QTimer m_chooser;

    CLeserDlg* Table() const { return qobject_cast<CLeserDlg*>(m_frame->RightPane()); }
    CtblLeser* Readers() const { return m_store->Get_Ptr_To_tblLeser(); }

    void Trigger(const char* name)
    {
        QAction* action = m_frame->findChild<QAction*>(QString::fromLatin1(name));
        QVERIFY2(action, name);
        action->trigger();
    }

    void StartSim(Sim::Model model)
    {
        if (m_sim)
            m_sim->Stop();
        m_sim = std::make_unique<Sim::ReaderSim>(model, kCom);
        QVERIFY2(m_sim->Start(), m_sim->ErrorText().c_str());
    }

    void AnswerChoiceList()
    {
        auto* dlg = qobject_cast<CChooseReaderDlg*>(QApplication::activeModalWidget());
        if (!dlg || !m_pick)
            return;
        auto* list = dlg->findChild<QListWidget*>(QStringLiteral("1036"));
        auto* ok = dlg->findChild<QPushButton*>(QStringLiteral("1"));
        m_offered.clear();
        for (int i = 0; i < list->count(); ++i)
            m_offered << list->item(i)->text();
        const QString wanted = m_pick(m_offered);
        m_pick = nullptr;
        const bool okBefore = ok->isEnabled();
        list->setCurrentRow(int(m_offered.indexOf(wanted)));
        if (!okBefore && ok->isEnabled())
            ok->click();
        else
            dlg->reject();   // OK enabled before a choice: the test sees no selection
    }

    void Screenshot(const QString& name)
    {
        const QByteArray dir = qgetenv("VM_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            m_frame->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
    }

    void CheckTree(const QStringList& names)
    {
        CLeftTreeView* tree = m_frame->Tree();
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), names);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Persons)), names);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Events)), names);
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        Settings::WriteLanguage(1);
        Settings::WriteAktCom(kCom);
        m_lang = std::make_unique<CLanguageHandler>(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        m_prompt = std::make_unique<ScriptedPrompt>();
        CLeftTreeView::SetAskPortAtStart(false);
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
        m_frame = std::make_unique<CMainFrame>(m_lang.get(), m_store.get(), nullptr);
        m_frame->resize(1000, 500);
        m_frame->show();
        QTRY_VERIFY(Table());
        connect(&m_chooser, &QTimer::timeout, this, &TestReaderOnline::AnswerChoiceList);
        m_chooser.start(50);
    }

    void cleanupTestCase()
    {
        m_chooser.stop();
        m_frame.reset();
        if (m_sim)
            m_sim->Stop();
    }

    void cedarIsRegisteredThenRecognised()
    {
        StartSim(Sim::Model::Cedar);
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(Readers()->GetAnz_Leser(), 1, kBusMs);

        const structLeser rec = Readers()->Get_Leser(0);
        QVERIFY(rec.Name.startsWith(QStringLiteral("Leser_")));
        QCOMPARE(rec.Model, QStringLiteral("Cedar"));
        // The device ID the program wrote into the blank reader.
        QCOMPARE(rec.Identity, QString::fromStdString(m_sim->DeviceId()));
        QVERIFY(!rec.Identity.contains(QStringLiteral("FFFFFFFFFF")));

        CGridCtrl* grid = Table()->Grid();
        QCOMPARE(grid->RowCount(), 2);
        QCOMPARE(grid->CellText(1, CLeserDlg::ColName), rec.Name);
        QCOMPARE(grid->CellText(1, CLeserDlg::ColIdentity), rec.Identity);
        QCOMPARE(grid->CellText(1, CLeserDlg::ColModel), m_lang->GetLangItem(14) + QStringLiteral(": Cedar"));
        CheckTree({rec.Name});
        Screenshot(QStringLiteral("reader-table-cedar.png"));

        // Offline, online again: the same row is selected and nothing is added.
        Trigger("actionOffline");
        QTRY_COMPARE(m_frame->Tree()->Link()->m_nPortOpen.load(), 0);
        grid->ClearSelection();
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(grid->SelectedRows(), QList<int>{1}, kBusMs);
        QCOMPARE(Readers()->GetAnz_Leser(), 1);
        QCOMPARE(grid->RowCount(), 2);
        CheckTree({rec.Name});
        QVERIFY2(m_prompt->Texts().isEmpty(), qPrintable(m_prompt->Texts().join('|')));

        // The identity check of the context menu passes for this row: the reader commands are offered.
        grid->SelectRow(1);
        Table()->ShowContextMenu(1, CLeserDlg::ColName, QPoint());
        QVERIFY(Table()->IdentityChecked());
        QVERIFY(Table()->LastContextMenu()->findChild<QAction*>("actionReadEvents")->isEnabled());

        // Deleted from the table, the reader comes back through insert entry, which restarts
        // the link while it is online.
        m_prompt->NextAnswer(true);    // delete the reader
        m_prompt->NextAnswer(true);    // and its events
        Table()->ShowContextMenu(1, CLeserDlg::ColName, QPoint());
        Table()->LastContextMenu()->findChild<QAction*>("actionDeleteEntry")->trigger();
        QTRY_COMPARE(Readers()->GetAnz_Leser(), 0);
        CheckTree({});
        Table()->ShowContextMenu(0, 1, QPoint());
        Table()->LastContextMenu()->findChild<QAction*>("actionInsertEntry")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(Readers()->GetAnz_Leser(), 1, kBusMs);
        QCOMPARE(Readers()->Get_Leser(0).Identity, rec.Identity);
        QVERIFY(Readers()->Get_Leser(0).ID != rec.ID);
        QCOMPARE(Table()->Grid()->RowCount(), 2);
        CheckTree({Readers()->Get_Leser(0).Name});
        QVERIFY2(m_prompt->Texts().size() == 2, qPrintable(m_prompt->Texts().join('|')));   // the two questions
        m_prompt->Clear();

        Trigger("actionOffline");
        QTRY_COMPARE(m_frame->Tree()->Link()->m_nPortOpen.load(), 0);
    }

    void birchIsRegisteredThroughTheChoiceList()
    {
        StartSim(Sim::Model::Birch);
        const QString extra = m_lang->GetLangItem(123);
        m_pick = [extra](const QStringList&) { return extra; };
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(Readers()->GetAnz_Leser(), 2, kDeskMs);
        QCOMPARE(m_offered, QStringList{extra});   // no Birch in the table yet: only the new entry

        const QString cedar = Readers()->Get_Leser(0).Name;   // registered again by insert entry
        const structLeser birch = Readers()->Get_Leser(1);
        QCOMPARE(birch.Model, QStringLiteral("Birch"));
        QCOMPARE(birch.Identity, QStringLiteral("---"));
        CGridCtrl* grid = Table()->Grid();
        QCOMPARE(grid->RowCount(), 3);
        QCOMPARE(grid->CellText(2, CLeserDlg::ColName), birch.Name);
        CheckTree({cedar, birch.Name});
        Screenshot(QStringLiteral("reader-table-birch.png"));

        // Offline, online again, the user picks the reader from the list: its row is selected.
        Trigger("actionOffline");
        QTRY_COMPARE(m_frame->Tree()->Link()->m_nPortOpen.load(), 0);
        grid->ClearSelection();
        const QString name = birch.Name;
        m_pick = [name](const QStringList&) { return name; };
        Trigger("actionOnline");
        QTRY_COMPARE_WITH_TIMEOUT(grid->SelectedRows(), QList<int>{2}, kDeskMs);
        QCOMPARE(m_offered, (QStringList{birch.Name, extra}));
        QCOMPARE(Readers()->GetAnz_Leser(), 2);
        CheckTree({cedar, birch.Name});
        QVERIFY2(m_prompt->Texts().isEmpty(), qPrintable(m_prompt->Texts().join('|')));
    }
};

QTEST_MAIN(TestReaderOnline)
#include "tst_ReaderOnline.moc"
