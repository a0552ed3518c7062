#include "app/CChooseCOMDlg.h"
#include "app/CMainFrame.h"
#include "app/Paths.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "readers/CDataProgressDlg.h"
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
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

namespace {

// A right-hand view that only remembers how it was loaded.
class ProbeView : public CGridBaseDlg {
public:
    CLeftTreeView::Category category;
    int loads = 0;
    int titleRefreshes = 0;
    int onlines = 0;
    QStringList seen;
    ProbeView(CLeftTreeView::Category c, const ViewContext& ctx, QWidget* parent)
        : CGridBaseDlg(ctx, "99", 1000 + int(c), parent), category(c) {}
    void Load(int filter) override { ++loads; CGridBaseDlg::Load(filter); }
    void RefreshColumnTitles() override { ++titleRefreshes; }
    void OnReaderOnline() override { ++onlines; }
    void OnTransponderSeen(const QString& number) override { seen << number; }
    int ColumnCount() const override { return 1; }
    QString ColumnTitle(int) const override { return "x"; }
    int RecordCount() const override { return 0; }
    QString RecordCellText(int, int) const override { return {}; }
};

void InstallProbeViews(CLeftTreeView* tree)
{
    tree->SetViewFactory([](CLeftTreeView::Category c, const ViewContext& ctx, QWidget* parent) {
        return new ProbeView(c, ctx, parent);
    });
}

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
    int m_portQuestions = 0;
    int m_portAnswer = 0;

    QString T(uint32_t n) const { return m_lang->GetLangItem(n); }

