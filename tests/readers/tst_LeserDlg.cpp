// The reader table as the user meets it: columns and cells, the context menu's labels and
// enabling rules, delete / delete all / rename with the tree kept in step, insert entry
// restarting the link, and the commands that are not there yet saying so.
#include "ReaderTestSupport.h"
#include "app/CMainFrame.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"
#include "readers/CChooseReaderDlg.h"
#include "readers/CLeserDlg.h"
#include "support/TestEnv.h"
#include "tree/CLeftTreeView.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace ReaderTest;

namespace {
QStringList ChildTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; item && i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}
const QColor kGrey(185, 185, 185);
const QStringList kReaderCommands{"actionReadEvents", "actionDeleteReaderEvents", "actionFetchAllData",
                                  "actionWriteAllData"};
} // namespace

class TestLeserDlg : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<CMainFrame> m_frame;

    CLeserDlg* Table() const { return qobject_cast<CLeserDlg*>(m_frame->RightPane()); }
    CGridCtrl* Grid() const { return Table()->Grid(); }
    CSerialLink* Link() const { return m_frame->Tree()->Link(); }
    QString T(int n) const { return m_lang->GetLangItem(n); }

    // Readers, in this order: Cedar C1, Birch B1, Maple M1, Alder A1 (no tree nodes), Rowan R1.
    void FillReaders()
    {
        ClearTables(*m_store);
        AddReader(*m_store, "C1", "Cedar", "CEDAR000000000000001");
        AddReader(*m_store, "B1", "Birch");
        AddReader(*m_store, "M1", "Maple", "MAPLE000000000000001");
        AddReader(*m_store, "A1", "Alder");
        AddReader(*m_store, "R1", "Rowan", "ROWAN000000000000001");
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        m_frame->Tree()->RebuildTreeChildren();
        // Rebuilding the tree may move its current node and post a pane switch; let it happen
        // before the test holds on to the table.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Table()->Load(0);
    }

    QMenu* OpenMenu(int row, const QList<int>& selected)
    {
        Grid()->ClearSelection();
        for (int r : selected)
            Grid()->SetRowSelected(r, true);
        Table()->ShowContextMenu(row, CLeserDlg::ColName, QPoint());
        return Table()->LastContextMenu();
    }

    static QAction* Item(QMenu* menu, const QString& name) { return menu->findChild<QAction*>(name); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        Settings::WriteLanguage(1);
        Settings::WriteAktCom(250);   // nothing there
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        CLeftTreeView::SetAskPortAtStart(false);
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
        m_frame = std::make_unique<CMainFrame>(m_lang.get(), m_store.get(), nullptr);
        m_frame->show();
        QTRY_VERIFY(Table());
    }
    void cleanupTestCase() { m_frame.reset(); }

    void init()
    {
        FillReaders();
        Link()->m_nInterfaceType = -1;
        Link()->m_nPortInUse = -1;
    }

    void columns()
    {
        QCOMPARE(Grid()->objectName(), QStringLiteral("1003"));
        QCOMPARE(Grid()->ColumnCount(), 8);
        QCOMPARE(Grid()->RowCount(), 6);
        const QStringList titles{T(20), T(31), T(58), T(28), T(30), T(29), QString()};
        const QList<int> widths{30, 45, 80, 155, 130, 50, 80};
        for (int c = 1; c <= 7; ++c) {
            QCOMPARE(Grid()->CellText(0, c), titles[c - 1]);
            QCOMPARE(Grid()->ColumnWidth(c), widths[c - 1]);
        }
        QCOMPARE(Grid()->ColumnKind(CLeserDlg::ColChanged), CGridCtrl::CellKind::Check);
        QCOMPARE(Grid()->ColumnKind(CLeserDlg::ColButton), CGridCtrl::CellKind::Button);
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColPosition), QStringLiteral("3"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColChanged), QStringLiteral("0"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColModel), T(14) + QStringLiteral(": Maple"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColName), QStringLiteral("M1"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColIdentity), QStringLiteral("MAPLE000000000000001"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColInfo), QStringLiteral("MA"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColButton), T(59));
    }

    void greyCells_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<bool>("editable");
        for (int c : {1, 2, 3, 5, 6})
            QTest::addRow("column %d", c) << 2 << c << true << false;
        QTest::newRow("name") << 2 << 4 << false << true;
        QTest::newRow("button of a Birch") << 2 << 7 << false << true;
        QTest::newRow("button of an Alder") << 4 << 7 << true << true;
    }
    void greyCells()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(bool, grey);
        QFETCH(bool, editable);
        QCOMPARE(Table()->CellBackground(row, col) == kGrey, grey);
        QCOMPARE(Table()->IsCellEditable(row, col), editable);
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("row");                 // row under the cursor
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("interfaceType");       // what the link says is connected
        QTest::addColumn<int>("model");
        QTest::addColumn<uint>("deleteText");
        QTest::addColumn<bool>("deleteEnabled");
        QTest::addColumn<bool>("fetchWriteEnabled");
        QTest::newRow("Cedar row, offline") << 1 << QList<int>{1} << -1 << 0 << 62u << true << false;
        QTest::newRow("nothing selected") << 3 << QList<int>{} << -1 << 1 << 62u << false << false;
        QTest::newRow("two selected") << 5 << QList<int>{2, 5} << -1 << 4 << 67u << true << false;
        QTest::newRow("three selected") << 5 << QList<int>{1, 2, 5} << -1 << 4 << 67u << true << false;
        QTest::newRow("Birch with a desk Birch connected") << 2 << QList<int>{2} << 0 << 2 << 62u << true << true;
        QTest::newRow("Birch with an Alder connected") << 2 << QList<int>{2} << 3 << 2 << 62u << true << false;
        QTest::newRow("Alder with a desk Birch connected") << 4 << QList<int>{4} << 0 << 3 << 62u << true << false;
        QTest::newRow("header row") << 0 << QList<int>{2} << 0 << 0 << 62u << true << false;
        QTest::newRow("below the last row") << -1 << QList<int>{2} << 0 << 0 << 62u << true << false;
    }
    void contextMenu()
    {
        QFETCH(int, row);
        QFETCH(QList<int>, selected);
        QFETCH(int, interfaceType);
        QFETCH(int, model);
        QFETCH(uint, deleteText);
        QFETCH(bool, deleteEnabled);
        QFETCH(bool, fetchWriteEnabled);
        Link()->m_nInterfaceType = interfaceType;
        QMenu* menu = OpenMenu(row, selected);
        QCOMPARE(Table()->ModelNumber(), model);

        const QList<QPair<QString, uint>> labels{{"actionInsertEntry", 61}, {"actionDeleteEntry", deleteText},
                                                 {"actionDeleteAllEntries", 63}, {"actionReadEvents", 156},
                                                 {"actionDeleteReaderEvents", 157}, {"actionFetchAllData", 158},
                                                 {"actionWriteAllData", 159}};
        for (const auto& [name, text] : labels) {
            QVERIFY2(Item(menu, name), qPrintable(name));
            QCOMPARE(Item(menu, name)->text(), T(int(text)));
        }
        QVERIFY(Item(menu, "actionInsertEntry")->isEnabled());
        QCOMPARE(Item(menu, "actionDeleteEntry")->isEnabled(), deleteEnabled);
        QVERIFY(Item(menu, "actionDeleteAllEntries")->isEnabled());
        // Offline the identity check never passes: no event commands.
        QVERIFY(!Item(menu, "actionReadEvents")->isEnabled());
        QVERIFY(!Item(menu, "actionDeleteReaderEvents")->isEnabled());
        QCOMPARE(Item(menu, "actionFetchAllData")->isEnabled(), fetchWriteEnabled);
        QCOMPARE(Item(menu, "actionWriteAllData")->isEnabled(), fetchWriteEnabled);
    }

    void unknownTypeKeepsThePreviousModel()
    {
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_store->Get_Ptr_To_tblLeser()->Get_Leser(4).ID,
                       [](structLeser& r) { r.Model = "Oak"; });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        OpenMenu(3, {3});
        QCOMPARE(Table()->ModelNumber(), 1);     // Maple
        OpenMenu(5, {5});
        QCOMPARE(Table()->ModelNumber(), 1);     // "Oak" names no model
        QCOMPARE(Table()->SelectedReaderName(), QStringLiteral("R1"));
    }

    void emptyTableOffersOnlyInsert()
    {
        ClearTables(*m_store);
        Table()->Load(0);
        QMenu* menu = OpenMenu(1, {});
        QVERIFY(Item(menu, "actionInsertEntry")->isEnabled());
        QVERIFY(!Item(menu, "actionDeleteEntry")->isEnabled());
        QVERIFY(!Item(menu, "actionDeleteAllEntries")->isEnabled());
        for (const QString& name : kReaderCommands)
            QVERIFY(!Item(menu, name)->isEnabled());
    }

    void deleteSelectedReaders()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(false);
        QMenu* menu = OpenMenu(2, {1, 2});
        Item(menu, "actionDeleteEntry")->trigger();
        QTRY_COMPARE(prompt.Texts(), (QStringList{T(68), T(70)}));
        QTRY_COMPARE(Grid()->RowCount(), 4);
        QCOMPARE(prompt.Texts(), (QStringList{T(68), T(70)}));
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColName), QStringLiteral("M1"));
        QCOMPARE(Grid()->CellText(1, CLeserDlg::ColPosition), QStringLiteral("1"));
        QVERIFY(Grid()->SelectedRows().isEmpty());
        QCOMPARE(Table()->Busy(), 0);
        QCOMPARE(ChildTexts(m_frame->Tree()->CategoryItem(CLeftTreeView::Persons)), (QStringList{"M1", "R1"}));
    }

    void deleteAllReaders()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(true);
        Item(OpenMenu(1, {}), "actionDeleteAllEntries")->trigger();
        QTRY_COMPARE(Grid()->RowCount(), 1);
        QCOMPARE(prompt.Texts(), (QStringList{T(64), T(71)}));
        QVERIFY(ChildTexts(m_frame->Tree()->CategoryItem(CLeftTreeView::Events)).isEmpty());
        QCOMPARE(StoredReaderNames(*m_store).size(), 0);
    }

    void renameInTheNameColumn()
    {
        Table()->EndEdit(3, CLeserDlg::ColName, QStringLiteral("Gate"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColName), QStringLiteral("Gate"));
        QCOMPARE(StoredReaderNames(*m_store).at(2), QStringLiteral("Gate"));
        for (auto category : {CLeftTreeView::Transponders, CLeftTreeView::Persons, CLeftTreeView::Events})
            QCOMPARE(ChildTexts(m_frame->Tree()->CategoryItem(category)), (QStringList{"C1", "B1", "Gate", "R1"}));

        // Other columns are not renames.
        Table()->EndEdit(3, CLeserDlg::ColInfo, QStringLiteral("zz"));
        QCOMPARE(StoredReaderNames(*m_store).at(2), QStringLiteral("Gate"));
        QCOMPARE(Grid()->CellText(3, CLeserDlg::ColInfo), QStringLiteral("MA"));
    }

    void commandsNotThereYetSaySo()
    {
        ScriptedPrompt prompt;
        Table()->OnButton(2, CLeserDlg::ColButton);
        Table()->OnCommand(CLeserDlg::CmdReadEvents);
        Table()->OnCommand(CLeserDlg::CmdWriteAll);
        QCOMPARE(prompt.Log().size(), size_t(3));
        for (const auto& shown : prompt.Log()) {
            QVERIFY(shown.text.contains(QStringLiteral("not available yet")));
            QCOMPARE(shown.icon, PromptIcon::Information);
        }
    }

    void insertEntryRestartsTheLink()
    {
        ScriptedPrompt prompt;   // the connection to the empty port fails with a message
        QSignalSpy connect(m_frame->Tree(), &CLeftTreeView::ConnectRequested);
        QSignalSpy result(m_frame->Tree()->Controller(), &CLinkController::ConnectResult);
        Item(OpenMenu(1, {}), "actionInsertEntry")->trigger();
        QTRY_COMPARE(connect.count(), 1);
        QCOMPARE(Table()->RegistrationRequested(), 1);
        QCOMPARE(m_frame->Tree()->RegisterOnConnect(), 1);
        QCOMPARE(Grid()->RowCount(), 6);   // no blank row
        QVERIFY(result.wait(10000));
        QCOMPARE(result.first().first().toBool(), false);
    }

    void choiceList()
    {
        CChooseReaderDlg dlg(m_lang.get(), {"B1", "B2"}, T(123));
        QCOMPARE(dlg.windowTitle(), T(121));
        auto* list = dlg.findChild<QListWidget*>(QStringLiteral("1036"));
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("1"));
        auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("2"));
        QVERIFY(list && ok && cancel);
        QCOMPARE(cancel->text(), T(122));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->text(), T(123));
        QVERIFY(!ok->isEnabled());
        list->setCurrentRow(1);
        QVERIFY(ok->isEnabled());
        ok->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.ChosenText(), QStringLiteral("B2"));

        CChooseReaderDlg cancelled(m_lang.get(), {}, T(224));
        cancelled.findChild<QListWidget*>(QStringLiteral("1036"))->setCurrentRow(0);
        cancelled.findChild<QPushButton*>(QStringLiteral("2"))->click();
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        QCOMPARE(cancelled.ChosenText(), QString());
    }

    void readerOnlineWithoutRequestDoesNothing()
    {
        ScriptedPrompt prompt;
        m_frame->Tree()->SetRegisterOnConnect(0);
        if (Table()->RegistrationRequested()) {
            // Clear the view's own request with a registration that finds nothing at the port.
            Link()->m_nInterfaceType = -1;
            m_frame->Tree()->SetRegisterOnConnect(1);
            Table()->OnReaderOnline();
        }
        QCOMPARE(Table()->RegistrationRequested(), 0);
        QCOMPARE(m_frame->Tree()->RegisterOnConnect(), 0);
        Link()->m_nInterfaceType = 1;   // a bus reader: a registration would ask and fail visibly
        Table()->OnReaderOnline();
        Link()->m_nInterfaceType = -1;
        QVERIFY(prompt.Texts().isEmpty());
        QCOMPARE(Grid()->RowCount(), 6);
    }
};

QTEST_MAIN(TestLeserDlg)
#include "tst_LeserDlg.moc"
