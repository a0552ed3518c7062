#include "app/Paths.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>

namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

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

} // namespace

class TstStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newDatabase();
    void badFileIsLeftAlone_data();
    void badFileIsLeftAlone();
    void fieldsRoundTrip();
    void cursorWalkEditDelete();
    void removeAtStaleIndex();
    void onlineRequeryFailsWhenTableGone();
    void changePatternResults();
    void scheduleWindowsStayTogether();
    void recordSurvivesKill();
    void flushedFileIsCompleteAndReplaceable();
    void workerAddsWhileGuiReads();
    void olderWorkerReloadNeverWins();

private:
    // A fresh database file named by the "DBPath" setting.
    QString UseFreshDatabase(const QString& tag);
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    int m_serial = 0;
};

void TstStore::initTestCase()
{
    VmTest::IsolateHome();
    m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
    QVERIFY(m_lang->IsLoaded());
    SetCaptionProvider([this] { return m_lang->GetLangItem(74); });
}

void TstStore::init() { m_prompt = std::make_unique<ScriptedPrompt>(); }

void TstStore::cleanup()
{
    m_prompt.reset();
    CSettingsStore().WriteString(QString(), 1, kSettingsKey, QStringLiteral("DBPath"));
}

QString TstStore::UseFreshDatabase(const QString& tag)
{
    const QString path = VmTest::IsolateHome() + QStringLiteral("/db/%1_%2.mdb").arg(tag).arg(++m_serial);
    QDir().mkpath(QFileInfo(path).absolutePath());
    CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
    return path;
}

void TstStore::newDatabase()
{
    const QString expected = Paths::DataDir() + QStringLiteral("/VendrikManagerAIO.mdb");
    QFile::remove(expected);
    for (int round = 0; round < 2; ++round) {   // created, then found again unchanged
        CStoreDB_Handler store(m_lang.get());
        QVERIFY2(store.IsDatabaseOpen(), qPrintable(store.DatabaseError()));
        QVERIFY(store.DatabaseError().isEmpty());
        QCOMPARE(store.GetAktDBPath(), QFileInfo(expected).absoluteFilePath());
        QVERIFY(QFile::exists(expected));
        QCOMPARE(store.Get_Ptr_To_tblLeser(), store.Get_Ptr_To_tblLeser());
        QCOMPARE(store.Get_Ptr_To_tblOnline(), store.Get_Ptr_To_tblOnline());

        CtblZeitschema* z = store.Get_Ptr_To_tblZeitschema();
        QCOMPARE(z->GetAnz_Zeitschema(), 4);
        for (int i = 0; i < 4; ++i) {
            const structZeitschema& w = z->Get_Zeitschema(i);
            QCOMPARE(w.ID, i + 1);
            QCOMPARE(w.Position, i + 1);
            QCOMPARE(w.Name, QStringLiteral("Vollzugriff"));
            QCOMPARE(w.From, QStringLiteral("0000"));
            QCOMPARE(w.To, QStringLiteral("2359"));
            for (int d = 0; d < 7; ++d)
                QCOMPARE(w.Day[d], 1);
            QCOMPARE(w.Changed, 0);
        }
        QCOMPARE(store.Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
        QCOMPARE(store.Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 0);
        QCOMPARE(store.Get_Ptr_To_tblPerson()->GetAnz_Person(), 0);
        QCOMPARE(store.Get_Ptr_To_tblEvents()->GetAnz_Events(), 0);
        QCOMPARE(store.Get_Ptr_To_tblOnline()->_Requery(), 1);
    }
}

void TstStore::badFileIsLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << "text";
    QTest::newRow("damaged database") << "damaged";
    QTest::newRow("foreign database") << "foreign";
    QTest::newRow("folder") << "folder";
}

