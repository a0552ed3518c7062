// Backup, restore and clearing without a window: the file names, a round trip that brings the
// earlier state back (with the changes that sat only in the write-ahead log), files that must be
// refused, folders that cannot be written, and kills in the middle of a restore or a clearing.
#include "base/Prompt.h"
#include "base/Settings.h"
#include "exchange/DatabaseBackup.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/FoundationFixture.h"
#include "support/StoreBackends.h"
#include "support/StoreOwner.h"
#include "texts/CLanguageHandler.h"

#include <QProcess>

using namespace VmTest;

namespace {

QStringList PersonNames(CStoreDB_Handler* store)
{
    QStringList names;
    CtblPerson* t = store->Get_Ptr_To_tblPerson();
    for (int i = 0; i < t->GetAnz_Person(); ++i)
        names << t->Get_Person(i).Name;
    names.sort();
    return names;
}

void AddPerson(CStoreDB_Handler* store, const QString& name)
{
    QCOMPARE(AddRecord(store->Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; }), RecordResult::Done);
    store->Get_Ptr_To_tblPerson()->_Requery();
}

// Reads a file as another program would, without the store: the names of its persons.
QStringList PersonsInFile(const QString& path)
{
    const QString sql = QStringLiteral("SELECT group_concat(Name, '|') FROM (SELECT Name FROM tblPerson ORDER BY 1)");
    return Outside(StoreLocation::Parse(path), {sql}).toString().split(u'|', Qt::SkipEmptyParts);
}

} // namespace

class TstBackup : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    QString m_dir;     // a fresh folder per test: the database and the backups
    QString m_db;
    int m_serial = 0;

    QString T(uint32_t n) const { return m_lang->GetLangItem(n); }

    DatabaseBackup::StoreOwner Owner() { return OwnerOf(m_store, m_lang.get()); }

    // What the folder holds besides the live database's own files: no temporary leftovers.
    QStringList OtherFiles() const
    {
        QStringList files = QDir(m_dir).entryList(QDir::Files | QDir::Hidden);
        files.removeIf([&](const QString& f) { return f.startsWith(QFileInfo(m_db).fileName()); });
        return files;
    }

    // A backup of the current state at name; the prompt's log is cleared afterwards.
    QString BackUp(ScriptedPrompt& prompt, const QString& name)
    {
        prompt.NextFileName(m_dir + u'/' + name);
        const int done = DatabaseBackup::Backup(m_store.get());
        prompt.Clear();
        return done ? m_dir + u'/' + DatabaseBackup::WithMdbExtension(name) : QString();
    }

    QByteArray RunHelper(const QStringList& args)
    {
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/backup_kill_helper"), args);
        if (!helper.waitForStarted(10000))
            return "not started";
        QByteArray out;
        while (!out.contains('\n') && helper.waitForReadyRead(30000))
            out += helper.readAllStandardOutput();
        helper.kill();   // SIGKILL: no destructors, no checkpoint
        helper.waitForFinished(10000);
        return out.trimmed();
    }

