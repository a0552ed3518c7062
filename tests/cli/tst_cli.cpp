// vendrik-cli as a user runs it: the built program started as a process, a simulated reader on
// a COM link, a temporary database per case. The test reads what the program printed, its exit
// status, the database and the simulated reader's memory afterwards.
#include "SimEvents.h"
#include "ReaderSim.h"
#include "link/CSerialLink.h"
#include "support/CliProcess.h"
#include "support/FoundationFixture.h"
#include "support/OnlineFixture.h"
#include "support/StoreBackends.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>

namespace {

constexpr int kCom = 41;

using Outcome = VmTest::CliOutcome;
using VmTest::WriteFile;

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_dbSerial = 0;

    // A database file no other case uses.
    QString NewDb() { return m_dir.filePath(QStringLiteral("db%1.mdb").arg(++m_dbSerial)); }

    Outcome Run(const QStringList& args, int timeoutMs = 60000) { return VmTest::RunCli(args, m_dir.path(), timeoutMs); }

    // The readers the database holds now.
    static int Readers(const QString& db) { return VmTest::Outside(db, {"SELECT COUNT(*) FROM tblLeser"}).toInt(); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        QVERIFY(m_dir.isValid());
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"erase-all"};
        QTest::newRow("option of another command") << QStringList{"ports", "--clear"};
        QTest::newRow("missing file") << QStringList{"backup"};
        QTest::newRow("export kind") << QStringList{"export", "schedules", "x.csv"};
        QTest::newRow("import kind") << QStringList{"import", "events", "x.csv"};
        QTest::newRow("com 257") << QStringList{"identify", "--com", "257"};
        QTest::newRow("com text") << QStringList{"identify", "--com", "first"};
        QTest::newRow("language") << QStringList{"ports", "--lang", "fr"};
        QTest::newRow("from without to") << QStringList{"read-events", "--from", "010126"};
        QTest::newRow("no such day") << QStringList{"read-events", "--from", "310226", "--to", "010326"};
        QTest::newRow("json to stdout") << QStringList{"export", "events", "-", "--json"};
        QTest::newRow("file and url") << QStringList{"ports", "--db-url", "postgresql://vm@/vendrik"};
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        const QString db = NewDb();
        const Outcome o = Run(args + QStringList{"--db", db});
        QCOMPARE(o.status, 2);
        QVERIFY(o.out.isEmpty());
        QVERIFY(!o.err.isEmpty());
        // Refused before anything was done: not even a database was made.
        QVERIFY(!QFileInfo::exists(db));
    }

    // --db-url takes only a server's URL; with the test server it works like --db.
    void sharedDatabase()
    {
        QCOMPARE(Run({"export", "persons", "-", "--db-url", m_dir.filePath("x.mdb")}).status, 2);
        QCOMPARE(Run({"export", "persons", "-", "--db-url", "postgresql://vm:secret@/vendrik"}).status, 2);
        VmTest::FreshStores fresh;
        VM_FRESH_STORE(loc, fresh, QStringLiteral("postgresql"));
        QUrl server(VmTest::PgTestUrl());
        server.setPath(QLatin1Char('/') + loc.database);
        const QString url = server.toString();
        QVERIFY(VmTest::SeedPerson(*OpenRecordStore(url, nullptr), "Cli Shared") > 0);
        const Outcome o = Run({"export", "persons", "-", "--db-url", url});
        QCOMPARE(o.status, 0);
        QVERIFY2(o.out.contains("Cli Shared"), o.out.constData());
    }

    void unopenableDatabase()
    {
        const QString garbage = m_dir.filePath(QStringLiteral("garbage.mdb"));
        WriteFile(garbage, QByteArray("this is no database\n").repeated(200));
        const Outcome o = Run({"export", "events", m_dir.filePath("e.csv"), "--db", garbage, "--json"});
        QCOMPARE(o.status, 3);
        QCOMPARE(o.Json().value("status").toInt(), 3);
        QVERIFY(o.err.contains("garbage.mdb"));
        QCOMPARE(VmTest::ReadFile(garbage).size(), 20 * 200);   // left exactly as it was
        QVERIFY(!QFileInfo::exists(m_dir.filePath("e.csv")));
    }

    // A transponder file imported, exported again unchanged (to a file and to standard output),
    // and stopped at a line of another kind.
    void exportImportRoundTrip()
    {
        const QString db = NewDb();
        {
            CStoreDB_Handler store(nullptr, StoreLocation::Parse(db));
            QVERIFY(VmTest::SeedReader(store, "Gate") > 0 && VmTest::SeedReader(store, "Lab") > 0);
        }
        const QByteArray lines = "Transponder;0001234567;Anna Berg;Vollzugriff;Gate;Lab\r\n"
                                 "Transponder;0007654321;---;Vollzugriff;;Lab\r\n";
        const QString in = m_dir.filePath(QStringLiteral("in.csv"));
        WriteFile(in, lines);

        Outcome o = Run({"import", "transponders", in, "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.Json().value("import").toObject().value("imported").toInt(), 2);
        const QString out = m_dir.filePath(QStringLiteral("out.csv"));
        o = Run({"export", "transponders", out, "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.Json().value("export").toObject().value("lines").toInt(), 2);
        QCOMPARE(VmTest::ReadFile(out), lines);
        QCOMPARE(Run({"export", "transponders", "-", "--db", db}).out, lines);

        // A person line in a transponder file: the safe answer stops reading there.
        const QString mixed = m_dir.filePath(QStringLiteral("mixed.csv"));
        WriteFile(mixed, "Transponder;0000000011;---;Vollzugriff\r\nPerson;Eva;0000000022;Vollzugriff\r\n"
                         "Transponder;0000000033;---;Vollzugriff\r\n");
        o = Run({"import", "transponders", mixed, "--db", NewDb(), "--json"});
        QCOMPARE(o.status, 1);
        QCOMPARE(o.Json().value("import").toObject().value("stopped").toBool(), true);
        QCOMPARE(o.Json().value("import").toObject().value("imported").toInt(), 1);

        QCOMPARE(Run({"import", "transponders", m_dir.filePath("missing.csv"), "--db", db}).status, 1);
        QCOMPARE(Run({"export", "events", m_dir.filePath("no/such/folder/e.csv"), "--db", db}).status, 1);
    }

    void backupAndRestore()
    {
        const QString db = NewDb();
        const auto addReader = [&](const char* name) {
            CStoreDB_Handler store(nullptr, StoreLocation::Parse(db));
            QVERIFY(VmTest::SeedReader(store, name) > 0);
        };
        addReader("Kept");
        const QString copy = m_dir.filePath(QStringLiteral("copy.bak"));   // no ".mdb" rule: the name as given
        QCOMPARE(Run({"backup", copy, "--db", db}).status, 0);
        addReader("Later");
        const QDir dir(m_dir.path());
        const auto safetyCopies = [&] { return dir.entryList({QFileInfo(db).completeBaseName() + "_Backup_*.mdb"}).size(); };

        Outcome o = Run({"restore", copy, "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.Json().value("safetyCopy").toBool(), true);
        QCOMPARE(safetyCopies(), 1);
        QCOMPARE(Readers(db), 1);
        QCOMPARE(Run({"restore", copy, "--db", db, "--no-safety-copy"}).status, 0);
        QCOMPARE(safetyCopies(), 1);

        // The stored language is German; the core's own message follows --lang en.
        o = Run({"backup", db, "--db", db});
        QCOMPARE(o.status, 1);
        QVERIFY2(o.err.contains("The backup cannot replace the database itself."), o.err.constData());
    }

    // The reader is registered as the program registers it, and recognised the next time.
    void identifyBusReader()
    {
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Maple));
        online.Reader().SetDeviceId("MA0123456789ABCDEF01");
        const QString db = NewDb();

        Outcome o = Run({"identify", "--db", db, "--json"});   // the port from "nAktCOM"
        QVERIFY2(o.status == 0, o.err.constData());
        QCOMPARE(o.Json().value("port").toInt(), kCom);
        const QJsonObject reader = o.Json().value("reader").toObject();
        QCOMPARE(reader.value("model").toString(), QStringLiteral("Maple"));
        QCOMPARE(reader.value("deviceId").toString(), QStringLiteral("MA0123456789ABCDEF01"));
        QCOMPARE(reader.value("registration").toString(), QStringLiteral("new"));
        const QString name = reader.value("name").toString();

        // --com wins over the setting and leaves it as it is.
        Settings::WriteAktCom(77);
        o = Run({"identify", "--com", QString::number(kCom), "--db", db});
        QCOMPARE(o.status, 0);
        QCOMPARE(Settings::ReadAktCom(), 77u);
        Settings::WriteAktCom(kCom);
        QVERIFY(o.out.contains("Maple") && o.out.contains(name.toLatin1()));
        QCOMPARE(Readers(db), 1);

        // The port held by someone else (here this test): a clear message, and nobody shares it.
        CSerialLink holder;
        QVERIFY(holder.OpenComPort("COM" + QByteArray::number(kCom), 1));
        o = Run({"identify", "--db", db});
        QCOMPARE(o.status, 1);
        QVERIFY2(o.err.contains("in use"), o.err.constData());
        holder.CloseComPort();

        // No reader there any more: "no connection" once, then why.
        online.Stop();
        o = Run({"identify", "--db", db, "--json"});
        QCOMPARE(o.status, 1);
        QCOMPARE(o.Json().value("ok").toBool(), false);
        const QJsonArray messages = o.Json().value("messages").toArray();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(0).toObject().value("text").toString(), QStringLiteral("No connection to the reader could be made!"));
        QVERIFY(messages.at(1).toObject().value("text").toString().contains(QStringLiteral("cannot be opened")));
    }

    // Nights of the cron job: all events stored and the memory emptied, then a night without
    // events, which is no failure; a date filter that leaves events in the reader; a reader
    // that stops answering.
    void nightlyReadEventsClear()
    {
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Cedar));
        online.Reader().SetDeviceId("CE0123456789ABCDEF01");
        online.Reader().SetEvents(Sim::VariedEvents(12));
        const QString db = NewDb();

        Outcome o = Run({"read-events", "--clear", "--quiet", "--db", db, "--json"});
        QVERIFY2(o.status == 0, o.err.constData());
        QVERIFY(o.err.isEmpty());   // --quiet: nothing for cron to mail
        QJsonObject events = o.Json().value("events").toObject();
        QCOMPARE(events.value("read").toInt(), 12);
        QCOMPARE(events.value("cleared").toBool(), true);
        QCOMPARE(online.Reader().EventPointer(), 0xFFFFu);
        // Stored under the reader the tool registered.
        CStoreDB_Handler stored(nullptr, StoreLocation::Parse(db));
        const int32_t reader = stored.Get_Ptr_To_tblLeser()->Get_Leser(0).ID;
        QCOMPARE(stored.Get_Ptr_To_tblEvents()->IndicesOfReader(reader).size(), size_t(12));

        o = Run({"read-events", "--clear", "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        QCOMPARE(o.Json().value("events").toObject().value("stored").toInt(), 0);
        QCOMPARE(o.Json().value("events").toObject().value("cleared").toBool(), false);

        online.Reader().SetEvents(Sim::VariedEvents(6));
        o = Run({"read-events", "--clear", "--from", "010100", "--to", "020100", "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        QVERIFY(o.Json().value("events").toObject().value("stored").toInt() < 6);
        QCOMPARE(o.Json().value("events").toObject().value("cleared").toBool(), false);
        QVERIFY(online.Reader().EventPointer() != 0xFFFFu);

        Sim::SimFaults faults;
        faults.shortEvents = true;
        online.Reader().SetFaults(faults);
        o = Run({"read-events", "--clear", "--db", db, "--json"}, 120000);
        QCOMPARE(o.status, 1);
        QVERIFY(online.Reader().EventPointer() != 0xFFFFu);
    }

    // Badges presented while --clear reads: what they recorded is read too before the reader
    // is emptied, or the reader keeps everything. Each event is in the database or the reader.
    void clearKeepsWhatArrivesDuringTheRead_data()
    {
        QTest::addColumn<QString>("arrival");   // when the simulated reader records more
        QTest::addColumn<bool>("cleared");
        QTest::newRow("30 during the read") << "E0005" << true;
        QTest::newRow("one with every query") << "E" << false;
    }
    void clearKeepsWhatArrivesDuringTheRead()
    {
        QFETCH(QString, arrival);
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Cedar));
        Sim::ReaderSim& sim = online.Reader();
        sim.SetDeviceId("CE0123456789ABCDEF02");
        sim.SetEvents(Sim::VariedEvents(12));
        std::atomic<int> recorded{12};
        const std::string when = arrival.toStdString();
        sim.SetTrafficListener([&](const Sim::SimLogEntry& e) {
            if (e.command != 'L' || e.data.rfind(when, 0) != 0 || (when.size() > 1 && recorded > 12))
                return;
            const int n = when.size() > 1 ? 30 : 1;
            sim.AddEvents(Sim::VariedEvents(n));
            recorded += n;
        });
        const QString db = NewDb();
        const Outcome o = Run({"read-events", "--clear", "--db", db, "--json"}, 120000);
        sim.SetTrafficListener(nullptr);
        QVERIFY2(o.status == 0, o.err.constData());
        const QJsonObject events = o.Json().value("events").toObject();
        QTEST(events.value("cleared").toBool(), "cleared");
        const int stored = CStoreDB_Handler(nullptr, StoreLocation::Parse(db)).Get_Ptr_To_tblEvents()->GetAnz_Events();
        QCOMPARE(events.value("stored").toInt(), stored);
        if (events.value("cleared").toBool()) {
            QCOMPARE(stored, recorded.load());
            QCOMPARE(sim.EventPointer(), 0xFFFFu);
        } else {
            QCOMPARE(sim.EventCount(), recorded.load());
            QVERIFY(o.err.contains("New events arrived"));
        }
    }

    // fetch-all brings the reader's list into the database, and asks first when the database
    // holds changes not yet written to the reader.
    void fetchAllAsksFirst()
    {
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Cedar));
        online.Reader().SetDeviceId("CE9876543210FEDCBA01");
        online.Reader().SetTransponders({"0000000101", "0000000102", "0000000999"});
        const QString db = NewDb();
        {
            CStoreDB_Handler store(nullptr, StoreLocation::Parse(db));
            AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) {
                r.Name = "Gate", r.Model = "Cedar", r.Identity = "CE9876543210FEDCBA01", r.Changed = 1;
            });
            for (const char* number : {"0000000101", "0000000102"})
                QVERIFY(VmTest::SeedTransponder(store, number, "1") > 0);
        }
        Outcome o = Run({"fetch-all", "--db", db, "--json"});
        QCOMPARE(o.status, 1);   // the safe answer: the unwritten changes are kept
        QVERIFY(o.err.contains("--yes"));
        o = Run({"fetch-all", "--yes", "--db", db, "--json"});
        QVERIFY2(o.status == 0, o.err.constData());
        QCOMPARE(o.Json().value("fetched").toObject().value("transponders").toInt(), 3);
        QCOMPARE(o.Json().value("fetched").toObject().value("added").toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