void TstStore::badFileIsLeftAlone()
{
    QFETCH(QString, kind);
    const QString path = UseFreshDatabase(QStringLiteral("bad"));
    if (kind == QLatin1String("text")) {
        WriteBytes(path, QByteArray("Standard Jet DB, or so it claims\n").repeated(200));
    } else if (kind == QLatin1String("damaged")) {
        {
            CStoreDB_Handler good(m_lang.get());
            QVERIFY(good.IsDatabaseOpen());
            QCOMPARE(AddRecords(good.Get_Ptr_To_tblEvents(), 300, [](int k, structEvents& e) {
                         e.TransponderNo = QStringLiteral("%1").arg(k, 10, 10, QLatin1Char('0'));
                         e.DetailText = QString(200, QLatin1Char('x'));
                     }),
                     RecordResult::Done);
        }
        QByteArray bytes = ReadBytes(path);
        QVERIFY(bytes.size() > 8 * 4096);
        for (int i = 4096 + 100; i < 8 * 4096; i += 7)   // pages behind the header page
            bytes[i] = char(0xA5 ^ i);
        WriteBytes(path, bytes);
    } else if (kind == QLatin1String("foreign")) {
        QVERIFY(Outside(path, QStringLiteral("CREATE TABLE invoices (nr INTEGER)")));
    } else {
        QVERIFY(QDir().mkpath(path));
    }
    const QByteArray before = ReadBytes(path);

    {
        CStoreDB_Handler store(m_lang.get());
        QVERIFY(!store.IsDatabaseOpen());
        QVERIFY(store.DatabaseError().contains(QDir::toNativeSeparators(path)));
        QVERIFY(store.DatabaseError().contains(QStringLiteral("cannot be opened")));
        QCOMPARE(store.Get_Ptr_To_tblTransponder()->_Requery(), 0);
        QCOMPARE(store.Get_Ptr_To_tblTransponder()->Open(), 0);
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "x"; }),
                 RecordResult::OpenFailed);
        const auto log = m_prompt->Log();
        QCOMPARE(int(log.size()), 1);
        QCOMPARE(log[0].text, m_lang->GetLangItem(83) + "\n" + m_lang->GetLangItem(84));
        QCOMPARE(log[0].icon, PromptIcon::Error);
        QCOMPARE(log[0].caption, m_lang->GetLangItem(74));
    }
    QCOMPARE(ReadBytes(path), before);
    QVERIFY(!QFile::exists(path + "-wal"));
}

void TstStore::fieldsRoundTrip()
{
    UseFreshDatabase(QStringLiteral("fields"));
    int32_t readerId = 0, eventId = 0, windowId = 0;
    {
        CStoreDB_Handler store(m_lang.get());
        QVERIFY(store.IsDatabaseOpen());
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) {
                     r.Name = "Leser_1A";
                     r.Info = "CE";
                     r.Identity = "CE0123456789ABCDEFGH";
                     r.Changed = 1;
                     r.Model = "Cedar";
                     r.SwitchTime = "12";
                     r.Params = "0A;00A1B2C3D4";
                 }, &readerId),
                 RecordResult::Done);
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblEvents(), [&](structEvents& e) {
                     e.TransponderNo = "00A1B2C3D4";
                     e.Date = "05122026";
                     e.Time = "1415";
                     e.ClassCode = "10";
                     e.ClassText = "Zutritt";
                     e.DetailCode = "011";
                     e.DetailText = "Tür geöffnet";   // beyond ASCII survives
                     e.ReaderID = readerId;
                     e.ReaderName = "Leser_1A";
                 }, &eventId),
                 RecordResult::Done);
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblZeitschema(), [](structZeitschema& w) {
                     w.Name = "Zeitplan_2F";
                     w.From = "0730";
                     w.To = "1800";
                     for (int d = 0; d < 7; ++d)
                         w.Day[d] = d % 2;
                     w.Changed = 1;
                 }, &windowId),
                 RecordResult::Done);
        QCOMPARE(windowId, 5);
    }
    CStoreDB_Handler store(m_lang.get());   // read back from the file
    const structLeser& r = store.Get_Ptr_To_tblLeser()->Get_Leser(0);
    QCOMPARE(r.ID, readerId);
    QCOMPARE(r.Identity, QStringLiteral("CE0123456789ABCDEFGH"));
    QCOMPARE(r.Model, QStringLiteral("Cedar"));
    QCOMPARE(r.SwitchTime, QStringLiteral("12"));
    QCOMPARE(r.Params, QStringLiteral("0A;00A1B2C3D4"));
    QCOMPARE(r.Changed, 1);
    const structEvents& e = store.Get_Ptr_To_tblEvents()->Get_Event(0);
    QCOMPARE(e.ID, eventId);
    QCOMPARE(e.Date, QStringLiteral("05122026"));
    QCOMPARE(e.DetailCode, QStringLiteral("011"));
    QCOMPARE(e.DetailText, QStringLiteral("Tür geöffnet"));
    QCOMPARE(e.ReaderID, readerId);
    QCOMPARE(e.ReaderName, QStringLiteral("Leser_1A"));
    QCOMPARE(e.Position, 1);
    const structZeitschema& w = store.Get_Ptr_To_tblZeitschema()->Get_Zeitschema(4);
    QCOMPARE(w.From, QStringLiteral("0730"));
    QCOMPARE(w.To, QStringLiteral("1800"));
    QCOMPARE(w.Day[0], 0);
    QCOMPARE(w.Day[1], 1);
    QCOMPARE(w.Day[6], 0);
    QCOMPARE(w.Position, 5);
}