    // A frame over the current store, with the port question answered by m_portAnswer.
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(m_lang, m_store, nullptr);
        InstallProbeViews(frame->Tree());
        return frame;
    }

    void SetSchedules(const QStringList& names)
    {
        CtblZeitschema* tbl = m_store->Get_Ptr_To_tblZeitschema();
        QCOMPARE(DeleteRecordsWhere<structZeitschema>(tbl, {}), RecordResult::Done);
        for (const QString& name : names)
            QCOMPARE(AddRecord<structZeitschema>(tbl, [&](structZeitschema& z) { z.Name = name; z.From = "0000"; z.To = "2359"; }),
                     RecordResult::Done);
        QCOMPARE(tbl->_Requery(), 1);
    }

    void SetReaders(const QList<QPair<QString, QString>>& readers)   // name, model
    {
        CtblLeser* tbl = m_store->Get_Ptr_To_tblLeser();
        QCOMPARE(DeleteRecordsWhere<structLeser>(tbl, {}), RecordResult::Done);
        for (const auto& r : readers)
            QCOMPARE(AddRecord<structLeser>(tbl, [&](structLeser& l) { l.Name = r.first; l.Model = r.second; }),
                     RecordResult::Done);
        QCOMPARE(tbl->_Requery(), 1);
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        Settings::WriteLanguage(0);
        m_lang = new CLanguageHandler(0, Paths::ProgramDir() + "/SysFiles/");
        QVERIFY(m_lang->IsLoaded());
        m_store = new CStoreDB_Handler(m_lang);
        QVERIFY(m_store->IsDatabaseOpen());
        CLeftTreeView::SetPortQuestion([this](CLeftTreeView*) { ++m_portQuestions; return m_portAnswer; });
    }
    void cleanupTestCase()
    {
        CLeftTreeView::SetPortQuestion({});
        delete m_store;
        delete m_lang;
    }
    void init()
    {
        m_portQuestions = 0;
        m_portAnswer = 0;
        Settings::WriteLanguage(0);
        m_lang->SetAktLanguage(0);
        m_lang->GetAllItems();
        SetReaders({});
        SetSchedules({kFullAccessDe, kFullAccessDe, kFullAccessDe, kFullAccessDe});
    }

    void emptyStoreGivesRootAndFiveEmptyCategories()
    {
        SetSchedules({});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->RootItem()->text(0), T(13));
        QCOMPARE(ChildTexts(tree->RootItem()), (QStringList{T(14), T(15), T(16), T(18), T(17)}));
        for (int i = 0; i < 5; ++i)
            QCOMPARE(tree->RootItem()->child(i)->childCount(), 0);
        QCOMPARE(tree->currentItem(), tree->CategoryItem(CLeftTreeView::Readers));
        // ... and the reader table takes the right-hand pane
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Readers);
        QCOMPARE(static_cast<ProbeView*>(tree->RightView())->loads, 1);
        QCOMPARE(frame->width(), 1212);
        QCOMPARE(frame->height(), 874);
    }

    void scheduleNodes_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<uint>("language");
        QTest::addColumn<QStringList>("nodes");
        QTest::newRow("one name twice") << QStringList{"Day", "Day"} << 0u << QStringList{"Day"};
        QTest::newRow("separated by another") << QStringList{"Day", "Night", "Day"} << 0u
                                              << QStringList{"Day", "Night", "Day"};
        QTest::newRow("built-in in German") << QStringList{kFullAccessDe, kFullAccessDe, "Day"} << 0u
                                            << QStringList{kFullAccessDe, "Day"};
        QTest::newRow("built-in in English") << QStringList{kFullAccessDe, "Day"} << 1u
                                             << QStringList{"@81", "Day"};
    }
    void scheduleNodes()
    {
        QFETCH(QStringList, records);
        QFETCH(uint, language);
        QFETCH(QStringList, nodes);
        Settings::WriteLanguage(language);
        m_lang->SetAktLanguage(language);
        m_lang->GetAllItems();
        nodes.replaceInStrings("@81", T(81));
        SetSchedules(records);
        auto frame = MakeFrame();
        QCOMPARE(ChildTexts(frame->Tree()->CategoryItem(CLeftTreeView::Schedules)), nodes);
    }

    void readerNodesLeaveOutAlder()
    {
        SetReaders({{"Door", "Cedar"}, {"Desk", "Alder"}, {"Gate", "Birch"}});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        for (auto c : {CLeftTreeView::Transponders, CLeftTreeView::Persons, CLeftTreeView::Events})
            QCOMPARE(ChildTexts(tree->CategoryItem(c)), (QStringList{"Door", "Gate"}));
        QCOMPARE(tree->CategoryItem(CLeftTreeView::Readers)->childCount(), 0);

        tree->RenameReaderNodes("Gate", "Yard");
        tree->AddReaderNodes("Hall");
        tree->RemoveReaderNodes("Door");
        for (auto c : {CLeftTreeView::Transponders, CLeftTreeView::Persons, CLeftTreeView::Events})
            QCOMPARE(ChildTexts(tree->CategoryItem(c)), (QStringList{"Yard", "Hall"}));
        tree->RemoveAllReaderNodes();
        for (auto c : {CLeftTreeView::Transponders, CLeftTreeView::Persons, CLeftTreeView::Events})
            QCOMPARE(tree->CategoryItem(c)->childCount(), 0);
    }

    void rebuildKeepsTheBuiltInSchedule()
    {
        SetReaders({{"Door", "Cedar"}});
        SetSchedules({kFullAccessDe, kFullAccessDe, "Day"});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        SetReaders({{"Gate", "Maple"}});
        SetSchedules({kFullAccessDe, "Night"});
        tree->RebuildTreeChildren();
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Events)), QStringList{"Gate"});
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), (QStringList{T(81), "Night"}));
    }

    void selectionLoadsTheMatchingView_data()
    {
        QTest::addColumn<int>("category");   // the group the node is in
        QTest::addColumn<QString>("node");   // empty: the category itself
        QTest::addColumn<int>("filter");     // -1: created but not loaded
        QTest::newRow("events category") << int(CLeftTreeView::Events) << "" << 0;
        QTest::newRow("events of a reader") << int(CLeftTreeView::Events) << "Gate" << -2;
        QTest::newRow("persons of a reader") << int(CLeftTreeView::Persons) << "Door" << -3;
        QTest::newRow("transponders category") << int(CLeftTreeView::Transponders) << "" << 0;
        QTest::newRow("schedule by name") << int(CLeftTreeView::Schedules) << "Day" << 5;
        QTest::newRow("built-in schedule") << int(CLeftTreeView::Schedules) << "@81" << 1;
    }
    void selectionLoadsTheMatchingView()
    {
        QFETCH(int, category);
        QFETCH(QString, node);
        QFETCH(int, filter);
        SetReaders({{"Door", "Cedar"}, {"Gate", "Maple"}});
        SetSchedules({kFullAccessDe, kFullAccessDe, kFullAccessDe, kFullAccessDe, "Day"});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Readers);
        if (filter == -2 || filter == -3)   // the reader's ID
            filter = m_store->Get_Ptr_To_tblLeser()->Get_Leser(filter == -2 ? 1 : 0).ID;

        QTreeWidgetItem* group = tree->CategoryItem(CLeftTreeView::Category(category));
        QTreeWidgetItem* item = group;
        if (node == "@81")
            item = group->child(0);
        else if (!node.isEmpty())
            for (int i = 0; i < group->childCount(); ++i)
                if (group->child(i)->text(0) == node)
                    item = group->child(i);
        QVERIFY(item != group || node.isEmpty());
        QWidget* before = tree->RightPane();
        tree->setCurrentItem(item);
        QTRY_VERIFY(tree->RightPane() != before);
        auto* view = dynamic_cast<ProbeView*>(tree->RightView());
        QVERIFY(view);
        QCOMPARE(int(view->category), category);
        QCOMPARE(view->loads, 1);
        QCOMPARE(view->Filter(), filter);
        QCOMPARE(frame->RightPane(), tree->RightPane());
        QCOMPARE(frame->Splitter()->count(), 2);
        QCOMPARE(frame->Splitter()->widget(0), tree);
    }

    void selectingTheRootChangesNothing()
    {
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Readers);
        QWidget* pane = tree->RightPane();
        QSignalSpy changed(tree, &CLeftTreeView::RightPaneChanged);
        tree->setCurrentItem(tree->RootItem());
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 0);
        QCOMPARE(tree->RightPane(), pane);
        tree->setCurrentItem(tree->CategoryItem(CLeftTreeView::Persons));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(tree->CurrentCategory(), CLeftTreeView::Persons);
        QVERIFY(tree->RightPane() != pane);
        pane = tree->RightPane();
        tree->setCurrentItem(tree->RootItem());
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(tree->RightPane(), pane);
    }

    void englishAtOnce()
    {
        SetSchedules({kFullAccessDe, kFullAccessDe, "Day"});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Readers);
        auto* view = static_cast<ProbeView*>(tree->RightView());
        QCOMPARE(frame->windowTitle(), "  " + T(74));

        frame->findChild<QAction*>("actionEnglish")->trigger();
        QCOMPARE(Settings::ReadLanguage(), 1u);
        QCOMPARE(frame->windowTitle(), QString("  Velmoro Manager"));
        QCOMPARE(frame->findChild<QAction*>("actionImport")->text(), T(2));
        QCOMPARE(frame->findChild<QAction*>("actionExit")->text(), T(4));
        QCOMPARE(frame->findChild<QMenu*>("menuFile")->title(), T(1));
        QCOMPARE(T(14), QString("Readers"));
        QCOMPARE(tree->RootItem()->text(0), T(13));
        QCOMPARE(ChildTexts(tree->RootItem()), (QStringList{T(14), T(15), T(16), T(18), T(17)}));
        QCOMPARE(tree->CategoryItem(CLeftTreeView::Schedules)->child(0)->text(0), T(81));
        QVERIFY(frame->findChild<QAction*>("actionEnglish")->isChecked());
        QVERIFY(!frame->findChild<QAction*>("actionGerman")->isChecked());
        QCOMPARE(view->titleRefreshes, 1);
        // the cached built-in schedule follows the language; the stored one does not
        QCOMPARE(m_store->Get_Ptr_To_tblZeitschema()->Get_Zeitschema(0).Name, kFullAccessEn);

        frame->findChild<QAction*>("actionGerman")->trigger();
        QCOMPARE(frame->windowTitle(), QString("  Velmora Manager"));
        QCOMPARE(m_store->Get_Ptr_To_tblZeitschema()->Get_Zeitschema(0).Name, kFullAccessDe);
        QVERIFY(frame->findChild<QAction*>("actionGerman")->isChecked());
    }

    void transponderTableFollowsTheLanguage()
    {
        SetReaders({{"Door", "Cedar"}});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        tree->setCurrentItem(tree->CategoryItem(CLeftTreeView::Transponders)->child(0));
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Transponders);
        auto* view = static_cast<ProbeView*>(tree->RightView());
        QVERIFY(view->Filter() > 0);
        frame->SetLanguage(1);
        QCOMPARE(view->loads, 2);
        QCOMPARE(view->Filter(), 0);   // reloaded for all readers
    }

    void linkNewsReachTheRightPane()
    {
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTRY_COMPARE(tree->CurrentCategory(), CLeftTreeView::Readers);
        auto* view = static_cast<ProbeView*>(tree->RightView());
        CLinkController* link = tree->Controller();

        emit link->ReaderOnline();
        QCOMPARE(view->onlines, 0);   // posted: after the connection handling has returned
        QTRY_COMPARE(view->onlines, 1);
        emit link->TransponderSeen("0A1B2C3D4E");
        QCOMPARE(view->seen, QStringList{"0A1B2C3D4E"});

        auto progressWindows = [] {
            int n = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                n += qobject_cast<CDataProgressDlg*>(w) && w->isVisible();
            return n;
        };
        emit link->ConnectProgressShow("COM3", 5, 1);
        emit link->ConnectProgressShow("COM3", 5, 2);
        QCOMPARE(progressWindows(), 1);
        emit link->ConnectProgressHide();
        QTRY_COMPARE(progressWindows(), 0);
    }

    void statusPanes_data()
    {
        QTest::addColumn<int>("portOpen");
        QTest::addColumn<int>("portInUse");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("port");       // after text 109
        QTest::addColumn<QList<uint>>("device");  // texts, then "---" or the reader's name
        QTest::addColumn<bool>("online");
        QTest::newRow("open, no port in use") << 1 << -1 << -1 << "Offline" << QList<uint>{110} << false;
        QTest::newRow("closed") << 0 << 4 << -1 << "Offline" << QList<uint>{110} << false;
        QTest::newRow("Alder on COM3") << 1 << 3 << 3 << "COM3" << QList<uint>{110, 225, 216} << true;
        QTest::newRow("Birch on COM12") << 1 << 12 << 0 << "COM12" << QList<uint>{110, 111, 216} << true;
        QTest::newRow("Cedar") << 1 << 1 << 1 << "COM1" << QList<uint>{110, 112, 216} << true;
        QTest::newRow("Maple") << 1 << 2 << 2 << "COM2" << QList<uint>{110, 113, 216} << true;
        QTest::newRow("Rowan") << 1 << 1 << 4 << "COM1" << QList<uint>{110, 237, 216} << true;
        QTest::newRow("other type") << 1 << 1 << 9 << "COM1" << QList<uint>{110} << true;
    }
    void statusPanes()
    {
        QFETCH(int, portOpen);
        QFETCH(int, portInUse);
        QFETCH(int, type);
        QFETCH(QString, port);
        QFETCH(QList<uint>, device);
        QFETCH(bool, online);
        auto frame = MakeFrame();
        CSerialLink* link = frame->Tree()->Link();
        link->m_nPortOpen = portOpen;
        link->m_nPortInUse = portInUse;
        link->m_nInterfaceType = type;
        frame->Tree()->Controller()->SetStatusText("Door");
        QString expected;
        for (uint n : device)
            expected += T(n);
        // bus readers show the connected reader's name, the others "---"
        expected += device.size() == 3 && type != 0 && type != 3 ? "Door" : "---";
        QTRY_COMPARE(frame->findChild<QLabel*>("129")->text(), T(109) + port);   // the idle update
        QCOMPARE(frame->findChild<QLabel*>("130")->text(), expected);
        QCOMPARE(frame->findChild<QAction*>("actionOnline")->isChecked(), online);
        QCOMPARE(frame->findChild<QAction*>("actionOffline")->isChecked(), !online);
        QCOMPARE(frame->findChild<QLabel*>("129")->width(), 150);
        QCOMPARE(frame->findChild<QLabel*>("130")->width(), 320);
        link->m_nPortOpen = 0;   // no real port behind it
        link->m_nInterfaceType = -1;
    }

    void tagDisplay()
    {
        auto frame = MakeFrame();
        QLabel* tag = frame->findChild<QLabel*>("tagDisplay");
        QVERIFY(tag);
        QCOMPARE(tag->text(), T(201));
        QCOMPARE(tag->palette().color(QPalette::Window), QColor(255, 255, 212));
        QCOMPARE(tag->palette().color(QPalette::WindowText), QColor(50, 50, 255));
        QVERIFY(tag->font().bold());
        QCOMPARE(tag->font().pixelSize(), 20);
        emit frame->Tree()->Controller()->TagDisplayChanged(T(201) + "0102030405");
        QCOMPARE(tag->text(), T(201) + "0102030405");
    }

    void portQuestionOnceAtStart()
    {
        auto frame = MakeFrame();
        QCOMPARE(m_portQuestions, 0);   // posted, not asked during construction
        QTRY_COMPARE(m_portQuestions, 1);
        QCoreApplication::processEvents();
        QCOMPARE(m_portQuestions, 1);
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
        QTRY_COMPARE(m_portQuestions, 1);
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
        CLeftTreeView::SetPortQuestion([this](CLeftTreeView*) { ++m_portQuestions; return m_portAnswer; });

        QCOMPARE(Settings::ReadAktCom(), 250u);
        QCOMPARE(requested.count(), connects ? 1 : 0);
        QCOMPARE(tree->RegisterOnConnect(), connects ? 1 : 0);
        if (connects)   // there is no COM250: the attempt ends without a connection
            QVERIFY(result.wait(10000) || result.count() == 1);
        QCOMPARE(tree->Link()->m_nPortOpen.load(), 0);
    }

    void onlineAsksToRegister()
    {
        ScriptedPrompt prompt;
        Settings::WriteAktCom(201);
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QSignalSpy result(tree->Controller(), &CLinkController::ConnectResult);
        frame->findChild<QAction*>("actionOnline")->trigger();
        QCOMPARE(tree->RegisterOnConnect(), 1);
        QVERIFY(result.wait(10000) || result.count() == 1);
        QCOMPARE(result.first().first().toBool(), false);
        QTRY_VERIFY(!frame->findChild<QAction*>("actionOnline")->isChecked());
        QVERIFY(frame->findChild<QAction*>("actionOffline")->isChecked());
    }

    void commandsNotThereYetSaySo_data()
    {
        QTest::addColumn<QString>("action");
        for (const char* a : {"actionImport", "actionExport", "actionBackup", "actionRestore", "actionDeleteAll"})
            QTest::newRow(a) << QString(a);
    }
    void commandsNotThereYetSaySo()
    {
        QFETCH(QString, action);
        ScriptedPrompt prompt;
        auto frame = MakeFrame();
        frame->findChild<QAction*>(action)->trigger();
        QCOMPARE(int(prompt.Log().size()), 1);
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Information);
        QVERIFY(prompt.Log().front().text.contains("noch nicht"));

        bool ran = false;
        frame->SetCommandHandler(CMainFrame::Command::Import, [&](CMainFrame&) { ran = true; });
        frame->findChild<QAction*>("actionImport")->trigger();
        QVERIFY(ran);
    }

    void helpFileMissingIsReported()
    {
        ScriptedPrompt prompt;
        auto frame = MakeFrame();
        frame->findChild<QAction*>("actionHelp")->trigger();
        QCOMPARE(int(prompt.Log().size()), 1);
        QVERIFY(prompt.Log().front().text.contains("Velmora ManagerDEU.chm"));
        QCOMPARE(CMainFrame::HelpFileName(1), QString("Velmora ManagerENG.chm"));
    }
};

QTEST_MAIN(TestMainFrame)
#include "test_mainframe.moc"
