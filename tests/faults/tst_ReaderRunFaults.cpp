// The reader operations that take the port for a run of direct exchanges - reading events,
// emptying the event memory, fetching all data, writing all data - against a Cedar that is
// silent, noisy, slow or unplugged in the middle. Each row: the operation ends by itself with
// the state its failure (or success) calls for, the port is the monitor's again and the monitor
// works the line once it is healed, and the database holds what was stored and nothing half.
#include "SimEvents.h"
#include "readers/EventReading.h"
#include "readers/FetchAll.h"
#include "readers/ReaderModel.h"
#include "readers/WriteAll.h"
#include "faults/FaultTable.h"
#include "writeall/WriteAllSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <set>

using ParamTest::T;

namespace {
const QString kReader = QStringLiteral("Gate");
}

class TestReaderRunFaults : public QObject, VmTest::FaultTable {
    Q_OBJECT
    int32_t m_readerId = 0;

    // A clean store with the reader "Gate" and a healthy reader at the port.
    void Fresh(int changed)
    {
        WriteAllTest::ClearAll(*m_store);
        m_readerId = ReaderTest::AddReader(*m_store, kReader, QStringLiteral("Cedar"));
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_readerId, [=](structLeser& r) {
            r.Params = QStringLiteral("30");
            r.SwitchTime = QStringLiteral("4");
            r.Changed = changed;
        });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        VmTest::HealLine(Sim());
        Sim().ClearLog();
    }

    // The event rows as stored (not as cached): "number date time".
    QStringList StoredEvents()
    {
        QStringList rows;
        CtblEvents* t = m_store->Get_Ptr_To_tblEvents();
        if (t->Open()) {
            for (; !t->IsEOF(); t->MoveNext())
                rows << t->Rec().TransponderNo + ' ' + t->Rec().Date + ' ' + t->Rec().Time;
            t->Close();
        }
        return rows;
    }

    int StoredChanged()
    {
        structLeser r;
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_readerId, [](structLeser&) {}, PromptIcon::Warning, &r);
        return r.Changed;
    }

public:
    TestReaderRunFaults() : FaultTable(41) {}

