// The database store: a new file's content, bad files left alone, the change pattern's
// messages, cache rules, durability against a kill, and a worker thread storing while the
// GUI thread reads.
#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <atomic>

using namespace VmTest;

namespace {

// Runs sql on the database file through a connection of its own, as another program would.
bool Outside(const QString& path, const QString& sql)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return ok;
}

QString TenDigits(int n) { return QStringLiteral("%1").arg(n, 10, 10, QLatin1Char('0')); }

} // namespace

class TstStore : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    ScriptedPrompt m_prompt;
    int m_serial = 0;

    // A fresh database file named by the "DBPath" setting.
    QString UseFreshDatabase()
    {
        const QString path = IsolateHome() + QStringLiteral("/%1.mdb").arg(++m_serial);
        CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
        return path;
    }
    QString OpenFailedText() const { return m_lang->GetLangItem(83) + u'\n' + m_lang->GetLangItem(84); }

private slots:
    void initTestCase()
    {
        IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        QVERIFY(m_lang->IsLoaded());
        SetCaptionProvider([this] { return m_lang->GetLangItem(74); });
    }
    void init() { m_prompt.Clear(); }
    void cleanup() { CSettingsStore().WriteString(QString(), 1, kSettingsKey, QStringLiteral("DBPath")); }

    void newDatabase()
    {
        const QString expected = Paths::DataDir() + QStringLiteral("/VendrikManagerAIO.mdb");
        QFile::remove(expected);
        CStoreDB_Handler store(m_lang.get());
        QVERIFY2(store.IsDatabaseOpen(), qPrintable(store.DatabaseError()));
        QCOMPARE(store.GetAktDBPath(), QFileInfo(expected).absoluteFilePath());
        CtblZeitschema* z = store.Get_Ptr_To_tblZeitschema();
        QCOMPARE(z->GetAnz_Zeitschema(), 4);
        for (int i = 0; i < 4; ++i) {   // the full-access schedule, head ID 1, every day all day
            const structZeitschema& w = z->Get_Zeitschema(i);
            QCOMPARE(w.ID, i + 1);
            QCOMPARE(w.Name, QStringLiteral("Vollzugriff"));
            QCOMPARE(w.From + w.To, QStringLiteral("00002359"));
            QCOMPARE(std::count(w.Day, w.Day + 7, 1), 7);
        }
    }

    void badFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("damaged database") << "damaged";
        QTest::newRow("foreign database") << "foreign";
        QTest::newRow("folder") << "folder";
    }
    void badFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        const QString path = UseFreshDatabase();
        if (kind == QLatin1String("text"))
            WriteFile(path, QByteArray("Standard Jet DB, or so it claims\n").repeated(200));
        else if (kind == QLatin1String("foreign"))
            QVERIFY(Outside(path, QStringLiteral("CREATE TABLE invoices (nr INTEGER)")));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else {   // a real store file, then its pages behind the header page scribbled over
            { CStoreDB_Handler good(m_lang.get()); }
            QVERIFY(Outside(path, QStringLiteral("INSERT INTO tblEvents (DetailText) WITH RECURSIVE c(x) AS "
                                                 "(SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) "
                                                 "SELECT printf('%.200c', 'x') FROM c")));
            QByteArray bytes = ReadFile(path);
            QVERIFY(bytes.size() > 8 * 4096);
            for (int i = 4096 + 100; i < 8 * 4096; i += 7)
                bytes[i] = char(0xA5 ^ i);
            WriteFile(path, bytes);
        }
        const QByteArray before = ReadFile(path);
        {
            CStoreDB_Handler store(m_lang.get());
            QVERIFY(!store.IsDatabaseOpen());
            QVERIFY(store.DatabaseError().contains(QDir::toNativeSeparators(path)));
            QVERIFY(store.DatabaseError().contains(QStringLiteral("cannot be opened")));
            QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "x"; }), RecordResult::OpenFailed);
            QCOMPARE(m_prompt.Texts(), QStringList{OpenFailedText()});
            QCOMPARE(m_prompt.Log()[0].icon, PromptIcon::Error);
        }
        QCOMPARE(ReadFile(path), before);
        QVERIFY(!QFile::exists(path + "-wal"));
    }

    void removeAtStaleIndex()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        CtblTransponder* t = store.Get_Ptr_To_tblTransponder();
        QCOMPARE(AddRecords(t, 3, [](int k, structTransponder& r) { r.Number = TenDigits(k); }), RecordResult::Done);
        QCOMPARE(t->_Requery(), 1);
        // Rows 1 and 3 selected: indices 0 and 2, the second removed as 2 - 1.
        QCOMPARE(t->RemoveAt(0), 1);
        QCOMPARE(t->RemoveAt(2 - 1), 1);
        QCOMPARE(t->Get_Transponder(0).Number, TenDigits(1));
        QCOMPARE(t->Get_Transponder(0).Position, 1);
        QCOMPARE(t->RemoveAt(1), 0);
        QCOMPARE(t->RemoveAt(-1), 0);
    }

    void onlineRequeryFailsWhenTableGone()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        QCOMPARE(store.Get_Ptr_To_tblOnline()->_Requery(), 1);
        QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("DROP TABLE tblOnline")));
        QCOMPARE(store.Get_Ptr_To_tblOnline()->_Requery(), 0);
        QCOMPARE(store.Get_Ptr_To_tblLeser()->_Requery(), 1);   // the others are unaffected
    }

    void changePatternMessages()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        CtblPerson* t = store.Get_Ptr_To_tblPerson();
        int32_t id = 0;
        QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "A"; }, &id), RecordResult::Done);
        QCOMPARE(DeleteRecordById(t, id + 1), RecordResult::NotFound);   // the caller's to report

        // A store error: its own text, exclamation icon, cursor closed.
        QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("CREATE TRIGGER nomore BEFORE INSERT ON tblPerson BEGIN "
                                                             "SELECT RAISE(ABORT, 'no more persons'); END")));
        QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "C"; }), RecordResult::StoreError);
        QVERIFY(!t->IsOpen());
        QCOMPARE(m_prompt.Log().size(), size_t(1));
        QVERIFY(m_prompt.Texts()[0].contains(QStringLiteral("no more persons")));
        QCOMPARE(m_prompt.Log()[0].icon, PromptIcon::Exclamation);
        QCOMPARE(m_prompt.Log()[0].caption, m_lang->GetLangItem(74));

        // A table that cannot be opened: texts 83 and 84, error icon.
        m_prompt.Clear();
        QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("ALTER TABLE tblPerson RENAME TO tblPersonOld")));
        QCOMPARE(EditRecordById(t, id, [](structPerson& p) { p.Name = "x"; }), RecordResult::OpenFailed);
        QCOMPARE(m_prompt.Texts(), QStringList{OpenFailedText()});
        QCOMPARE(m_prompt.Log()[0].icon, PromptIcon::Error);
        QVERIFY(!t->IsOpen());
    }

    void recordSurvivesKill()
    {
        UseFreshDatabase();
        { CStoreDB_Handler create(m_lang.get()); }
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/records_kill_helper"), {"event", "KILLTEST01"});
        QVERIFY(helper.waitForStarted(10000));
        QByteArray out;
        while (!out.contains('\n') && helper.waitForReadyRead(20000))
            out += helper.readAllStandardOutput();
        QVERIFY2(out.startsWith("stored "), out.constData());
        helper.kill();   // SIGKILL: no destructors, no checkpoint
        QVERIFY(helper.waitForFinished(10000));
        CStoreDB_Handler store(m_lang.get());
        CtblEvents* e = store.Get_Ptr_To_tblEvents();
        QCOMPARE(e->GetAnz_Events(), 1);
        QCOMPARE(e->Get_Event(0).ID, out.mid(7).trimmed().toInt());
        QCOMPARE(e->Get_Event(0).TransponderNo, QStringLiteral("KILLTEST01"));
    }

    void workerAddsWhileGuiReads()
    {
        UseFreshDatabase();
        CStoreDB_Handler store(m_lang.get());
        CtblEvents* events = store.Get_Ptr_To_tblEvents();
        CtblPerson* persons = store.Get_Ptr_To_tblPerson();
        int32_t personId = 0;
        QCOMPARE(AddRecord(persons, [](structPerson& p) { p.Name = "gui"; }, &personId), RecordResult::Done);
        constexpr int kEvents = 400;
        std::atomic<bool> failed{false};
        // As the event-reading worker does: its own cursor, one record per event, a reload now
        // and then and at the end.
        QThread* worker = QThread::create([&] {
            try {
                failed = !events->Open();
                for (int i = 0; i < kEvents && !failed; ++i) {
                    events->AddNew();
                    events->Rec().TransponderNo = TenDigits(i);
                    events->Update();
                    failed = i % 100 == 99 && !events->_Requery();
                }
                events->Close();
                failed = failed || !events->_Requery();
            } catch (const CDBException&) {
                failed = true;
            }
        });
        worker->start();
        // Meanwhile the GUI reads the cached lists and changes records through its own cursor.
        int edits = 0;
        while (!worker->isFinished()) {
            for (int i = 0; i < events->GetAnz_Events(); ++i)
                QCOMPARE(events->Get_Event(i).Position, i + 1);
            QCOMPARE(EditRecordById(persons, personId, [&](structPerson& p) { p.TransponderID = ++edits; }), RecordResult::Done);
            QCoreApplication::processEvents();
        }
        worker->wait();
        delete worker;
        QVERIFY(!failed);
        QTRY_COMPARE(events->GetAnz_Events(), kEvents);   // the worker's last reload reaches the GUI
        QCOMPARE(events->Get_Event(kEvents - 1).TransponderNo, TenDigits(kEvents - 1));
        QCOMPARE(persons->_Requery(), 1);
        QCOMPARE(persons->Get_Person(0).TransponderID, edits);
        QVERIFY(m_prompt.Log().empty());
    }
};

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
