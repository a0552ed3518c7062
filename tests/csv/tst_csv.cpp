// CSV export and import without a window: the code page both ways, a table of malformed input,
// replacements, the round trip, a store error in the middle of a line, and files that cannot
// be written or read.
#include "base/Prompt.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "records/CStoreTransaction.h"
#include "records/ScheduleOps.h"
#include "support/StoreBackends.h"
#include "csv/CsvTestSupport.h"
#include "texts/CLanguageHandler.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QtTest>

using namespace CsvTest;

class TstCsv : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    ScriptedPrompt m_prompt;
    std::unique_ptr<CStoreDB_Handler> m_store;
    int32_t m_r[3] = {};
    int32_t m_early = 0;

    // Three readers, the schedule "Frueh", and four transponders of every shape.
    void Populate()
    {
        m_r[0] = AddReader(*m_store, QStringLiteral("Door"));
        m_r[1] = AddReader(*m_store, QStringLiteral("Gate"));
        m_r[2] = AddReader(*m_store, QStringLiteral("Lab"));
        std::vector<int32_t> early;
        ScheduleOps::AddSchedule(m_store.get(), QStringLiteral("Frueh"), ScheduleOps::DefaultWindows(), &early);
        m_early = early.front();
        AddTransponder(*m_store, QStringLiteral("0A1B2C3D4E"), QStringLiteral("Anna"), m_early, QString::number(m_r[1]));
        AddTransponder(*m_store, QStringLiteral("00FF112233"), QStringLiteral("Jörg"), 1,
                       QStringLiteral(";%1;%2;").arg(m_r[0]).arg(m_r[2]));
        AddTransponder(*m_store, QStringLiteral("1234ABCD99"), QString(), m_early, QStringLiteral("0"));
        AddTransponder(*m_store, QStringLiteral("FFFFFFFFFF"), QStringLiteral("Ben"), 1, QString());
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        QVERIFY(m_lang->IsLoaded());
    }
    void init()
    {
        m_prompt.Clear();
        m_store.reset();
        m_store = FreshStore(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        Populate();
    }

    // Written in Windows-1252 with CR LF, "?" for what it lacks (and counted); read back from
    // UTF-8 with and without BOM, as spreadsheet programs save it (from Windows-1252: roundTrip).
    void encoding()
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const CsvWriteResult w = WriteCsvLines(out, {QStringLiteral("Person;Jörg €;x"), QStringLiteral("Person;Ωmega 😀")});
        QVERIFY(w.ok);
        QCOMPARE(w.replaced, 2);
        QCOMPARE(out.data(), QByteArray("Person;J\xF6rg \x80;x\r\nPerson;?mega ?\r\n"));
        for (const QByteArray& bytes : {QByteArray("\xEF\xBB\xBFPerson;J\xC3\xB6rg \xE2\x82\xAC;\r\n"),
                                        QByteArray("Person;J\xC3\xB6rg \xE2\x82\xAC;\n")}) {
            CCsvImporter importer(m_store.get(), m_lang.get());
            const CsvReadResult r = importer.ReadFile(WriteTemp(QStringLiteral("utf8"), bytes), CsvImportKind::Persons);
            QCOMPARE(r.taken, QStringList({QStringLiteral("Jörg €;")}));
        }
    }

    // Each malformed file: the questions asked (by line number), what the store holds after,
    // and the error list.
    void malformedLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<QStringList>("asked");        // line numbers of the foreign-line question
        QTest::addColumn<QStringList>("added");        // dump lines of the new transponders
        QTest::addColumn<QStringList>("errors");

        QTest::newRow("empty lines are foreign, Yes goes on")
            << QByteArray("Transponder;0000000001;---;\r\n\r\nTransponder;0000000002;---;\n") << true << QStringList{"2"}
            << QStringList{"0000000001|-|Vollzugriff|", "0000000002|-|Vollzugriff|"} << QStringList{};
        // Split, its rest names no schedule: refused, not given full access.
        QTest::newRow("semicolon inside a name splits it")
            << QByteArray("Transponder;0000000003;Doe;John;Frueh;Gate\r\n") << true << QStringList{} << QStringList{}
            << QStringList{"Nr.: 1 -> 0000000003;Doe;John;Frueh;Gate"};
        QTest::newRow("9 and 11 characters, too few fields")
            << QByteArray("Transponder;000000001;---;\r\nTransponder;00000000011;---;\r\nTransponder;0000000001\r\n")
            << true << QStringList{"3"} << QStringList{}
            << QStringList{"Nr.: 1 -> 000000001;---;", "Nr.: 2 -> 00000000011;---;"};
        QTest::newRow("unknown readers ignored, unknown schedule refused")
            << QByteArray("Transponder;0000000004;Eve;Frueh;Lab;Nobody;lab;Door;Lab\r\n"
                          "Transponder;0000000014;Eve;Spaet;Lab\r\n") << true << QStringList{}
            << QStringList{"0000000004|Eve|Frueh|Lab,Door"} << QStringList{"Nr.: 2 -> 0000000014;Eve;Spaet;Lab"};
        QTest::newRow("number upper-cased, not hexadecimal refused")
            << QByteArray("Transponder;00000000ab;---;\r\nTransponder;000000000G;---;\r\nTransponder; 000000001;---;\r\n")
            << true << QStringList{} << QStringList{"00000000AB|-|Vollzugriff|"}
            << QStringList{"Nr.: 2 -> 000000000G;---;", "Nr.: 3 ->  000000001;---;"};
        QTest::newRow("control characters refused")
            << QByteArray("Transponder;0000000008;Eve\x00;Frueh\r\nTransponder;0000000009;Ev\te;\r\n", 65) << true
            << QStringList{} << QStringList{}
            << QStringList{QString::fromUtf8("Nr.: 1 -> 0000000008;Eve\uFFFD;Frueh"), QString::fromUtf8("Nr.: 2 -> 0000000009;Ev\uFFFDe;")};
        QTest::newRow("schedule by name, full access by either name")
            << QByteArray("Transponder;0000000005;---;Frueh\r\nTransponder;0000000006;---;Full access;Gate\r\n") << true
            << QStringList{} << QStringList{"0000000005|-|Frueh|", "0000000006|-|Vollzugriff|Gate"} << QStringList{};
        QTest::newRow("present number and repeated number refused")
            << QByteArray("Transponder;0A1B2C3D4E;Zoe;\r\nTransponder;0000000007;---;\r\nTransponder;0000000007;---;\r\n")
            << true << QStringList{} << QStringList{"0000000007|-|Vollzugriff|"}
            << QStringList{"Nr.: 1 -> 0A1B2C3D4E;Zoe;", "Nr.: 3 -> 0000000007;---;"};
    }
    void malformedLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, goOn);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, added);
        QFETCH(QStringList, errors);
        const QStringList before = Dump(*m_store);
        QStringList questions;
        CsvImportHooks hooks;
        hooks.askForeignLine = [&](int line) { questions << QString::number(line); return goOn; };
        CCsvImporter importer(m_store.get(), m_lang.get(), hooks);
        const CsvImportResult r = importer.ImportFile(WriteTemp(QStringLiteral("bad.csv"), file), CsvImportKind::Transponders);
        QVERIFY(r.opened);
        QCOMPARE(questions, asked);
        QCOMPARE(r.errors, errors);
        QStringList now = Dump(*m_store);
        for (const QString& line : before)
            now.removeOne(line);
        QCOMPARE(now, added);
    }

    // A person named in the file replaces the person of that name; a person line replaces the
    // transponder of its number, and the person that held it keeps no dangling link.
    void replacements()
    {
        CCsvImporter importer(m_store.get(), m_lang.get());
        importer.ImportLines(CsvImportKind::Transponders, {QStringLiteral("0000000009;Anna;Frueh")});
        importer.ImportLines(CsvImportKind::Persons, {QStringLiteral("Carl;FFFFFFFFFF;Frueh;Lab"), QStringLiteral("Dora")});
        QCOMPARE(Dump(*m_store), QStringList({"0000000009|Anna|Frueh|", "00FF112233|Jörg|Vollzugriff|Door,Lab",
                                              "0A1B2C3D4E|-|Frueh|Gate", "1234ABCD99|-|Frueh|", "FFFFFFFFFF|Carl|Frueh|Lab"}));
        CtblPerson* persons = m_store->Get_Ptr_To_tblPerson();
        QStringList names;
        for (int i = 0; i < persons->GetAnz_Person(); ++i)
            names << persons->Get_Person(i).Name + u'>' +
                         (persons->Get_Person(i).TransponderID ? QStringLiteral("t") : QStringLiteral("0"));
        QCOMPARE(names, QStringList({"Jörg>t", "Ben>0", "Anna>t", "Carl>t", "Dora>0"}));
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_r[2])->Changed, 1);
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_r[1])->Changed, 0);
    }

    // Exported, cleared, imported: the same transponders, persons, schedules and readers.
    void roundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("transponder file") << int(CsvExportKind::Transponders);
        QTest::newRow("person file") << int(CsvExportKind::Persons);
    }
    void roundTrip()
    {
        QFETCH(int, kind);
        const QStringList before = Dump(*m_store);
        const QString path = VmTest::IsolateHome() + QStringLiteral("/round.csv");
        QVERIFY(WriteCsvFile(path, CsvLinesFromStore(m_store.get(), CsvExportKind(kind), m_lang.get())).ok);
        DeleteRecordsWhere<structTransponder>(m_store->Get_Ptr_To_tblTransponder(), {});
        DeleteRecordsWhere<structPerson>(m_store->Get_Ptr_To_tblPerson(), {});
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        m_store->Get_Ptr_To_tblPerson()->_Requery();
        const CsvImportKind importKind = kind == int(CsvExportKind::Transponders) ? CsvImportKind::Transponders
                                                                                   : CsvImportKind::Persons;
        CCsvImporter importer(m_store.get(), m_lang.get());
        const CsvImportResult first = importer.ImportFile(path, importKind);
        QVERIFY(first.errors.isEmpty());
        QStringList expected = before;
        if (importKind == CsvImportKind::Persons)   // a person file has no line for a transponder without person
            expected.removeOne(QStringLiteral("1234ABCD99|-|Frueh|"));
        QCOMPARE(Dump(*m_store), expected);
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_r[1])->Changed, 1);
    }

    // Names with a ";" from before it was refused: the export warns of them (the import refuses
    // their split lines: malformedLines).
    void splitNamesWarned()
    {
        std::vector<int32_t> nights;
        ScheduleOps::AddSchedule(m_store.get(), QStringLiteral("Nacht;Schicht"), ScheduleOps::DefaultWindows(), &nights);
        AddTransponder(*m_store, QStringLiteral("0000000042"), QStringLiteral("Doe;John"), nights.front(), QString());
        const QStringList split = CsvSplitNames(m_store.get());
        QCOMPARE(split, QStringList({"Doe;John", "Nacht;Schicht"}));
        QCOMPARE(CsvSplitNamesNote(split, m_lang.get()), m_lang->GetLangItem(381) + "\nDoe;John\nNacht;Schicht");
    }

    // A store error in the middle of a line takes the whole line back, and its batch with it: the
    // batches committed before stay, the failed batch and everything after are listed as not
    // imported, and the user is shown the error.
    void storeErrorKeepsTheCommittedBatches()
    {
        const int lines = 450, failing = 301, kept = 200;   // the importer's batches: 200 lines each
        VmTest::Outside(m_store->Location(), {"CREATE TRIGGER boom BEFORE INSERT ON tblPerson WHEN NEW.Name='Boom' "
                                              "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"});
        QStringList file, expected = Dump(*m_store), errors;
        for (int k = 1; k <= lines; ++k) {
            const QString number = QStringLiteral("%1").arg(k, 10, 10, QLatin1Char('0'));
            file << number + (k == failing ? ";Boom;" : ";---;") + (k > kept ? ";Gate" : "");
            if (k <= kept)
                expected << number + QStringLiteral("|-|Vollzugriff|");
            else
                errors << QStringLiteral("Nr.: %1 -> ").arg(k) + file.last();
        }
        expected.sort();
        CCsvImporter importer(m_store.get(), m_lang.get());
        const CsvImportResult r = importer.ImportLines(CsvImportKind::Transponders, file);
        QVERIFY(r.storeFailed);
        QCOMPARE(r.imported, kept);
        QCOMPARE(r.errors, errors);
        QVERIFY(m_prompt.Texts().join(u'\n').contains(QStringLiteral("disk I/O error")));
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_r[1])->Changed, 0);   // undone with its line
        // What the database holds, read again.
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        QCOMPARE(Dump(*m_store), expected);
    }

    // A file that cannot be created, a file that cannot be read: reported.
    void failingFiles()
    {
        // A path under a plain file cannot be created, whoever runs the test. The export command
        // reports it and takes its busy mark back.
        const QString plain = WriteTemp(QStringLiteral("plain"), "x");
        CsvExportContext ctx;
        ctx.store = m_store.get();
        ctx.lang = m_lang.get();
        int busy = 0;
        ctx.busy = [&busy](bool on) { busy += on ? 1 : -1; };
        m_prompt.NextFileName(plain + QStringLiteral("/y.txt"));
        const CsvExportResult failed = RunCsvExport(CsvExportKind::Transponders, ctx);
        QVERIFY(!failed.ok);
        QVERIFY(!failed.write.error.isEmpty());
        QCOMPARE(busy, 0);

        CCsvImporter importer(m_store.get(), m_lang.get());
        const QString none = VmTest::IsolateHome() + QStringLiteral("/none.csv");
        const CsvImportResult missing = importer.ImportFile(none, CsvImportKind::Transponders);
        QVERIFY(!missing.opened);
        QVERIFY(!missing.error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstCsv)
#include "tst_csv.moc"