void TstStore::cursorWalkEditDelete()
{
    UseFreshDatabase(QStringLiteral("walk"));
    CStoreDB_Handler store(m_lang.get());
    CtblPerson* t = store.Get_Ptr_To_tblPerson();
    QVERIFY(!t->IsOpen());
    QCOMPARE(t->Open(), 1);
    QVERIFY(t->IsOpen());
    QVERIFY(t->IsEOF());
    for (int i = 0; i < 6; ++i) {
        t->AddNew();
        t->Rec().Name = QStringLiteral("P%1").arg(i);
        t->Rec().TransponderID = i;
        QCOMPARE(t->Update(), 1);
    }
    t->Requery();
    // Edit the odd ones, delete the even ones, in one walk.
    int seen = 0;
    for (; !t->IsEOF(); t->MoveNext()) {
        ++seen;
        if (t->Rec().TransponderID % 2) {
            t->Edit();
            t->Rec().Name += QStringLiteral("*");
            t->Update();
        } else {
            t->Delete();
        }
    }
    QCOMPARE(seen, 6);
    t->Close();
    QVERIFY(!t->IsOpen());
    QVERIFY_THROWS_EXCEPTION(CDBException, t->AddNew());   // a closed cursor refuses to work

    QCOMPARE(t->_Requery(), 1);
    QCOMPARE(t->GetAnz_Person(), 3);
    QCOMPARE(t->Get_Person(0).Name, QStringLiteral("P1*"));
    QCOMPARE(t->Get_Person(2).Name, QStringLiteral("P5*"));
    QCOMPARE(t->Get_Person(2).Position, 3);

    // Patched in place: the reference is the cached record itself.
    t->Get_Person(1).Name = QStringLiteral("patched");
    QCOMPARE(t->Get_Person(1).Name, QStringLiteral("patched"));

    // An edit of a record someone else deleted is a store error, not a silent no-op.
    QCOMPARE(t->Open(), 1);
    QVERIFY(!t->IsEOF());
    QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("DELETE FROM tblPerson WHERE Name='P1*'")));
    t->Edit();
    t->Rec().Name = QStringLiteral("gone");
    QVERIFY_THROWS_EXCEPTION(CDBException, t->Update());
    t->Close();
}

void TstStore::removeAtStaleIndex()
{
    UseFreshDatabase(QStringLiteral("remove"));
    CStoreDB_Handler store(m_lang.get());
    CtblTransponder* t = store.Get_Ptr_To_tblTransponder();
    QCOMPARE(AddRecords(t, 3, [](int k, structTransponder& r) { r.Number = QStringLiteral("000000000%1").arg(k); }),
             RecordResult::Done);
    QCOMPARE(t->_Requery(), 1);
    // Rows 1 and 3 selected: indices 0 and 2, the second removed as 2 - 1.
    QCOMPARE(t->RemoveAt(0), 1);
    QCOMPARE(t->RemoveAt(2 - 1), 1);
    QCOMPARE(t->GetAnz_Transponder(), 1);
    QCOMPARE(t->Get_Transponder(0).Number, QStringLiteral("0000000001"));
    QCOMPARE(t->Get_Transponder(0).Position, 1);
    QCOMPARE(t->RemoveAt(1), 0);
    QCOMPARE(t->RemoveAt(-1), 0);
    QCOMPARE(t->Get_Transponder(5).ID, 0);   // a slip past the end gives a blank record
    t->RemoveAllData();
    QCOMPARE(t->GetAnz_Transponder(), 0);
    QCOMPARE(t->RemoveAt(0), 0);
}

