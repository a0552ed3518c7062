// What writing all data sends and what fetching all data does to the database, without a
// reader: the telegram bytes, the plan gathered from the store (which transponders, which
// window numbers), the capacity check, the reply rules of the fetch, and its three passes.
#include "base/Prompt.h"
#include "link/Telegram.h"
#include "readers/FetchAll.h"
#include "readers/ReaderModel.h"
#include "readers/ReaderTestSupport.h"
#include "readers/WriteAll.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace ReaderTest;

class TestWriteAllPlan : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY(m_store->IsDatabaseOpen());
    }
    void init() { ClearTables(*m_store); }

    void telegrams_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        structZeitschema office;
        office.From = "0730", office.To = "1800";
        for (int d = 1; d <= 5; ++d)
            office.Day[d] = 1;
        structZeitschema sunday;
        sunday.From = "0000", sunday.To = "2359", sunday.Day[0] = 1;
        structZeitschema always = sunday;
        std::fill(std::begin(always.Day), std::end(always.Day), 1);
        QTest::newRow("office window") << WriteAll::WindowData(0, office) << QByteArray("Z00003E30070018");
        QTest::newRow("Sunday is the top bit") << WriteAll::WindowData(0x1A, sunday) << QByteArray("Z001A8000005923");
        QTest::newRow("every day") << WriteAll::WindowData(3, always) << QByteArray("Z0003FE00005923");
        QTest::newRow("count") << WriteAll::CountData(20) << QByteArray("P00020014");
        QTest::newRow("slot") << WriteAll::SlotData(0, "0001234567") << QByteArray("T00000001234567");
        QTest::newRow("parameter 0 is hex") << WriteAll::Param0Data("f0") << QByteArray("P000000F0");
        QTest::newRow("parameter 1 is decimal") << WriteAll::Param1Data("16") << QByteArray("P00010010");
        QTest::newRow("empty parameter") << WriteAll::Param0Data("") << QByteArray("P00000000");
    }
    void telegrams()
    {
        QFETCH(QByteArray, data);
        QTEST(data, "expected");
    }

    // Which transponders a reader gets, and the window numbers of their schedules.
    void planFromTheStore()
    {
        const int32_t reader = AddReader(*m_store, "R", "Rowan", "ID");
        AddReader(*m_store, "R", "Rowan", "ID2");   // same name: the first counts
        const int32_t office = AddSchedule(*m_store, "Office", {{"0730", "1800", "0111110"}});
        AddTransponder(*m_store, Number(1), QStringLiteral("12;%1").arg(reader), office);
        AddTransponder(*m_store, Number(2), "15;" + QString::number(reader) + "1", office);   // 51, not 5
        AddTransponder(*m_store, Number(3), QString::number(reader), 9999);                  // no such schedule
        AddTransponder(*m_store, Number(4), QStringLiteral(";%1;").arg(reader), office);
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        m_store->Get_Ptr_To_tblTransponder()->_Requery();

        const WriteAll::Plan plan = WriteAll::Prepare(*m_store, "R", ReaderModel::Rowan);
        QCOMPARE(plan.readerId, reader);
        QCOMPARE(plan.transponders, (QStringList{Number(1), Number(3), Number(4)}));
        QCOMPARE(plan.schedules, (QList<int32_t>{office, 9999, office}));
        QCOMPARE(plan.windows.size(), 8);
        QCOMPARE(plan.windows[0], QByteArray("Z00003E30070018"));
        QCOMPARE(plan.windows[4], QByteArray("Z00043E30070018"));   // the missing schedule took no numbers
        QCOMPARE(plan.windows[7].left(7), QByteArray("Z000700"));

        // A window ID that does not head a schedule is no schedule.
        QVERIFY(WriteAll::ScheduleWindows(*m_store->Get_Ptr_To_tblZeitschema(), office + 1, 0).isEmpty());
        // Nobody of that name: reader 0, nothing selected ("0" lists do not count).
        AddTransponder(*m_store, Number(5), "0");
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        QVERIFY(WriteAll::Prepare(*m_store, "r", ReaderModel::Rowan).transponders.isEmpty());
    }

    void capacity_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("text");   // 0: accepted
        QTest::newRow("Maple 100") << int(ReaderModel::Maple) << 100 << 0;
        QTest::newRow("Maple 101") << int(ReaderModel::Maple) << 101 << 215;
        QTest::newRow("Cedar 501") << int(ReaderModel::Cedar) << 501 << 214;
        QTest::newRow("Rowan 1000") << int(ReaderModel::Rowan) << 1000 << 0;
        QTest::newRow("Rowan 1001") << int(ReaderModel::Rowan) << 1001 << 236;
        QTest::newRow("Birch: not this path") << int(ReaderModel::Birch) << 0 << -1;
    }
    void capacity()
    {
        QFETCH(int, model);
        QFETCH(int, count);
        QFETCH(int, text);
        WriteAll::Plan plan;
        plan.model = model;
        for (int i = 0; i < count; ++i)
            plan.transponders << Number(i);
        ScriptedPrompt prompt;
        QCOMPARE(WriteAll::CheckCapacity(plan, m_texts.get()), text == 0);
        QCOMPARE(prompt.Texts(), text > 0 ? QStringList{m_texts->GetLangItem(uint32_t(text))} : QStringList());
    }

    void fetchReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("value");
        const auto frame = [](const QByteArray& body) { return body + Telegram::Checksum(body); };
        QTest::newRow("count") << frame("FFLP0014") << true << "20";
        QTest::newRow("count, wrong checksum") << QByteArray("FFLP001400") << false << "";
        QTest::newRow("count, NAK") << frame("FFLP\x15") << false << "";
        QTest::newRow("count of a slot reply") << frame("FFLT0014") << false << "";
        QTest::newRow("slot") << frame("FFLT0001234567") << true << "0001234567";
        QTest::newRow("slot, 15 characters") << frame("FFLT000123456") << false << "";
        QTest::newRow("slot, another area") << frame("FFLS0001234567") << false << "";
    }
    void fetchReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        int count = -1;
        QString number;
        const bool ok = FetchAll::ParseCount(reply, count) || FetchAll::ParseSlot(reply, number);
        QCOMPARE(ok, valid);
        if (valid)
            QTEST(count >= 0 ? QString::number(count) : number, "value");
    }

    // The passes, for reader 5 unless told: rows "number=readers" before and after.
    void passes_data()
    {
        QTest::addColumn<int>("reader");
        QTest::addColumn<QStringList>("database");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("in both: reader appended") << 5 << QStringList{"0001234567=3"} << QStringList{"0001234567"}
                                                  << QStringList{"0001234567=3;5"};
        QTest::newRow("in both: already listed") << 5 << QStringList{"0001234567=5;7"} << QStringList{"0001234567"}
                                                 << QStringList{"0001234567=5;7"};
        QTest::newRow("in both: empty list") << 5 << QStringList{"0001234567="} << QStringList{"0001234567"}
                                             << QStringList{"0001234567=5"};
        QTest::newRow("database only") << 5 << QStringList{"000000000A=", "000000000B=7", "000000000C=0"}
                                       << QStringList{"000000000D"}
                                       << QStringList{"000000000B=7", "000000000C=0", "000000000D=5"};
        // A number is stored once, however often the reader holds it.
        QTest::newRow("reported twice") << 5 << QStringList{"0000000001=3"} << QStringList{"0000000001", "0000000001"}
                                        << QStringList{"0000000001=3;5"};
        QTest::newRow("no reader of that name") << 0 << QStringList{"0000000001=3", "0000000002="}
                                                << QStringList{"0000000001", "0000000003"}
                                                << QStringList{"0000000001=3", "0000000003=0"};
    }
    void passes()
    {
        QFETCH(int, reader);
        QFETCH(QStringList, database);
        QFETCH(QStringList, reported);
        for (const QString& row : database)
            AddTransponder(*m_store, row.section('=', 0, 0), row.section('=', 1));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        ScriptedPrompt prompt;
        QCOMPARE(FetchAll::ApplyToDatabase(*m_store, reader, reported), 1);
        QTEST(Transponders(*m_store, true), "expected");
        QTEST(Transponders(*m_store, false), "expected");   // the cache follows without a reload
        QCOMPARE(prompt.Texts(), QStringList());
    }

    // What the passes leave around the transponders: new records, the reader's flag, persons.
    void passesKeepReferences()
    {
        const int32_t reader = AddReader(*m_store, "R", "Rowan", "ID");
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), reader, [](structLeser& r) { r.Changed = 1; });
        const int32_t person = AddPerson(*m_store, "P", AddTransponder(*m_store, Number(1), ""));
        ReloadAll(*m_store);

        FetchAll::PassCounts counts;
        QCOMPARE(FetchAll::ApplyToDatabase(*m_store, reader, {Number(2)}, &counts), 1);
        QCOMPARE(counts.deleted, 1);
        QCOMPARE(counts.added, 1);
        const structTransponder& added = m_store->Get_Ptr_To_tblTransponder()->Get_Transponder(0);
        QCOMPARE(added.ScheduleID, 1);
        QCOMPARE(added.Changed, 0);
        QCOMPARE(added.PersonID, 0);
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(reader)->Changed, 0);
        QCOMPARE(m_store->Get_Ptr_To_tblPerson()->FindById(person)->TransponderID, 0);
        QCOMPARE(Stored(m_store->Get_Ptr_To_tblLeser(), reader).Changed, 0);
        QCOMPARE(Stored(m_store->Get_Ptr_To_tblPerson(), person).TransponderID, 0);
    }
};

QTEST_GUILESS_MAIN(TestWriteAllPlan)
#include "tst_WriteAllPlan.moc"
