// The audit commands of vendrik-cli as a user runs them: compare against a simulated Cedar
// (a revoked number still in the reader, a new one not yet there, a parameter changed, then
// write-all, then a reader unplugged mid-read), status, and the event report read back with
// pdfinfo and pdftotext.
#include "support/CliProcess.h"
#include "support/OnlineFixture.h"
#include "support/SiteEvents.h"
#include "support/StoreBackends.h"
#include "support/TestEnv.h"

#include <QJsonArray>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kCom = 43;
const QString kDeviceId = QStringLiteral("CE00000000000000AUD1");

QString Tool(const QString& name, const QStringList& args)
{
    QProcess p;
    p.start(name, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestAuditCli : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_serial = 0;
    QString m_month;   // four readers' events of January 2026, 840 of them

    QString NewDb() { return m_dir.filePath(QStringLiteral("audit%1.mdb").arg(++m_serial)); }
    VmTest::CliOutcome Run(const QStringList& args, int timeoutMs = 90000) { return VmTest::RunCli(args, m_dir.path(), timeoutMs); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        QVERIFY(m_dir.isValid());
        m_month = NewDb();
        CStoreDB_Handler store(nullptr, StoreLocation::Parse(m_month));
        VmTest::FillSite(store, 840, QDate(2026, 1, 1));
    }

    // The site owner's question: does the reader still let in a badge we revoked?
    void compareNamesRevokedAndNew()
    {
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Cedar));
        Sim::ReaderSim& sim = online.Reader();
        sim.SetDeviceId(kDeviceId.toStdString());
        sim.SetTransponders({"0000000101", "0000000102"});
        sim.SetParam(0, 0xF0);
        sim.SetParam(1, 7);
        const QString db = NewDb();
        {
            CStoreDB_Handler store(nullptr, StoreLocation::Parse(db));
            int32_t gate = 0;
            AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) {
                r.Name = "Gate", r.Model = "Cedar", r.Identity = kDeviceId, r.Params = "F0", r.SwitchTime = "5", r.Changed = 1;
            }, &gate);
            const QString own = QString::number(gate);
            for (const auto& [number, readers] : {std::pair{"0000000101", QString()}, std::pair{"0000000102", own},
                                                 std::pair{"0000000103", own}})
                VmTest::SeedTransponder(store, number, readers);
        }

        VmTest::CliOutcome o = Run({"compare", "--db", db, "--json"});
        QVERIFY2(o.status == 4, o.err.constData());
        QJsonObject json = o.Json();
        QCOMPARE(json.value("onlyInReader").toArray(), QJsonArray{"0000000101"});
        QCOMPARE(json.value("onlyInDatabase").toArray(), QJsonArray{"0000000103"});
        const QJsonObject param{{"parameter", 1}, {"reader", "0007"}, {"database", "0005"}};
        QCOMPARE(json.value("params").toArray(), QJsonArray{param});

        // In plain words the risk comes first.
        o = Run({"compare", "--db", db});
        QCOMPARE(o.status, 4);
        const QString text = QString::fromUtf8(o.out);
        QVERIFY2(text.indexOf("still open the door") < text.indexOf("0000000101")
                     && text.indexOf("0000000101") < text.indexOf("not written yet"), qPrintable(text));

        // status: the reader is marked as pending until write-all.
        o = Run({"status", "--db", db, "--json"});
        QCOMPARE(o.status, 0);
        const QJsonObject gate = o.Json().value("readers").toArray().at(0).toObject();
        QCOMPARE(gate.value("pending").toBool(), true);
        QCOMPARE(gate.value("deviceId").toString(), kDeviceId);

        o = Run({"write-all", "--db", db, "--json"});
        QVERIFY2(o.status == 0, o.err.constData());
        QCOMPARE(o.Json().value("written").toObject().value("transponders").toInt(), 2);
        o = Run({"compare", "--db", db, "--json"});
        QVERIFY2(o.status == 0, o.out.constData());
        QVERIFY(o.Json().value("same").toBool());

        // Unplugged after the first slot: a failure, not a difference.
        sim.SetTransponders({"0000000102", "0000000103", "0000000999"});
        sim.AimFault({Sim::AimedFault::Kind::SilenceAfter, "LT", 1});
        QCOMPARE(Run({"compare", "--db", db, "--json"}, 180000).status, 1);
    }

    // A Birch is read as its send dialog reads it (the master in slot 0 is not compared).
    void compareDeskReader()
    {
        VmTest::OnlineFixture online(kCom);
        QVERIFY(online.Start(Sim::Model::Birch));
        online.Reader().SetTransponders({"00000AAAAA", "0000000201", "0000000202"});
        const QString db = NewDb();
        {
            CStoreDB_Handler store(nullptr, StoreLocation::Parse(db));
            int32_t desk = 0;
            AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) { r.Name = "Desk", r.Model = "Birch", r.Identity = "---"; }, &desk);
            for (const char* number : {"0000000202", "0000000203"})
                VmTest::SeedTransponder(store, number, QString::number(desk));
        }
        const VmTest::CliOutcome o = Run({"compare", "--register-as", "Desk", "--db", db, "--json"}, 180000);
        QVERIFY2(o.status == 4, o.err.constData());
        QCOMPARE(o.Json().value("onlyInReader").toArray(), QJsonArray{"0000000201"});
        QCOMPARE(o.Json().value("onlyInDatabase").toArray(), QJsonArray{"0000000203"});
        QVERIFY(o.Json().value("params").toArray().isEmpty());
    }

    // A month of events: the period's days 5 to 31 of January hold 720 of the 840.
    void reportOfAMonth()
    {
        constexpr int events = 720;
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext is missing (scripts/deps.sh installs poppler-utils)");
        const QString pdf = m_dir.filePath(QStringLiteral("report.pdf"));
        const VmTest::CliOutcome o =
            Run({"report", "--from", "050126", "--to", "310126", pdf, "--db", m_month, "--json"});
        QVERIFY2(o.status == 0, o.err.constData());
        const int pages = 1 + (events + 59) / 60;   // page 1, then sixty events a page
        QVERIFY(Tool("pdfinfo", {pdf}).contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
        const QString text = Tool("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(text.contains("Period: 05.01.2026 to 31.01.2026"));
        // Summary: each reader 180 (60 of each class), the total row the whole period.
        QVERIFY2(text.contains(QRegularExpression("Door 4\\s+60\\s+60\\s+60\\s+180")), qPrintable(text.left(2000)));
        QVERIFY(text.contains(QRegularExpression(QStringLiteral("Total\\s+%1\\s+%1\\s+%1\\s+%2").arg(events / 3).arg(events))));
        static const QRegularExpression row(QStringLiteral("^\\s*\\d\\d\\.01\\.2026\\s+\\d\\d:\\d\\d"),
                                            QRegularExpression::MultilineOption);
        int rows = 0;
        for (auto it = row.globalMatch(text); it.hasNext(); it.next())
            ++rows;
        QCOMPARE(rows, events);
    }

    void reportRefusals()
    {
        const QString& db = m_month;
        QCOMPARE(Run({"report", m_dir.filePath("x.pdf"), "--db", db}).status, 2);   // no period
        QCOMPARE(Run({"report", "--from", "010126", "--to", "310126", "--reader", "Nobody", m_dir.filePath("x.pdf"), "--db", db})
                     .status, 1);
        QCOMPARE(Run({"report", "--from", "010126", "--to", "310126", m_dir.filePath("no/such/dir/x.pdf"), "--db", db}).status, 1);
        QVERIFY(!QFileInfo::exists(m_dir.filePath("x.pdf")));
    }
};

QTEST_GUILESS_MAIN(TestAuditCli)
#include "tst_AuditCli.moc"
