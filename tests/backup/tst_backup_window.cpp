// Backup, delete all entries and restore from the main menu of the running program: the tree
// and the reader table follow the database each time, and after the restore they read the new
// store handler.
#include "app/CMainFrame.h"
#include "app/CVendrikApp.h"
#include "base/Paths.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
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

} // namespace

class TstBackupWindow : public QObject {
    Q_OBJECT

private slots:
    void backupClearRestore()
    {
        const QString home = VmTest::IsolateHome();
        // A program folder of its own, with the texts, so the layout file goes there too.
        QTemporaryDir program;
        QVERIFY(QDir().mkpath(program.path() + "/SysFiles"));
        for (const char* f : {"texts_de.txt", "texts_en.txt"})
            QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/SysFiles/" + f,
                                program.path() + "/SysFiles/" + f));
        Paths::SetProgramDir(program.path());
        Settings::WriteLanguage(1);
        const QString db = home + "/window.mdb";
        CSettingsStore().WriteString(db, 1, kSettingsKey, QString::fromLatin1(CStoreDB_Handler::SettingDBPath()));
        {
            CStoreDB_Handler seed(nullptr);
            QCOMPARE(AddRecord(seed.Get_Ptr_To_tblLeser(), [](structLeser& r) { r.Name = "Door"; r.Model = "Cedar"; }),
                     RecordResult::Done);
            QCOMPARE(AddRecords(seed.Get_Ptr_To_tblZeitschema(), 4, [](int, structZeitschema& z) { z.Name = "Night"; }),
                     RecordResult::Done);
        }

        ScriptedPrompt prompt;
        CVendrikApp::SetSplashEnabled(false);
        CLeftTreeView::SetAskPortAtStart(false);
        CVendrikApp app;
        QVERIFY(app.InitInstance());
        CMainFrame* frame = app.MainFrame();
        CLeftTreeView* tree = frame->Tree();
        auto action = [frame](const char* name) { return frame->findChild<QAction*>(name); };
        auto readerRows = [tree] { return tree->RightView() ? tree->RightView()->RecordCount() : -1; };
        const QString fullAccess = app.LanguageHandler()->GetLangItem(81);
        QTRY_COMPARE(readerRows(), 1);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{"Door"});
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), (QStringList{fullAccess, "Night"}));

        prompt.NextFileName(home + "/window-backup");
        action("actionBackup")->trigger();
        QVERIFY(QFileInfo::exists(home + "/window-backup.mdb"));
        QCOMPARE(frame->WaitFlag(), 0);

        prompt.NextAnswer(true);
        action("actionDeleteAll")->trigger();
        QTRY_COMPARE(readerRows(), 0);
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{});
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), QStringList{fullAccess});

        prompt.NextFileName(home + "/window-backup.mdb");
        prompt.NextAnswer(true);
        action("actionRestore")->trigger();
        QVERIFY(app.StoreHandler() && app.StoreHandler()->IsDatabaseOpen());
        QCOMPARE(frame->StoreHandler(), app.StoreHandler());
        QTRY_COMPARE(readerRows(), 1);
        QStringList cells;
        for (int col = 1; col <= tree->RightView()->ColumnCount(); ++col)
            cells << tree->RightView()->RecordCellText(0, col);
        QVERIFY2(cells.contains("Door"), qPrintable(cells.join('|')));
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Transponders)), QStringList{"Door"});
        QCOMPARE(ChildTexts(tree->CategoryItem(CLeftTreeView::Schedules)), (QStringList{fullAccess, "Night"}));
        QCOMPARE(QDir(home).entryList({"window_Backup_*.mdb"}).size(), 1);
        QCOMPARE(frame->WaitFlag(), 0);
        // Nothing went wrong on the way: only the dialogs and the questions were shown.
        for (const auto& shown : prompt.Log())
            QVERIFY2(shown.kind == ScriptedPrompt::Shown::FileDialog || shown.kind == ScriptedPrompt::Shown::Question,
                     qPrintable(shown.text));
        app.ExitInstance();
        Paths::SetProgramDir(QString());
    }
};

QTEST_MAIN(TstBackupWindow)
#include "tst_backup_window.moc"
