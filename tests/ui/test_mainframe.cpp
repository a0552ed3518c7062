// The main window with the reader tree: the tree's nodes, the right-hand pane following the
// selection, the language switch (Qt's own buttons too), mnemonics that do not clash within a
// menu or a dialog, and the port choice with its port list.
#include "app/CAboutDlg.h"
#include "app/CChooseCOMDlg.h"
#include "app/GuiPrompt.h"
#include "exchange/CExportDataDlg.h"
#include "exchange/CImportDataDlg.h"
#include "exchange/CImportErrorDlg.h"
#include "params/CCheckMTransDlg.h"
#include "params/CParamBirchDlg.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/CSendBirchDlg.h"
#include "params/CUsbManuell.h"
#include "readers/CChooseReaderDlg.h"
#include "readers/CReadEventsDlg.h"
#include "views/CTransponderDlg.h"
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "link/CLinkController.h"
#include "records/RecordOps.h"
#include "records/StoreLocation.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
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

// Texts of one menu or dialog whose mnemonics (the letter after a single "&") clash, as
// "where: 'a' in X and Y"; a menu's submenus are checked on their own.
QStringList Clashes(const QString& where, const QStringList& texts)
{
    QStringList clashes;
    QHash<QChar, QString> seen;
    for (const QString& text : texts) {
        const QRegularExpressionMatch m = QRegularExpression("(?:^|[^&])(?:&&)*&([^&])").match(text);
        if (!m.hasMatch())
            continue;
        const QChar c = m.captured(1).at(0).toLower();
        if (seen.contains(c))
            clashes << QStringLiteral("%1: '%2' in \"%3\" and \"%4\"").arg(where, c, seen[c], text);
        else
            seen.insert(c, text);
    }
    return clashes;
}
QStringList MenuClashes(const QString& where, const QMenu* menu)
{
    QStringList texts, clashes;
    for (const QAction* action : menu->actions()) {
        texts << action->text();
        if (action->menu())
            clashes << MenuClashes(where + " > " + action->text(), action->menu());
    }
    return Clashes(where, texts) + clashes;
}
QStringList DialogClashes(const QWidget& dialog)
{
    QStringList texts;
    for (const QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
        texts << b->text();
    for (const QLabel* l : dialog.findChildren<QLabel*>())
        texts << l->text();
    for (const QGroupBox* g : dialog.findChildren<QGroupBox*>())
        texts << g->title();
    return Clashes(dialog.metaObject()->className(), texts);
}

// Asks a question through the program's message box and presses Alt with the letter given:
// the box's button texts, and whether the question was answered Yes.
std::pair<QStringList, bool> AskAndPress(const QString& question, Qt::Key letter)
{
    GuiPrompt prompt;
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        box->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(box));
        QTimer::singleShot(3000, box, &QMessageBox::reject);   // a box the mnemonic missed goes
        QTest::keyClick(box, letter, Qt::AltModifier);
    });
    const bool yes = AskYesNo(question);
    buttons.sort();
    return {buttons, yes};
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
    VmTest::WindowFixture w;

    // A frame over the current store with probe views on the right. They are made with the
    // splitter as their parent, the hard case for the pane swap.
    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = w.NewFrame();
        QSplitter* splitter = frame->Splitter();
        frame->Tree()->SetViewFactory([splitter](CLeftTreeView::Category c, const ViewContext& ctx, QWidget*) {
            return new ProbeView(c, ctx, splitter);
        });
        return frame;
    }
    ProbeView* Probe(CMainFrame& frame) { return dynamic_cast<ProbeView*>(frame.Tree()->RightView()); }

    // Cedar readers and schedule records with these names, and nothing else.
    void SetRecords(const QStringList& readers, const QStringList& schedules)
    {
        CtblLeser* leser = w.store->Get_Ptr_To_tblLeser();
        CtblZeitschema* windows = w.store->Get_Ptr_To_tblZeitschema();
        QCOMPARE(DeleteRecordsWhere(leser, {}), RecordResult::Done);
        QCOMPARE(DeleteRecordsWhere(windows, {}), RecordResult::Done);
        for (const QString& name : readers)
            AddRecord(leser, [&](structLeser& l) { l.Name = name; l.Model = "Cedar"; });
        for (const QString& name : schedules)
            AddRecord(windows, [&](structZeitschema& z) { z.Name = name; });
        QVERIFY(leser->_Requery() && windows->_Requery());
    }