void TstStore::onlineRequeryFailsWhenTableGone()
{
    UseFreshDatabase(QStringLiteral("online"));
    CStoreDB_Handler store(m_lang.get());
    QCOMPARE(store.Get_Ptr_To_tblOnline()->_Requery(), 1);
    QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("DROP TABLE tblOnline")));
    QCOMPARE(store.Get_Ptr_To_tblOnline()->_Requery(), 0);
    QCOMPARE(store.Get_Ptr_To_tblOnline()->Open(), 0);
    QVERIFY(!store.Get_Ptr_To_tblOnline()->OpenError().isEmpty());
    QCOMPARE(store.Get_Ptr_To_tblLeser()->_Requery(), 1);   // the others are unaffected
}

void TstStore::changePatternResults()
{
    UseFreshDatabase(QStringLiteral("pattern"));
    CStoreDB_Handler store(m_lang.get());
    CtblPerson* t = store.Get_Ptr_To_tblPerson();
    int32_t a = 0, b = 0;
    QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "A"; }, &a), RecordResult::Done);
    QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "B"; }, &b), RecordResult::Done);
    QVERIFY(a > 0 && b > a);
    QVERIFY(!t->IsOpen());

    QCOMPARE(EditRecordById(t, b, [](structPerson& p) { p.TransponderID = 42; }), RecordResult::Done);
    QCOMPARE(EditRecordById(t, 9999, [](structPerson& p) { p.Name = "never"; }), RecordResult::NotFound);
    QCOMPARE(DeleteRecordById(t, a), RecordResult::Done);
    QCOMPARE(DeleteRecordById(t, a), RecordResult::NotFound);
    QVERIFY(m_prompt->Log().empty());   // not-found is the caller's to report
    QVERIFY(!t->IsOpen());
    QCOMPARE(t->_Requery(), 1);
    QCOMPARE(t->GetAnz_Person(), 1);
    QCOMPARE(t->Get_Person(0).TransponderID, 42);

    // A store error: its own text, exclamation icon (or the one asked for), cursor closed.
    QVERIFY(Outside(store.GetAktDBPath(),
                    QStringLiteral("CREATE TRIGGER nomore BEFORE INSERT ON tblPerson BEGIN "
                                   "SELECT RAISE(ABORT, 'no more persons'); END")));
    QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "C"; }), RecordResult::StoreError);
    QCOMPARE(AddRecord(t, [](structPerson& p) { p.Name = "C"; }, nullptr, PromptIcon::Warning),
             RecordResult::StoreError);
    QVERIFY(!t->IsOpen());
    auto log = m_prompt->Log();
    QCOMPARE(int(log.size()), 2);
    QVERIFY(log[0].text.contains(QStringLiteral("no more persons")));
    QCOMPARE(log[0].icon, PromptIcon::Exclamation);
    QCOMPARE(log[0].caption, m_lang->GetLangItem(74));
    QCOMPARE(log[1].icon, PromptIcon::Warning);

    // A table that cannot be opened: texts 83 and 84, error icon, nothing changed.
    m_prompt->Clear();
    QVERIFY(Outside(store.GetAktDBPath(), QStringLiteral("ALTER TABLE tblPerson RENAME TO tblPersonOld")));
    QCOMPARE(EditRecordById(t, b, [](structPerson& p) { p.Name = "x"; }), RecordResult::OpenFailed);
    QCOMPARE(DeleteRecordsWhere(t, {}), RecordResult::OpenFailed);
    log = m_prompt->Log();
    QCOMPARE(int(log.size()), 2);
    QCOMPARE(log[0].text, m_lang->GetLangItem(83) + "\n" + m_lang->GetLangItem(84));
    QCOMPARE(log[0].icon, PromptIcon::Error);
    QVERIFY(!t->IsOpen());
}

