// Writing all data to a reader and fetching all data from it. Without a reader: the telegram
// bytes, the plan gathered from the store (which transponders, which window numbers), the
// capacity check, and the three passes of the fetch. With a simulated Rowan on
// a pseudo-terminal, the link held by the run itself (no monitor): what the reader ends up
// holding, how often each kind of telegram is sent when the reader refuses some (both retry
// stages, the ten sends of each parameter), and that every failure leaves the Changed flag
// set, the database as it was and the port handed back.
#include "base/Prompt.h"
#include "link/Telegram.h"
#include "readers/FetchAll.h"
#include "readers/ReaderModel.h"
#include "readers/ReaderTestSupport.h"
#include "readers/WriteAll.h"
#include "support/OnlineFixture.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace ReaderTest;

class TestWriteAll : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    VmTest::OnlineFixture m_online{31};
    std::unique_ptr<CSerialLink> m_link;
    int32_t m_reader = 0;

    QString T(int n) const { return m_texts->GetLangItem(uint32_t(n)); }

    // Telegrams of a kind the reader took in or refused ("ST", "SZ", "SP0000", "LT" ...).
    int Heard(const std::string& kind)
    {
        int n = 0;
        for (const Sim::SimLogEntry& e : m_online.Reader().Log())
            if (e.heard == Sim::Heard::Answered && (std::string(1, e.command) + e.data).rfind(kind, 0) == 0)
                ++n;
        return n;
    }
    // "ST:10": the next ten slot telegrams are refused; empty: none.
    void SetNak(const QString& fault)
    {
        if (const auto refusal = Sim::ParseAimedFault("refuse:" + fault.toStdString()))
            m_online.Reader().AimFault(*refusal);
    }
    void SetChanged(int changed)
    {
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader, [=](structLeser& r) { r.Changed = changed; });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
    }
    int StoredChanged() { return Stored(m_store->Get_Ptr_To_tblLeser(), m_reader).Changed; }
    // The reader "Gate", a Rowan with parameter F0 and switch time 5, marked changed and
    // online, the link held by the test.
    bool StartRowan()
    {
        m_reader = AddReader(*m_store, "Gate", "Rowan", "ID", "F0");
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_reader, [](structLeser& r) { r.SwitchTime = "5"; });
        SetChanged(1);
        m_link = std::make_unique<CSerialLink>();
        return m_online.Start(Sim::Model::Rowan)
            && m_link->OpenComPort("COM" + QByteArray::number(m_online.ComNumber()), 1) == 1;
    }
    void CheckLinkHandedBack()
    {
        QCOMPARE(m_link->m_nReady.load(), 1);
        QCOMPARE(int(m_link->m_bBusy.load()), 0);
        QVERIFY(m_link->Outgoing().isEmpty());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(OpenPrivateStore(m_texts, m_store));
    }
    void init() { ClearTables(*m_store); }
    void cleanup()
    {
        m_link.reset();
        m_online.Stop();
    }

    // The window and slot telegrams are what writeAll's Rowan ends up holding.
    void telegrams_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("count is hex") << WriteAll::CountData(20) << QByteArray("P00020014");
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

    // A reply is taken for a count or a slot only when its length, area and checksum are right:
    // a reader answering out of turn or a garbled line must not put a number into the table.
    void fetchReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("value");
        const auto frame = [](const QByteArray& body) { return body + Telegram::Checksum(body); };
        QTest::newRow("count") << frame("FFLP0014") << true << "20";
        QTest::newRow("count, wrong checksum") << QByteArray("FFLP001400") << false << "";
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
        QCOMPARE(FetchAll::ParseCount(reply, count) || FetchAll::ParseSlot(reply, number), valid);
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
        QCOMPARE(Stored(m_store->Get_Ptr_To_tblLeser(), reader).Changed, 0);
        QCOMPARE(Stored(m_store->Get_Ptr_To_tblPerson(), person).TransponderID, 0);
    }

    void writeAll_data()
    {
        QTest::addColumn<int>("transponders");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("written");        // -1: failed with text 141
        QTest::addColumn<QList<int>>("heard");   // count, slots, windows, parameter 0, parameter 1
        QTest::addColumn<int>("minMs");          // pauses of the second retry stage
        QTest::newRow("all acknowledged") << 2 << "" << 2 << QList<int>{1, 2, 8, 10, 10} << 0;
        QTest::newRow("no transponders") << 0 << "" << 0 << QList<int>{1, 0, 0, 10, 10} << 0;
        QTest::newRow("slot: second stage") << 2 << "ST:10" << 2 << QList<int>{1, 12, 8, 10, 10} << 200;
        QTest::newRow("slot: both stages fail") << 2 << "ST:20" << -1 << QList<int>{1, 20, 0, 0, 0} << 2000;
        QTest::newRow("count: one stage only") << 2 << "SP0002:10" << -1 << QList<int>{10, 0, 0, 0, 0} << 0;
        QTest::newRow("parameter 0: one ACK of ten") << 2 << "SP0000:9" << 2 << QList<int>{1, 2, 8, 10, 10} << 0;
        QTest::newRow("parameter 1: no ACK") << 2 << "SP0001:10" << -1 << QList<int>{1, 2, 8, 10, 10} << 0;
    }
    void writeAll()
    {
        QVERIFY(StartRowan());
        QFETCH(int, transponders);
        QFETCH(QString, fault);
        QFETCH(int, written);
        QFETCH(QList<int>, heard);
        QFETCH(int, minMs);
        const int32_t office = AddSchedule(*m_store, "Office", {{"0730", "1800", "0111110"}, {"1900", "2000", "1000001"}});
        QStringList numbers;
        for (int i = 0; i < transponders; ++i) {
            numbers << Number(0x1234567 + i);
            AddTransponder(*m_store, numbers.last(), QString::number(m_reader), office);
        }
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        SetNak(fault);
        ScriptedPrompt prompt;

        CWriteAllRun run(*m_link, *m_store, m_texts.get(), WriteAll::Prepare(*m_store, "Gate", ReaderModel::Rowan));
        QSignalSpy finished(&run, &CWriteAllRun::Finished);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(run.Start());
        QVERIFY(finished.wait(30000));
        QVERIFY(clock.elapsed() >= minMs);
        QCOMPARE(finished.first().first().toInt(), std::max(written, 0));
        QCOMPARE((QList<int>{Heard("SP0002"), Heard("ST"), Heard("SZ"), Heard("SP0000"), Heard("SP0001")}), heard);
        QCOMPARE(prompt.Texts(), written < 0 ? QStringList{T(141)} : QStringList());
        QCOMPARE(StoredChanged(), written < 0 ? 1 : 0);
        CheckLinkHandedBack();
        if (written < 0)
            return;

        // The reader holds exactly what was written.
        std::vector<std::string> expected;
        for (const QString& n : numbers)
            expected.push_back(n.toStdString());
        QCOMPARE(m_online.Reader().Transponders(), expected);
        const std::map<int, Sim::SimWindow> windows = m_online.Reader().Windows();
        QCOMPARE(int(windows.size()), 4 * transponders);
        if (transponders > 0) {
            QCOMPARE(windows.at(0).raw, std::string("00003E30070018"));
            QCOMPARE(windows.at(5).raw, std::string("0005C000190020"));
            QCOMPARE(windows.at(6).raw, std::string("00060000000000"));
        }
        QCOMPARE(m_online.Reader().Params()[0], 0xF0u);
        QCOMPARE(m_online.Reader().Params()[1], 5u);
        QCOMPARE(m_online.Reader().Params()[2], unsigned(transponders));
    }

    // Closing the reader table ends the run at its next telegram and reports to no one.
    void destroyedRunStopsAtTheNextTelegram()
    {
        QVERIFY(StartRowan());
        for (int i = 0; i < 200; ++i)
            AddTransponder(*m_store, Number(i), QString::number(m_reader));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        Sim::SimFaults slow;
        slow.replyDelayMs = 5;
        m_online.Reader().SetFaults(slow);
        ScriptedPrompt prompt;
        auto run = std::make_unique<CWriteAllRun>(*m_link, *m_store, m_texts.get(),
                                                  WriteAll::Prepare(*m_store, "Gate", ReaderModel::Rowan));
        QSignalSpy progress(run.get(), &CWriteAllRun::Progress);
        QVERIFY(run->Start());
        QTRY_VERIFY(progress.count() >= 5);
        run.reset();
        QTRY_COMPARE(int(m_link->m_bBusy.load()), 0);
        const int sent = Heard("ST");
        QVERIFY(sent < 200);
        QTest::qWait(100);
        QCOMPARE(Heard("ST"), sent);
        QCOMPARE(StoredChanged(), 1);
        QCOMPARE(prompt.Texts(), QStringList());
    }

    void fetchAll_data()
    {
        QTest::addColumn<int>("slotCount");            // the reader holds Number(0) .. Number(slots - 1)
        QTest::addColumn<bool>("changed");          // the reader's Changed flag; the answer is Yes
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("texts");   // text numbers; 141+14 and 185 are joined texts
        QTest::addColumn<bool>("stored");
        const QStringList done{"173"};
        QTest::newRow("read") << 3 << false << "" << done << true;
        QTest::newRow("changed: asked first") << 3 << true << "" << QStringList{"185", "173"} << true;
        QTest::newRow("slot refused 9 times") << 3 << false << "LT:9" << done << true;
        QTest::newRow("slot refused 10 times") << 3 << false << "LT:10" << QStringList{"141"} << false;
        QTest::newRow("count refused 10 times") << 3 << false << "LP0002:10" << QStringList{"141+14"} << false;
        QTest::newRow("empty reader") << 0 << false << "" << QStringList{"230"} << false;
    }
    void fetchAll()
    {
        QVERIFY(StartRowan());
        QFETCH(int, slotCount);
        QFETCH(bool, changed);
        QFETCH(QString, fault);
        QFETCH(bool, stored);
        std::vector<std::string> held;
        for (int i = 0; i < slotCount; ++i)
            held.push_back(Number(i).toStdString());
        m_online.Reader().SetTransponders(held);
        SetNak(fault);
        SetChanged(changed ? 1 : 0);
        // Number(1) is in both, Number(100) only in the database and assigned to no reader.
        AddTransponder(*m_store, Number(1), "7");
        AddTransponder(*m_store, Number(100), "");
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        const QStringList before = Transponders(*m_store, true);
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);

        CFetchAllRun run(m_link.get(), *m_store, m_texts.get());
        QSignalSpy ended(&run, &CFetchAllRun::ProgressEnded);
        run.Run("Gate");

        QFETCH(QStringList, texts);
        for (QString& t : texts)
            t = t == "141+14" ? T(141) + T(14) : t == "185" ? T(185) + '\n' + T(186) : T(t.toInt());
        QCOMPARE(prompt.Texts(), texts);
        QCOMPARE(ended.count(), 1);
        CheckLinkHandedBack();
        if (!stored) {
            QCOMPARE(Transponders(*m_store, true), before);
            QCOMPARE(StoredChanged(), changed ? 1 : 0);
            return;
        }
        const QString r = QString::number(m_reader);
        const QStringList after{Number(0) + '=' + r, Number(1) + "=7;" + r, Number(2) + '=' + r};
        QCOMPARE(Transponders(*m_store, true), after);
        QCOMPARE(Transponders(*m_store, false), after);
        QCOMPARE(StoredChanged(), 0);
    }

    void fetchAllDeclined()
    {
        QVERIFY(StartRowan());
        SetChanged(1);
        ScriptedPrompt prompt;
        prompt.NextAnswer(false);
        CFetchAllRun run(m_link.get(), *m_store, m_texts.get());
        QCOMPARE(run.Run("Gate"), CFetchAllRun::Declined);
        QCOMPARE(m_online.Reader().ReceivedTotal(), 0);
    }
};

QTEST_GUILESS_MAIN(TestWriteAll)
#include "tst_WriteAll.moc"