private slots:
    void initTestCase() { QVERIFY(w.Open(0)); }
    void init()
    {
        // A pane the splitter refuses to swap in says so only as a warning.
        QTest::failOnWarning(QRegularExpression("QSplitter"));
        w.SetLanguage(0);
        SetRecords({}, {});
    }

    // The root, its five categories in their order, and a schedule node per run of one name.
    // The reader table takes the right-hand pane.
    void treeOfTheStore_data()
    {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("nodes");
        QTest::newRow("empty store") << QStringList{} << QStringList{};
        QTest::newRow("one name twice") << QStringList{"Day", "Day"} << QStringList{"Day"};
        QTest::newRow("separated by another") << QStringList{"Day", "Night", "Day"}
                                              << QStringList{"Day", "Night", "Day"};
    }
    void treeOfTheStore()
    {
        QFETCH(QStringList, records);
        SetRecords({}, records);
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->RootItem()->text(0), w.T(13));
        QCOMPARE(ChildTexts(tree->RootItem()), (QStringList{w.T(14), w.T(15), w.T(16), w.T(18), w.T(17)}));
        QTEST(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), "nodes");
        using Tree = CLeftTreeView;
        for (auto c : {Tree::Readers, Tree::Transponders, Tree::Persons, Tree::Events})
            QCOMPARE(tree->CategoryItem(c)->childCount(), 0);
        QCOMPARE(tree->currentItem(), tree->CategoryItem(CLeftTreeView::Readers));
        QTRY_VERIFY(Probe(*frame));
        QCOMPARE(Probe(*frame)->category, CLeftTreeView::Readers);
        QCOMPARE(Probe(*frame)->loads, 1);
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
        SetRecords({"Door", "Gate"}, {kFullAccessDe, "Day"});
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
        QCOMPARE(Probe(*frame)->Filter(), filter == -2 ? w.store->Get_Ptr_To_tblLeser()->Get_Leser(1).ID : filter);
        QCOMPARE(frame->Splitter()->count(), 2);
        QCOMPARE(frame->Splitter()->widget(0), tree);
        QCOMPARE(frame->Splitter()->widget(1), frame->RightPane());
    }

    // F5 in the tree reads the store again: readers and schedules another station changed in
    // the same database appear in the tree, the table shown stays when its node is still there
    // and gives way to its group's table when the other station deleted it.
    void refreshShowsOtherStation_data()
    {
        QTest::addColumn<QString>("shown");           // a node under Events
        QTest::addColumn<QString>("otherAdds");        // reader the other station adds, or empty
        QTest::addColumn<QString>("otherDeletes");     // reader it deletes, or empty
        QTest::addColumn<QStringList>("readerNodes");  // the Events group's children afterwards
        QTest::addColumn<QString>("selected");         // the node selected afterwards
        QTest::newRow("reader added") << "Door" << "Gate" << "" << QStringList{"Door", "Yard", "Gate"} << "Door";
        QTest::newRow("other reader deleted") << "Door" << "" << "Yard" << QStringList{"Door"} << "Door";
        QTest::newRow("shown reader deleted") << "Yard" << "" << "Yard" << QStringList{"Door"} << w.T(17);
    }
    void refreshShowsOtherStation()
    {
        QFETCH(QString, shown);
        QFETCH(QString, otherAdds);
        QFETCH(QString, otherDeletes);
        QFETCH(QString, selected);
        SetRecords({"Door", "Yard"}, {"Day"});
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        QTreeWidgetItem* events = tree->CategoryItem(CLeftTreeView::Events);
        QTRY_VERIFY(Probe(*frame));
        tree->setCurrentItem(events->child(ChildTexts(events).indexOf(shown)));
        QTRY_COMPARE(int(tree->CurrentCategory()), int(CLeftTreeView::Events));
        QTRY_VERIFY(Probe(*frame) && Probe(*frame)->Filter() != 0);
        ProbeView* before = Probe(*frame);

        CStoreDB_Handler other(w.lang.get(), StoreLocation::FromSettings());
        CtblLeser* readers = other.Get_Ptr_To_tblLeser();
        CtblZeitschema* windows = other.Get_Ptr_To_tblZeitschema();
        if (!otherAdds.isEmpty())
            QCOMPARE(AddRecord(readers, [&](structLeser& l) { l.Name = otherAdds; l.Model = "Maple"; }), RecordResult::Done);
        if (!otherDeletes.isEmpty())
            QCOMPARE(DeleteRecordsWhere(readers, [&](const structLeser& l) { return l.Name == otherDeletes; }), RecordResult::Done);
        QCOMPARE(AddRecord(windows, [](structZeitschema& z) { z.Name = "Night"; }), RecordResult::Done);
        QCOMPARE(ChildTexts(events), (QStringList{"Door", "Yard"}));   // nothing seen before F5

        tree->findChild<QAction*>(QStringLiteral("actionRefreshTree"))->trigger();
        QTEST(ChildTexts(events), "readerNodes");
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), (QStringList{"Day", "Night"}));
        QVERIFY(tree->currentItem());
        QCOMPARE(tree->currentItem()->text(0), selected);
        QCoreApplication::processEvents();
        if (selected == shown) {
            QCOMPARE(Probe(*frame), before);   // the refreshed table stays
            QCOMPARE(before->loads, 2);
        } else {
            QTRY_VERIFY(Probe(*frame) != before);
            QCOMPARE(Probe(*frame)->Filter(), 0);   // the whole category
        }
    }

    void englishAtOnce()
    {
        auto frame = MakeFrame();
        QCOMPARE(AskAndPress(w.T(157), Qt::Key_J), std::make_pair(QStringList{"&Ja", "&Nein"}, true));
        frame->findChild<QAction*>("actionEnglish")->trigger();
        QCOMPARE(AskAndPress(w.T(157), Qt::Key_Y), std::make_pair(QStringList{"&No", "&Yes"}, true));
        QCOMPARE(Settings::ReadLanguage(), 1u);
        QCOMPARE(w.T(14), QString("Readers"));
        QCOMPARE(frame->windowTitle(), "  " + w.T(74));
        QCOMPARE(frame->findChild<QMenu*>("menuFile")->title(), w.T(1));
        QCOMPARE(ChildTexts(frame->Tree()->RootItem()), (QStringList{w.T(14), w.T(15), w.T(16), w.T(18), w.T(17)}));
    }

    // The menus, the five tables' context menus and the dialogs, in both languages.
    void mnemonicsAreUnique()
    {
        SetRecords({"Door"}, {});
        int32_t birchId = 0;
        AddRecord(w.store->Get_Ptr_To_tblLeser(), [](structLeser& l) { l.Name = "Desk", l.Model = "Birch"; }, &birchId);
        w.store->Get_Ptr_To_tblLeser()->_Requery();
        const structLeser cedar = w.store->Get_Ptr_To_tblLeser()->Get_Leser(0);
        const structLeser birch = w.store->Get_Ptr_To_tblLeser()->Get_Leser(1);
        CLanguageHandler* lang = w.lang.get();
        QStringList clashes;
        for (uint32_t language : {0u, 1u}) {
            w.SetLanguage(language);
            CMainFrame frame(lang, w.store.get(), nullptr);
            QStringList titles;
            for (QAction* menu : frame.menuBar()->actions()) {
                titles << menu->text();
                clashes << (menu->menu() ? MenuClashes(menu->text(), menu->menu()) : QStringList());
            }
            clashes << Clashes("menu bar", titles);
            const ViewContext ctx{lang, w.store.get(), nullptr, nullptr};
            for (auto category : {CLeftTreeView::Readers, CLeftTreeView::Transponders, CLeftTreeView::Persons,
                                  CLeftTreeView::Schedules, CLeftTreeView::Events}) {
                std::unique_ptr<CGridBaseDlg> view(CLeftTreeView::CreateDefaultView(category, ctx, nullptr));
                view->Load(0);
                view->Grid()->SelectRow(1);
                // The last column: a reader column where a table has them.
                const QMenu* menu = view->BuildContextMenu(view->ContextMenuItems(1, view->ColumnCount()));
                clashes << MenuClashes(view->metaObject()->className(), menu);
            }
            const ParamSupport::Context params{lang, w.store.get(), nullptr, {}};
            CTransponderDlg transponders(ctx);
            transponders.Load(0);
            std::vector<std::unique_ptr<QWidget>> dialogs;
            dialogs.emplace_back(new CAboutDlg(lang, false));
            dialogs.emplace_back(new CChooseCOMDlg(lang, {1, 2}));
            dialogs.emplace_back(new CExportDataDlg(lang, true));
            dialogs.emplace_back(new CImportDataDlg(lang));
            dialogs.emplace_back(new CImportErrorDlg(lang, {"x"}));
            dialogs.emplace_back(new CCheckMTransDlg("00000CCCCC", "00000DDDDD", lang));
            dialogs.emplace_back(new CChooseReaderDlg(lang, {"Tisch"}, "neu"));
            dialogs.emplace_back(new CReadEventsDlg(lang));
            dialogs.emplace_back(new CUsbManuell(lang, &transponders, transponders.Grid()));
            dialogs.emplace_back(new CParamBirchDlg(params, birch));
            dialogs.emplace_back(new CParamMaple_CedarDlg(params, cedar));
            dialogs.emplace_back(new CSendBirchDlg(params, 0, birchId));
            for (const auto& dialog : dialogs)
                clashes << DialogClashes(*dialog);
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
    }

    // Closing while the connection worker waits for its message box (a clock it cannot set)
    // and this thread has not looked at its events since: the window goes at once, and the
    // box, never begun, is not shown afterwards either.
    void closingWhileWorkerWaitsForItsMessage()
    {
        Sim::ReaderSim reader(Sim::Model::Cedar, 16);
        QVERIFY(reader.Start());
        Settings::WriteAktCom(16);
        CLinkController::SetWeekdayNameSource([](const QDate&) { return QByteArray("lundi"); });
        GuiPrompt prompt;
        int boxes = 0;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                ++boxes;
                box->close();
            }
        });
        closer.start(20);
        auto frame = MakeFrame();
        QCOMPARE(frame->Tree()->Controller()->StartConnectWorker(), 0);
        for (int i = 0; i < 500 && reader.Received('L') == 0; ++i)
            QThread::msleep(10);
        QCOMPARE(reader.Received('L'), 1);
        QThread::msleep(300);   // the worker now waits for its message to be shown
        QElapsedTimer took;
        took.start();
        frame.reset();
        const qint64 ms = took.elapsed();
        CLinkController::SetWeekdayNameSource(nullptr);
        QVERIFY2(ms < 2000, qPrintable(QString::number(ms)));
        QTest::qWait(200);
        QCOMPARE(boxes, 0);
    }

    // The choose-interface command with the real dialog: OK stores only, connect-now also connects.
    // The ports are listed sorted as text.
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
        QStringList listed;
        CLeftTreeView::SetPortQuestion([&](CLeftTreeView*) {
            CChooseCOMDlg dlg(w.lang.get(), {7, 250});
            auto* combo = dlg.findChild<QComboBox*>("1087");
            for (int i = 0; i < combo->count(); ++i)
                listed << combo->itemText(i);
            combo->setCurrentText("COM250");
            dlg.findChild<QPushButton*>(button)->click();
            return dlg.ConnectNow();
        });
        QSignalSpy requested(tree, &CLeftTreeView::ConnectRequested);
        QSignalSpy result(tree->Controller(), &CLinkController::ConnectResult);
        frame->findChild<QAction*>("actionChooseInterface")->trigger();
        CLeftTreeView::SetPortQuestion({});
        QCOMPARE(listed, (QStringList{"COM250", "COM7"}));
        QCOMPARE(Settings::ReadAktCom(), 250u);
        QCOMPARE(requested.count(), connects ? 1 : 0);
        QCOMPARE(tree->RegisterOnConnect(), connects ? 1 : 0);
        if (connects)   // there is no COM250: the attempt ends without a connection
            QVERIFY(result.count() == 1 || result.wait(10000));
    }
};

QTEST_MAIN(TestMainFrame)
#include "test_mainframe.moc"