private slots:
    void initTestCase()
    {
        IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        QVERIFY(m_lang->IsLoaded());
        Settings::WriteLanguage(1);
    }

    void init()
    {
        m_dir = IsolateHome() + QStringLiteral("/t%1").arg(++m_serial);
        QVERIFY(QDir().mkpath(m_dir));
        m_db = m_dir + QStringLiteral("/current.mdb");
        CSettingsStore().WriteString(m_db, 1, kSettingsKey, QString::fromLatin1(CStoreDB_Handler::SettingDBPath()));
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
    }
    void cleanup()
    {
        m_store.reset();
        DatabaseBackup::SetStageHook(nullptr);
    }

    void fileNames()
    {
        QCOMPARE(DatabaseBackup::WithMdbExtension("/b.old/save.x.bak"), QStringLiteral("/b.old/save.mdb"));
        const QDateTime t(QDate(2024, 3, 7), QTime(9, 5, 4));
        QCOMPARE(DatabaseBackup::DefaultBackupName(0, t), QStringLiteral("Backup_Velmora Manager_07032024_090504"));
        QCOMPARE(DatabaseBackup::SafetyCopyPath("/d/VendrikManagerAIO.mdb", t),
                 QStringLiteral("/d/VendrikManagerAIO_Backup_07032024_090504.mdb"));
    }

    // Back up, change, restore with a safety copy: the earlier state is back, the safety copy
    // holds the changed one, and the folder to start in is the last file's. Another program
    // with the database open sees the restored records at its next reload, and what it writes
    // afterwards lands in the restored database, not in a file no one reads.
    void backupChangeRestore()
    {
        ScriptedPrompt prompt;
        AddPerson(m_store.get(), "Before");   // committed, still in the log only
        prompt.NextFileName(m_dir + QStringLiteral("/save.bak"));
        QCOMPARE(DatabaseBackup::Backup(m_store.get()), 1);
        const QString backup = m_dir + QStringLiteral("/save.mdb");
        QCOMPARE(prompt.LastFileRequest().fileName.left(23), QStringLiteral("Backup_Velmoro Manager_"));
        QCOMPARE(PersonsInFile(backup), QStringList{"Before"});
        QVERIFY(prompt.Log().size() == 1);   // the file dialog only

        QCOMPARE(DeleteRecordsWhere(m_store->Get_Ptr_To_tblPerson(), {}), RecordResult::Done);
        AddPerson(m_store.get(), "After");

        prompt.Clear();
        prompt.NextFileName(m_dir + QStringLiteral("/save"));
        prompt.NextAnswer(true);
        QCOMPARE(DatabaseBackup::Restore(Owner()), 1);
        QCOMPARE(prompt.LastFileRequest().folder, m_dir);
        QCOMPARE(prompt.Texts().last(), T(221));
        QVERIFY(m_store && m_store->IsDatabaseOpen());
        QCOMPARE(PersonNames(m_store.get()), QStringList{"Before"});
        const QStringList safety = QDir(m_dir).entryList({"current_Backup_*.mdb"});
        QCOMPARE(safety.size(), 1);
        QCOMPARE(PersonsInFile(m_dir + u'/' + safety[0]), QStringList{"After"});
        QCOMPARE(OtherFiles(), (QStringList{safety[0], "save.mdb"}));

        // No: no safety copy, the file is replaced all the same.
        CStoreDB_Handler other(m_lang.get(), StoreLocation::FromSettings());
        QVERIFY(other.IsDatabaseOpen());
        AddPerson(&other, "After");
        prompt.NextFileName(backup);
        prompt.NextAnswer(false);
        QCOMPARE(DatabaseBackup::Restore(Owner()), 1);
        QCOMPARE(PersonNames(m_store.get()), QStringList{"Before"});
        QCOMPARE(QDir(m_dir).entryList({"current_Backup_*.mdb"}).size(), 1);
        other.Get_Ptr_To_tblPerson()->_Requery();
        QCOMPARE(PersonNames(&other), QStringList{"Before"});
        AddPerson(&other, "Later");
        QCOMPARE(PersonsInFile(m_db), (QStringList{"Before", "Later"}));
        m_store->Get_Ptr_To_tblPerson()->_Requery();
        QCOMPARE(PersonNames(m_store.get()), (QStringList{"Before", "Later"}));
    }

    // A restore refuses what is no database of ours; a backup refuses a place it cannot write
    // (root may write into any folder, so those places fail for root too: a folder of the
    // kernel's process file system, and a file standing where the folder should be). Either
    // says so once, asks nothing, and leaves the records and the folder as they were.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("content");   // a marker, or the chosen file's bytes
        QTest::newRow("text file") << QByteArray("ID;Name\n1;Anna\n");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("missing file") << QByteArray("missing");
        QTest::newRow("foreign database") << QByteArray("foreign");
        QTest::newRow("damaged database") << QByteArray("damaged");
        QTest::newRow("cut short") << QByteArray("cut");
        QTest::newRow("backup into proc") << QByteArray("proc");
        QTest::newRow("backup into a file") << QByteArray("file as folder");
    }
    void refused()
    {
        QFETCH(QByteArray, content);
        ScriptedPrompt prompt;
        AddPerson(m_store.get(), "Kept");
        QString chosen = m_dir + QStringLiteral("/chosen.mdb");
        const bool backup = content == "proc" || content == "file as folder";
        if (content == "foreign") {
            Outside(StoreLocation::Parse(chosen), {"CREATE TABLE songs (title TEXT)"});
        } else if (content == "damaged" || content == "cut") {
            QVERIFY(!BackUp(prompt, "chosen").isEmpty());
            QByteArray bytes = ReadFile(chosen);
            if (content == "cut")
                bytes.truncate(bytes.size() / 2 + 100);
            else
                bytes.replace(4096, 2048, QByteArray(2048, '\xA5'));   // the schema page's successor
            WriteFile(chosen, bytes);
        } else if (content == "proc") {
            chosen = QStringLiteral("/proc/self/save");
        } else if (content == "file as folder") {
            WriteFile(m_dir + QStringLiteral("/plain"), "x");
            chosen = m_dir + QStringLiteral("/plain/save");
        } else if (content != "missing") {
            WriteFile(chosen, content);
        }
        const QStringList before = OtherFiles();

        prompt.NextFileName(chosen);
        prompt.NextAnswer(true);
        QCOMPARE(backup ? DatabaseBackup::Backup(m_store.get()) : DatabaseBackup::Restore(Owner()), 0);
        QCOMPARE(prompt.Log().size(), size_t(2));   // the dialog and the refusal, no question
        QVERIFY(prompt.Texts()[1].startsWith(T(backup ? 218 : 222)));
        QVERIFY(prompt.Texts()[1].contains(chosen));
        QCOMPARE(prompt.Log()[1].icon, PromptIcon::Warning);
        QCOMPARE(PersonNames(m_store.get()), QStringList{"Kept"});
        QCOMPARE(OtherFiles(), before);
    }

    void clearKeepsFullAccess_data()
    {
        QTest::addColumn<QString>("storedName");
        QTest::newRow("German") << QStringLiteral("Vollzugriff");
        QTest::newRow("English") << QStringLiteral("Full access");
    }
    void clearKeepsFullAccess()
    {
        QFETCH(QString, storedName);
        CStoreDB_Handler* s = m_store.get();
        CtblZeitschema* windows = s->Get_Ptr_To_tblZeitschema();
        QCOMPARE(EditRecordsWhere(windows, {}, [&](structZeitschema& z) { z.Name = storedName; }), RecordResult::Done);
        QCOMPARE(AddRecords(windows, 4, [](int, structZeitschema& z) { z.Name = "Night"; }), RecordResult::Done);
        QCOMPARE(AddRecord(s->Get_Ptr_To_tblLeser(), [](structLeser& r) { r.Name = "Door"; }), RecordResult::Done);
        QCOMPARE(AddRecord(s->Get_Ptr_To_tblTransponder(), [](structTransponder& t) { t.Number = "0000000001"; }), RecordResult::Done);
        QCOMPARE(AddRecord(s->Get_Ptr_To_tblEvents(), [](structEvents& e) { e.TransponderNo = "0000000001"; }), RecordResult::Done);
        AddPerson(s, "Anna");
        windows->_Requery();

        ScriptedPrompt prompt;
        QCOMPARE(DatabaseBackup::ClearAll(s), 0);   // not confirmed
        QCOMPARE(prompt.Texts(), QStringList{T(223)});
        QVERIFY(prompt.Log()[0].defaultNo);
        QCOMPARE(windows->GetAnz_Zeitschema(), 8);

        // A safety copy first, named like a restore's; the message says where.
        prompt.NextAnswer(true);
        QCOMPARE(DatabaseBackup::ClearAll(s), 1);
        QCOMPARE(prompt.Log().size(), size_t(3));
        const QStringList safety = QDir(m_dir).entryList({"current_Backup_*.mdb"});
        QCOMPARE(safety.size(), 1);
        QVERIFY(prompt.Texts()[2].startsWith(T(306)));
        QVERIFY(prompt.Texts()[2].endsWith(m_dir + u'/' + safety[0]));
        QCOMPARE(PersonsInFile(m_dir + u'/' + safety[0]), QStringList{"Anna"});
        QCOMPARE(s->Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
        QCOMPARE(s->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 0);
        QCOMPARE(s->Get_Ptr_To_tblEvents()->GetAnz_Events(), 0);
        QCOMPARE(s->Get_Ptr_To_tblPerson()->GetAnz_Person(), 0);
        QCOMPARE(windows->GetAnz_Zeitschema(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(windows->Get_Zeitschema(i).Name, storedName);
            QCOMPARE(windows->Get_Zeitschema(i).ID, i + 1);
        }
    }

    // Safety copies of one second get names of their own.
    void safetyCopiesNeverReplaceEachOther()
    {
        ScriptedPrompt prompt;
        const QString backup = BackUp(prompt, "save");
        for (int i = 0; i < 3; ++i) {
            AddPerson(m_store.get(), QStringLiteral("P%1").arg(i));
            QVERIFY(DatabaseBackup::BackupFile(m_store.get(), backup));
            prompt.NextAnswer(true);
            QCOMPARE(DatabaseBackup::RestoreFile(Owner(), backup), 1);
        }
        QStringList kept;
        for (const QString& f : QDir(m_dir).entryList({"current_Backup_*.mdb"}))
            kept << PersonsInFile(m_dir + u'/' + f);
        kept.sort();
        QCOMPARE(kept, (QStringList{"P0", "P0", "P0", "P1", "P1", "P2"}));
    }

    // The extension rule can name a file the save dialog did not ask about: asked here,
    // with No as the default.
    void extensionRuleAsksBeforeReplacing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("Montag, No") << "Montag" << false << true << false;
        QTest::newRow("Montag, Yes") << "Montag" << true << true << true;
        QTest::newRow("Montag.mdb: the dialog asked") << "Montag.mdb" << false << false << true;
    }
    void extensionRuleAsksBeforeReplacing()
    {
        QFETCH(QString, typed);
        QFETCH(bool, answer);
        const QString target = m_dir + QStringLiteral("/Montag.mdb");
        WriteFile(target, "earlier");
        ScriptedPrompt prompt;
        prompt.NextFileName(m_dir + u'/' + typed);
        prompt.NextAnswer(answer);
        QCOMPARE(DatabaseBackup::Backup(m_store.get()), answer || typed.endsWith(".mdb") ? 1 : 0);
        QTEST(prompt.Log().size() == 2, "asked");
        if (prompt.Log().size() == 2) {
            QCOMPARE(prompt.Texts()[1], T(304).replace("%1", target));
            QVERIFY(prompt.Log()[1].defaultNo);
        }
        QTEST(ReadFile(target) != "earlier", "replaced");
    }

    // A restore killed half-way through its copy, or right before the file is replaced, leaves
    // the old database whole (with its latest change, which sat in the log); one that finished
    // leaves the new one. A clearing killed before it commits leaves every record in place.
    void killedHalfWay_data()
    {
        QTest::addColumn<QString>("stage");   // empty: a clearing
        QTest::addColumn<QStringList>("persons");
        QTest::newRow("copying") << "copied" << QStringList{"Helper", "Old"};
        QTest::newRow("replacing") << "replacing" << QStringList{"Helper", "Old"};
        QTest::newRow("finished") << "done" << QStringList{"New"};
        QTest::newRow("clearing") << "" << QStringList{"Old"};
    }
    void killedHalfWay()
    {
        QFETCH(QString, stage);
        ScriptedPrompt prompt;
        // Enough events that the copy takes more than one piece.
        CtblEvents* events = m_store->Get_Ptr_To_tblEvents();
        QCOMPARE(AddRecords(events, 500, [](int k, structEvents& e) { e.TransponderNo = QString::number(k); }), RecordResult::Done);
        AddPerson(m_store.get(), "New");
        const QString backup = BackUp(prompt, "new");
        QVERIFY(QFileInfo(backup).size() > 64 * 1024);
        QCOMPARE(DeleteRecordsWhere(m_store->Get_Ptr_To_tblPerson(), {}), RecordResult::Done);
        AddPerson(m_store.get(), "Old");
        m_store.reset();

        if (stage.isEmpty())
            QCOMPARE(RunHelper({"clear"}), QByteArray("at commit"));
        else
            QCOMPARE(RunHelper({"restore", backup, stage}), "at " + stage.toLatin1());
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY2(m_store->IsDatabaseOpen(), qPrintable(m_store->DatabaseError()));
        QTEST(PersonNames(m_store.get()), "persons");
        QCOMPARE(m_store->Get_Ptr_To_tblEvents()->GetAnz_Events(), 500);
    }
};

QTEST_GUILESS_MAIN(TstBackup)
#include "tst_backup.moc"
