// The main window with the reader tree: the tree's nodes, the right-hand pane following the
// selection, the language switch, the status panes and the port choice.
#include "app/CChooseCOMDlg.h"
#include "app/CMainFrame.h"
#include "app/Paths.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

namespace {

// A right-hand view that only remembers how it was loaded.
class ProbeView : public CGridBaseDlg {
public:
    CLeftTreeView::Category category;
    int loads = 0;
    ProbeView(CLeftTreeView::Category c, const ViewContext& ctx, QWidget* parent)
        : CGridBaseDlg(ctx, "99", 1000 + int(c), parent), category(c) {}
    void Load(int filter) override { ++loads; CGridBaseDlg::Load(filter); }
    int ColumnCount() const override { return 1; }
    QString ColumnTitle(int) const override { return "x"; }
    int RecordCount() const override { return 0; }
    QString RecordCellText(int, int) const override { return {}; }
};

QStringList ChildTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
    CLanguageHandler* m_lang = nullptr;
    CStoreDB_Handler* m_store = nullptr;

    QString T(uint32_t n) const { return m_lang->GetLangItem(n); }

    // A frame over the current store with probe views on the right. They are made with the
    // splitter as their parent, the hard case for the pane swap.
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(m_lang, m_store, nullptr);
        QSplitter* splitter = frame->Splitter();
        frame->Tree()->SetViewFactory([splitter](CLeftTreeView::Category c, const ViewContext& ctx, QWidget*) {
            return new ProbeView(c, ctx, splitter);
        });
        return frame;
    }
    ProbeView* Probe(CMainFrame& frame) { return dynamic_cast<ProbeView*>(frame.Tree()->RightView()); }

    template <class R, class T>
    void Fill(CStoreTable<R>* tbl, const QList<T>& values, void (*set)(R&, const T&))
    {
        QCOMPARE(DeleteRecordsWhere<R>(tbl, {}), RecordResult::Done);
        for (const T& v : values)
            QCOMPARE(AddRecord<R>(tbl, [&](R& r) { set(r, v); }), RecordResult::Done);
        QCOMPARE(tbl->_Requery(), 1);
    }
    void SetSchedules(const QStringList& names)
    {
        Fill<structZeitschema, QString>(m_store->Get_Ptr_To_tblZeitschema(), names,
                                        [](structZeitschema& z, const QString& n) { z.Name = n; z.From = "0000"; z.To = "2359"; });
    }
    void SetReaders(const QStringList& names)   // Cedars
    {
        Fill<structLeser, QString>(m_store->Get_Ptr_To_tblLeser(), names,
                                   [](structLeser& l, const QString& n) { l.Name = n; l.Model = "Cedar"; });
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = new CLanguageHandler(0, Paths::ProgramDir() + "/SysFiles/");
        m_store = new CStoreDB_Handler(m_lang);
        QVERIFY(m_store->IsDatabaseOpen());
        CLeftTreeView::SetPortQuestion([](CLeftTreeView*) { return 0; });
    }
    void cleanupTestCase()
    {
        CLeftTreeView::SetPortQuestion({});
        delete m_store;
        delete m_lang;
    }
    void init()
    {
        // A pane the splitter refuses to swap in says so only as a warning.
        QTest::failOnWarning(QRegularExpression("QSplitter"));
        Settings::WriteLanguage(0);
        m_lang->SetAktLanguage(0);
        m_lang->GetAllItems();
        SetReaders({});
        SetSchedules({});
    }

    void emptyStoreGivesRootAndFiveEmptyCategories()
    {
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->RootItem()->text(0), T(13));
        QCOMPARE(ChildTexts(tree->RootItem()), (QStringList{T(14), T(15), T(16), T(18), T(17)}));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(tree->RootItem()->child(i)->childCount(), 0);
        QCOMPARE(tree->currentItem(), tree->CategoryItem(CLeftTreeView::Readers));
        QTRY_VERIFY(Probe(*frame));   // the reader table takes the right-hand pane
        QCOMPARE(Probe(*frame)->category, CLeftTreeView::Readers);
        QCOMPARE(Probe(*frame)->loads, 1);
    }

    void scheduleNodes_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("nodes");
        QTest::newRow("one name twice") << QStringList{"Day", "Day"} << QStringList{"Day"};
        QTest::newRow("separated by another") << QStringList{"Day", "Night", "Day"} << QStringList{"Day", "Night", "Day"};
    }
    void scheduleNodes()
    {
        QFETCH(QStringList, records);
        SetSchedules(records);
        auto frame = MakeFrame();
        QTEST(ChildTexts(frame->Tree()->CategoryItem(CLeftTreeView::Schedules)), "nodes");
    }

    void selectionLoadsTheMatchingView_data()
    {
        QTest::addColumn<int>("category");   // the group the node is in
        QTest::addColumn<QString>("node");   // empty: the category itself
        QTest::addColumn<int>("filter");     // -2: the ID of reader "Gate"
        QTest::newRow("events category") << int(CLeftTreeView::Events) << "" << 0;
        QTest::newRow("events of a reader") << int(CLeftTreeView::Events) << "Gate" << -2;
        QTest::newRow("schedule by name") << int(CLeftTreeView::Schedules) << "Day" << 2;
    }
    void selectionLoadsTheMatchingView()
    {
        QFETCH(int, category);
        QFETCH(QString, node);
        QFETCH(int, filter);
        SetReaders({"Door", "Gate"});
        SetSchedules({kFullAccessDe, "Day"});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_VERIFY(Probe(*frame));
        QTreeWidgetItem* group = tree->CategoryItem(CLeftTreeView::Category(category));
        QTreeWidgetItem* item = group;
        for (int i = 0; i < group->childCount(); ++i)
            if (group->child(i)->text(0) == node)
                item = group->child(i);
        tree->setCurrentItem(item);
        QTRY_COMPARE(int(tree->CurrentCategory()), category);
        QCOMPARE(int(Probe(*frame)->category), category);
        QCOMPARE(Probe(*frame)->loads, 1);
        QCOMPARE(Probe(*frame)->Filter(), filter == -2 ? m_store->Get_Ptr_To_tblLeser()->Get_Leser(1).ID : filter);
        QCOMPARE(frame->Splitter()->count(), 2);
        QCOMPARE(frame->Splitter()->widget(0), tree);
        QCOMPARE(frame->Splitter()->widget(1), frame->RightPane());
    }

    void selectingTheRootChangesNothing()
    {
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_VERIFY(Probe(*frame));
        QWidget* pane = tree->RightPane();
        QSignalSpy changed(tree, &CLeftTreeView::RightPaneChanged);
        tree->setCurrentItem(tree->RootItem());
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(tree->RightPane(), pane);
        QCOMPARE(Probe(*frame)->loads, 1);
    }

    void englishAtOnce()
    {
        auto frame = MakeFrame();
        frame->findChild<QAction*>("actionEnglish")->trigger();
        QCOMPARE(Settings::ReadLanguage(), 1u);
        QCOMPARE(T(14), QString("Readers"));
        QCOMPARE(frame->windowTitle(), "  " + T(74));
        QCOMPARE(frame->findChild<QAction*>("actionImport")->text(), T(2));
        QCOMPARE(frame->findChild<QMenu*>("menuFile")->title(), T(1));
        QCOMPARE(ChildTexts(frame->Tree()->RootItem()), (QStringList{T(14), T(15), T(16), T(18), T(17)}));
        QVERIFY(frame->findChild<QAction*>("actionEnglish")->isChecked());
        QVERIFY(!frame->findChild<QAction*>("actionGerman")->isChecked());
    }

    void statusPanes_data()
    {
        QTest::addColumn<int>("portOpen");
        QTest::addColumn<int>("portInUse");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("port");        // after text 109
        QTest::addColumn<QList<uint>>("device");  // texts, then "---" or the reader's name
        QTest::newRow("open, no port in use") << 1 << -1 << -1 << "Offline" << QList<uint>{110};
        QTest::newRow("Alder on COM3") << 1 << 3 << 3 << "COM3" << QList<uint>{110, 225, 216};
        QTest::newRow("Cedar on COM12") << 1 << 12 << 1 << "COM12" << QList<uint>{110, 112, 216};
    }
    void statusPanes()
    {
        QFETCH(int, portOpen);
        QFETCH(int, portInUse);
        QFETCH(int, type);
        QFETCH(QString, port);
        QFETCH(QList<uint>, device);
        auto frame = MakeFrame();
        CSerialLink* link = frame->Tree()->Link();
        link->m_nPortOpen = portOpen;
        link->m_nPortInUse = portInUse;
        link->m_nInterfaceType = type;
        frame->Tree()->Controller()->SetStatusText("Door");
        QString expected;
        for (uint n : device)
            expected += T(n);
        expected += type == 1 ? "Door" : "---";   // a bus reader shows its name
        QTRY_COMPARE(frame->findChild<QLabel*>("129")->text(), T(109) + port);   // the idle update
        QCOMPARE(frame->findChild<QLabel*>("130")->text(), expected);
        QCOMPARE(frame->findChild<QAction*>("actionOnline")->isChecked(), portInUse > 0);
        link->m_nPortOpen = 0;   // no real port behind it
    }

    // The choose-interface command with the real dialog: OK stores only, connect-now also connects.
    void chooseInterface_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("connects");
        QTest::newRow("OK") << "okButton" << false;
        QTest::newRow("connect now") << "1088" << true;
    }
    void chooseInterface()
    {
        QFETCH(QString, button);
        QFETCH(bool, connects);
        ScriptedPrompt prompt;   // the failed connection's messages
        Settings::WriteAktCom(200);
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        CLeftTreeView::SetPortQuestion([&](CLeftTreeView*) {
            CChooseCOMDlg dlg(m_lang, {250, 7});
            dlg.findChild<QComboBox*>("1087")->setCurrentText("COM250");
            dlg.findChild<QPushButton*>(button)->click();
            return dlg.ConnectNow();
        });
        QSignalSpy requested(tree, &CLeftTreeView::ConnectRequested);
        QSignalSpy result(tree->Controller(), &CLinkController::ConnectResult);
        frame->findChild<QAction*>("actionChooseInterface")->trigger();
        CLeftTreeView::SetPortQuestion([](CLeftTreeView*) { return 0; });
        QCOMPARE(Settings::ReadAktCom(), 250u);
        QCOMPARE(requested.count(), connects ? 1 : 0);
        QCOMPARE(tree->RegisterOnConnect(), connects ? 1 : 0);
        if (connects)   // there is no COM250: the attempt ends without a connection
            QVERIFY(result.count() == 1 || result.wait(10000));
    }
};

QTEST_MAIN(TestMainFrame)
#include "test_mainframe.moc"