void TstStore::scheduleWindowsStayTogether()
{
    UseFreshDatabase(QStringLiteral("schedules"));
    CStoreDB_Handler store(m_lang.get());
    CtblZeitschema* z = store.Get_Ptr_To_tblZeitschema();
    for (int s = 0; s < 3; ++s) {
        std::vector<int32_t> ids;
        QCOMPARE(AddRecords(z, 4, [s](int, structZeitschema& w) { w.Name = QStringLiteral("Zeitplan_%1").arg(s); },
                            &ids),
                 RecordResult::Done);
        QCOMPARE(int(ids.size()), 4);
        QCOMPARE(ids.back() - ids.front(), 3);
    }
    // Delete a middle schedule and add another: the new one still forms one block of four.
    int n = 0;
    QCOMPARE(DeleteRecordsWhere(z, [](const structZeitschema& w) { return w.Name == "Zeitplan_1"; }, &n),
             RecordResult::Done);
    QCOMPARE(n, 4);
    QCOMPARE(AddRecords(z, 4, [](int, structZeitschema& w) { w.Name = "Zeitplan_3"; }), RecordResult::Done);
    QCOMPARE(z->_Requery(), 1);
    QCOMPARE(z->GetAnz_Zeitschema(), 16);
    const QStringList expected{"Vollzugriff", "Zeitplan_0", "Zeitplan_2", "Zeitplan_3"};
    for (int i = 0; i < 16; ++i)
        QCOMPARE(z->Get_Zeitschema(i).Name, expected[i / 4]);

    // Clearing keeps the full-access schedule, under either name.
    z->Get_Zeitschema(0).Name = kFullAccessEn;   // the language switch is not stored
    QCOMPARE(DeleteRecordsWhere(z, [](const structZeitschema& w) { return !IsFullAccessName(w.Name); }),
             RecordResult::Done);
    QCOMPARE(z->_Requery(), 1);
    QCOMPARE(z->GetAnz_Zeitschema(), 4);
    QCOMPARE(z->Get_Zeitschema(0).ID, 1);
}

void TstStore::recordSurvivesKill()
{
    const QString path = UseFreshDatabase(QStringLiteral("kill"));
    { CStoreDB_Handler create(m_lang.get()); }
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(QCoreApplication::applicationDirPath() + QStringLiteral("/records_kill_helper"),
                 {QStringLiteral("KILLTEST01")});
    QVERIFY(helper.waitForStarted(10000));
    QByteArray out;
    while (!out.contains('\n') && helper.waitForReadyRead(20000))
        out += helper.readAllStandardOutput();
    QVERIFY2(out.startsWith("stored "), out.constData());
    helper.kill();   // SIGKILL: no destructors, no checkpoint
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
    const int id = out.mid(7).trimmed().toInt();
    QVERIFY(id > 0);

    CStoreDB_Handler store(m_lang.get());
    QVERIFY(store.IsDatabaseOpen());
    CtblEvents* e = store.Get_Ptr_To_tblEvents();
    QCOMPARE(e->GetAnz_Events(), 1);
    QCOMPARE(e->Get_Event(0).ID, id);
    QCOMPARE(e->Get_Event(0).TransponderNo, QStringLiteral("KILLTEST01"));
    QCOMPARE(path, store.GetAktDBPath());
}

