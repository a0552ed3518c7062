// Backup, delete all entries and restore from the main menu of the running program: the tree
// and the reader table follow the database each time, and after the restore they read the new
// store handler.
#include "app/CMainFrame.h"
#include "app/CVendrikApp.h"
#include "app/GuiPrompt.h"
#include "base/Paths.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "grid/CGridCtrl.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList ChildTexts(QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; item && i < item->childCount(); ++i)
        texts << item->child(i)->text(0);
    return texts;
}

// The records of each table, read again from the database.
QList<int> Counts(CStoreDB_Handler* s)
{
    const auto rows = [](auto* table) {
        table->_Requery();
        return table->GetCount();
    };
    return {rows(s->Get_Ptr_To_tblLeser()), rows(s->Get_Ptr_To_tblTransponder()), rows(s->Get_Ptr_To_tblPerson()),
            rows(s->Get_Ptr_To_tblZeitschema()), rows(s->Get_Ptr_To_tblEvents())};
}

} // namespace

class TstBackupWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_program;
    std::unique_ptr<CVendrikApp> m_app;

    // A home and a program folder of their own (with the texts, so the layout file goes there
    // too), a database with a record in each table and a second schedule, and the program
    // started over it. Returns the home.
    QString Start(const QString& name)
    {
        const QString home = VmTest::IsolateHome();
        if (!QFileInfo::exists(m_program.path() + "/SysFiles")) {
            QDir().mkpath(m_program.path() + "/SysFiles");
            for (const char* f : {"texts_de.txt", "texts_en.txt"})
                QFile::copy(QCoreApplication::applicationDirPath() + "/SysFiles/" + f,
                            m_program.path() + "/SysFiles/" + f);
        }
        Paths::SetProgramDir(m_program.path());
        Settings::WriteLanguage(1);
        const QString db = home + u'/' + name + ".mdb";
        CSettingsStore().WriteString(db, 1, kSettingsKey, QString::fromLatin1(CStoreDB_Handler::SettingDBPath()));
        {
            CStoreDB_Handler seed(nullptr);
            AddRecord(seed.Get_Ptr_To_tblLeser(), [](structLeser& r) { r.Name = "Door"; r.Model = "Cedar"; });
            AddRecords(seed.Get_Ptr_To_tblZeitschema(), 4, [](int, structZeitschema& z) { z.Name = "Night"; });
            AddRecord(seed.Get_Ptr_To_tblTransponder(), [](structTransponder& t) { t.Number = "00000000A1"; });
            AddRecord(seed.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "Anna"; });
            AddRecord(seed.Get_Ptr_To_tblEvents(), [](structEvents& e) { e.TransponderNo = "00000000A1"; });
        }
        CVendrikApp::SetSplashEnabled(false);
        CLeftTreeView::SetAskPortAtStart(false);
        m_app = std::make_unique<CVendrikApp>();
        return m_app->InitInstance() ? home : QString();
    }

private slots:
    void cleanup()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
        Paths::SetProgramDir(QString());
    }

    void backupClearRestore()
    {
        ScriptedPrompt prompt;
        const QString home = Start("window");
        QVERIFY(!home.isEmpty());
        CVendrikApp& app = *m_app;
        CMainFrame* frame = app.MainFrame();
        CLeftTreeView* tree = frame->Tree();
        auto action = [frame](const char* name) { return frame->findChild<QAction*>(name); };
        auto readerRows = [tree] { return tree->RightView() ? tree->RightView()->RecordCount() : -1; };
        QTRY_COMPARE(readerRows(), 1);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{"Door"});

        prompt.NextFileName(home + "/window-backup");
        action("actionBackup")->trigger();
        QVERIFY(QFileInfo::exists(home + "/window-backup.mdb"));
        QCOMPARE(frame->WaitFlag(), 0);

        prompt.NextAnswer(true);
        action("actionDeleteAll")->trigger();
        QTRY_COMPARE(readerRows(), 0);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{});

        prompt.NextFileName(home + "/window-backup.mdb");
        prompt.NextAnswer(true);
        action("actionRestore")->trigger();
        QVERIFY(app.StoreHandler() && app.StoreHandler()->IsDatabaseOpen());
        QCOMPARE(frame->StoreHandler(), app.StoreHandler());
        QTRY_COMPARE(readerRows(), 1);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{"Door"});
        QCOMPARE(frame->WaitFlag(), 0);
        // Nothing went wrong on the way: only the dialogs, the questions and where the
        // clearing's safety copy went were shown.
        for (const auto& shown : prompt.Log())
            QVERIFY2(shown.kind == ScriptedPrompt::Shown::FileDialog || shown.kind == ScriptedPrompt::Shown::Question ||
                         shown.icon == PromptIcon::Information,
                     qPrintable(shown.text));
    }

    // With real message boxes: Ctrl+A selects every row of each table, and Enter twice after
    // it, or Enter on any question that deletes, leaves the database whole.
    void selectAllAndEnterDeleteNothing()
    {
        QVERIFY(!Start("keys").isEmpty());
        GuiPrompt prompt;
        CMainFrame* frame = m_app->MainFrame();
        CLeftTreeView* tree = frame->Tree();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        CStoreDB_Handler* store = m_app->StoreHandler();
        const QList<int> before = Counts(store);
        QCOMPARE(before, (QList<int>{1, 1, 1, 8, 1}));

        // Whatever box opens gets Enter; another dialog is closed with Escape.
        int boxes = 0;
        QTimer presser;
        presser.setInterval(50);
        connect(&presser, &QTimer::timeout, this, [&boxes] {
            QWidget* modal = QApplication::activeModalWidget();
            if (qobject_cast<QMessageBox*>(modal)) {
                ++boxes;
                QTest::keyClick(modal, Qt::Key_Return);
            } else if (modal) {
                QTest::keyClick(modal, Qt::Key_Escape);
            }
        });
        presser.start();

        for (const auto category : {CLeftTreeView::Readers, CLeftTreeView::Transponders, CLeftTreeView::Persons,
                                    CLeftTreeView::Schedules, CLeftTreeView::Events}) {
            tree->setCurrentItem(tree->CategoryItem(category));
            QTRY_VERIFY(tree->RightView() && tree->CurrentCategory() == category && tree->RightView()->RecordCount() > 0);
            CGridBaseDlg* view = tree->RightView();
            view->Grid()->setFocus();
            boxes = 0;
            QTest::keyClick(view->Grid(), Qt::Key_A, Qt::ControlModifier);
            // Every row that can be selected (the full-access schedule's cannot), down to the last.
            QVERIFY(!view->Grid()->SelectedRows().isEmpty());
            QCOMPARE(view->Grid()->SelectedRows().last(), view->RecordCount());
            QTest::keyClick(view->Grid(), Qt::Key_Return);
            QTest::keyClick(view->Grid(), Qt::Key_Return);
            QTest::qWait(100);
            QCOMPARE(boxes, 0);   // nothing was asked
            QCOMPARE(Counts(store), before);
            view->OnCommand(CGridBaseDlg::CmdDeleteAll);
            QCOMPARE(boxes, 1);
            QCOMPARE(Counts(store), before);
        }
        // The frame's "delete all entries" has a key of its own; its question too says No.
        boxes = 0;
        frame->activateWindow();   // a window shortcut: the dialogs above took the activation
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(tree->RightView()->Grid(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(boxes, 1);
        QCOMPARE(Counts(store), before);
        presser.stop();
    }
};

QTEST_MAIN(TstBackupWindow)
#include "tst_backup_window.moc"