private slots:
    void initTestCase() { QVERIFY(Open(Sim::Model::Cedar)); }

    void readEvents_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("stored");     // events stored, the first ones of the reader's
        QTest::addColumn<QString>("text");   // the first text the end shows
        QTest::newRow("silent") << "silent" << int(EventReadResult::NoPointer) << 0 << T(141);
        QTest::newRow("noisy") << "noisy" << int(EventReadResult::Done) << 6 << T(200);
        QTest::newRow("slow") << "slow:1200" << int(EventReadResult::NoPointer) << 0 << T(141);
        QTest::newRow("cut after 3 events") << "cut:LE:3" << int(EventReadResult::ReaderFailed) << 3 << T(169);
    }
    void readEvents()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(int, stored);
        QFETCH(QString, text);
        Fresh(0);
        const std::vector<Sim::SimEvent> events = Sim::VariedEvents(6);
        Sim().SetEvents(events);
        ScriptedPrompt prompt;
        EventReadRequest request;
        request.readerId = m_readerId;
        request.readerName = kReader;
        request.model = ReaderModel::Cedar;
        request.maxFailures = 3;   // enough to tell a dead reader from a bad reply

        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        CEventReadRun run(Link(), *m_store, m_lang.get());
        QSignalSpy finished(&run, &CEventReadRun::Finished);
        QVERIFY(run.Start(request));
        QVERIFY(finished.wait(VmTest::kOperationBoundMs));
        const auto result = finished.first().first().value<EventReadResult>();
        VmTest::CheckPortHandedBack(Link(), true);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.stored, stored);
        CEventReadRun::Report(result, m_lang.get());
        QVERIFY(!prompt.Texts().isEmpty());
        QCOMPARE(prompt.Texts().first().left(text.size()), text);

        // Whole events, each the one the reader holds at that place.
        const QStringList rows = StoredEvents();
        QCOMPARE(rows.size(), stored);
        for (int i = 0; i < stored; ++i)
            QVERIFY2(rows[i].startsWith(QString::fromStdString(events[size_t(i)].number)), qPrintable(rows[i]));
        Recovered(Flags::HandedBackEmpty);
    }

    void deleteEvents_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("silent") << "silent" << false;
        QTest::newRow("noisy") << "noisy" << true;
        QTest::newRow("slow") << "slow:1200" << false;
        QTest::newRow("replies cut short") << "cut-eot" << false;
    }
    void deleteEvents()
    {
        QFETCH(QString, fault);
        QFETCH(bool, cleared);
        Fresh(0);
        Sim().SetEvents(Sim::VariedEvents(4));
        AddRecord(m_store->Get_Ptr_To_tblEvents(), [](structEvents& e) {
            e.TransponderNo = QStringLiteral("00000000AA");
            e.ReaderName = kReader;
        });
        const QStringList before = StoredEvents();

        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        QCOMPARE(ReaderEvents::ClearEventPointer(Link()), cleared);
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
        VmTest::CheckPortHandedBack(Link(), true);
        // A reply cut short may come from a reader that did take the telegram; only a reader
        // that never heard it certainly keeps its events.
        if (cleared || fault == QLatin1String("silent"))
            QCOMPARE(Sim().EventPointer(), cleared ? 0xFFFFu : 3u);
        QCOMPARE(StoredEvents(), before);   // the events in the database are not the reader's memory
        Recovered(Flags::HandedBackEmpty);
    }

    void fetchAll_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        QTest::newRow("silent") << "silent" << int(CFetchAllRun::Failed) << T(141) + T(14);
        QTest::newRow("noisy") << "noisy" << int(CFetchAllRun::Done) << T(173);
        QTest::newRow("slow") << "slow:2100" << int(CFetchAllRun::Failed) << T(141) + T(14);
        QTest::newRow("cut after the first slot") << "cut:LT:1" << int(CFetchAllRun::Failed) << T(141);
    }
    void fetchAll()
    {
        QFETCH(QString, fault);
        QFETCH(int, result);
        QFETCH(QString, text);
        Fresh(0);
        using WriteAllTest::Number;
        Sim().SetTransponders({Number(1).toStdString(), Number(2).toStdString(), Number(3).toStdString()});
        WriteAllTest::AddTransponder(*m_store, Number(1), QStringLiteral("7"));
        WriteAllTest::AddTransponder(*m_store, Number(9), QString());   // the reader does not hold it
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        const QStringList before = WriteAllTest::Transponders(*m_store, true);
        const QString id = QString::number(m_readerId);
        const QStringList fetched{Number(1) + "=7;" + id, Number(2) + '=' + id, Number(3) + '=' + id};

        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        CFetchAllRun run(&Link(), *m_store, m_lang.get());
        QCOMPARE(int(run.Run(kReader)), result);
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
        VmTest::CheckPortHandedBack(Link(), true);
        QCOMPARE(prompt.Texts(), QStringList{text});
        const QStringList want = result == CFetchAllRun::Done ? fetched : before;
        QCOMPARE(WriteAllTest::Transponders(*m_store, true), want);
        QCOMPARE(WriteAllTest::Transponders(*m_store, false), want);   // the cache tells the same
        Recovered(Flags::HandedBackEmpty);
    }

    void writeAll_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("slotsInReader");   // slot writes the reader took
        QTest::newRow("silent") << "silent" << 0 << 0;
        QTest::newRow("noisy") << "noisy" << 2 << 2;
        QTest::newRow("slow") << "slow:2100" << 0 << 0;
        QTest::newRow("cut before the parameters") << "cut:SZ:8" << 0 << 2;
    }
    void writeAll()
    {
        QFETCH(QString, fault);
        QFETCH(int, written);
        QFETCH(int, slotsInReader);
        Fresh(1);
        using WriteAllTest::Number;
        WriteAllTest::AddTransponder(*m_store, Number(0x21), QString::number(m_readerId));
        WriteAllTest::AddTransponder(*m_store, Number(0x22), QString::number(m_readerId));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        const WriteAll::Plan plan = WriteAll::Prepare(*m_store, kReader, ReaderModel::Cedar);
        QCOMPARE(plan.transponders.size(), 2);

        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        CWriteAllRun run(Link(), *m_store, m_lang.get(), plan);
        QSignalSpy finished(&run, &CWriteAllRun::Finished);
        QVERIFY(run.Start());
        QVERIFY(finished.wait(VmTest::kOperationBoundMs));
        VmTest::CheckPortHandedBack(Link(), true);
        QCOMPARE(finished.first().first().toInt(), written);
        QCOMPARE(prompt.Texts(), written ? QStringList() : QStringList{T(141)});
        // Only a reader that took everything counts as written.
        QCOMPARE(StoredChanged(), written ? 0 : 1);
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_readerId)->Changed, written ? 0 : 1);
        std::set<std::string> taken;
        for (const std::string& d : Sim().ReceivedData('S'))
            if (d[0] == 'T')
                taken.insert(d.substr(0, 5));
        QCOMPARE(int(taken.size()), slotsInReader);
        Recovered(Flags::HandedBackEmpty);
    }
};

QTEST_MAIN(TestReaderRunFaults)
#include "tst_ReaderRunFaults.moc"