void TstStore::flushedFileIsCompleteAndReplaceable()
{
    const QString path = UseFreshDatabase(QStringLiteral("flush"));
    const QString copy = QFileInfo(path).absolutePath() + QStringLiteral("/copy.mdb");
    QFile::remove(copy);
    {
        CStoreDB_Handler store(m_lang.get());
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "backed up"; }),
                 RecordResult::Done);
        QCOMPARE(store.FlushDatabaseFile(), 1);
        QVERIFY(QFile::copy(path, copy));   // the file alone, as a backup copies it
        QCOMPARE(AddRecord(store.Get_Ptr_To_tblPerson(), [](structPerson& p) { p.Name = "later"; }),
                 RecordResult::Done);
    }
    // The handler let go of the file: a restore replaces it and a new handler sees the copy.
    QVERIFY(!QFile::exists(path + "-wal"));
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::copy(copy, path));
    CStoreDB_Handler store(m_lang.get());
    QVERIFY(store.IsDatabaseOpen());
    QCOMPARE(store.Get_Ptr_To_tblPerson()->GetAnz_Person(), 1);
    QCOMPARE(store.Get_Ptr_To_tblPerson()->Get_Person(0).Name, QStringLiteral("backed up"));
    QCOMPARE(store.Get_Ptr_To_tblZeitschema()->GetAnz_Zeitschema(), 4);
}

void TstStore::workerAddsWhileGuiReads()
{
    UseFreshDatabase(QStringLiteral("threads"));
    CStoreDB_Handler store(m_lang.get());
    CtblEvents* events = store.Get_Ptr_To_tblEvents();
    CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    QCOMPARE(AddRecord(persons, [](structPerson& p) { p.Name = "gui"; }), RecordResult::Done);
    QCOMPARE(persons->_Requery(), 1);
    const int32_t personId = persons->Get_Person(0).ID;

    constexpr int kEvents = 400;
    std::atomic<int> stored{0};
    std::atomic<bool> failed{false};
    // As the event-reading worker does: its own cursor, one record per event, a reload now and
    // then and at the end.
    QThread* worker = QThread::create([&] {
        try {
            if (!events->IsOpen() && !events->Open()) {
                failed = true;
                return;
            }
            for (int i = 0; i < kEvents; ++i) {
                events->AddNew();
                events->Rec().TransponderNo = QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0'));
                events->Rec().ReaderID = 7;
                events->Update();
                ++stored;
                if (i % 100 == 99 && !events->_Requery())
                    failed = true;
            }
            events->Close();
            if (!events->_Requery())
                failed = true;
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
        QCOMPARE(EditRecordById(persons, personId, [&](structPerson& p) { p.TransponderID = ++edits; }),
                 RecordResult::Done);
        QCoreApplication::processEvents();
    }
    worker->wait();
    delete worker;
    QVERIFY(!failed);
    QCOMPARE(stored.load(), kEvents);
    QTRY_COMPARE(events->GetAnz_Events(), kEvents);   // the worker's last reload reaches the GUI
    for (int i = 0; i < kEvents; ++i)
        QCOMPARE(events->Get_Event(i).TransponderNo, QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')));
    QVERIFY(!events->IsOpen());
    QCOMPARE(persons->_Requery(), 1);
    QCOMPARE(persons->Get_Person(0).TransponderID, edits);
    QVERIFY(m_prompt->Log().empty());
}

void TstStore::olderWorkerReloadNeverWins()
{
    UseFreshDatabase(QStringLiteral("generations"));
    CStoreDB_Handler store(m_lang.get());
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    QCOMPARE(AddRecord(t, [](structLeser& r) { r.Name = "first"; }), RecordResult::Done);
    int workerResult = -1;
    QThread* worker = QThread::create([&] { workerResult = t->_Requery(); });
    worker->start();
    worker->wait();   // its list is on its way to this thread, not yet in place
    delete worker;
    QCOMPARE(workerResult, 1);
    QCOMPARE(t->GetAnz_Leser(), 0);
    QCOMPARE(AddRecord(t, [](structLeser& r) { r.Name = "second"; }), RecordResult::Done);
    QCOMPARE(t->_Requery(), 1);
    QCOMPARE(t->GetAnz_Leser(), 2);
    QCoreApplication::processEvents();   // the worker's older list arrives now and is dropped
    QCOMPARE(t->GetAnz_Leser(), 2);
    QCOMPARE(t->Get_Leser(1).Name, QStringLiteral("second"));
}

QTEST_GUILESS_MAIN(TstStore)
#include "tst_store.moc"
