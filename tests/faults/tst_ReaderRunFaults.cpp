// Every operation on a bus reader against a simulated Cedar online that is healthy or silent,
// noisy, slow or unplugged in the middle: the parameters (the identity read that decides whether
// the reader may be written, what reaches the reader and the record), registering the reader
// that came online, and the operations that take the port for a run of direct exchanges -
// reading events, writing all data. Each row: the
// operation ends by itself with the state its failure (or success) calls for, the port is the
// monitor's again and the monitor works the line once it is healed (or has given a reader left
// silent up), and the database holds what was stored and nothing half.
#include "SimEvents.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/MapleCedarParams.h"
#include "readers/EventReading.h"
#include "readers/ReaderModel.h"
#include "readers/ReaderRegistration.h"
#include "readers/ReaderTestSupport.h"
#include "readers/WriteAll.h"
#include "faults/FaultTable.h"
#include "writeall/WriteAllSupport.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <set>

using ParamTest::T;

namespace {
const QString kReader = QStringLiteral("Cedar_1");
}

class TestReaderRunFaults : public QObject, VmTest::FaultTable {
    Q_OBJECT
    int32_t m_readerId = 0;

    // The record of the reader at the port: byte 04, 3 s.
    structLeser AddCedar(int changed = 0)
    {
        return ParamTest::AddReader(*m_store, QStringLiteral("Cedar"), QString::fromStdString(Sim().DeviceId()),
                                    QStringLiteral("04"), QStringLiteral("4"), changed);
    }
    // The reader "Cedar_1" in the store init() cleared.
    void Fresh(int changed)
    {
        m_readerId = ParamTest::AddReader(*m_store, QStringLiteral("Cedar"), QStringLiteral("---"),
                                          QStringLiteral("30"), QStringLiteral("4"), changed).ID;
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

public:
    TestReaderRunFaults() : FaultTable(41) {}

private slots:
    void initTestCase() { QVERIFY(Open(Sim::Model::Cedar)); }
    void init()
    {
        WriteAllTest::ClearAll(*m_store);
        VmTest::HealLine(Sim());
        Sim().SetParam(0, 0x04);
        Sim().SetParam(1, 0x05);
        Sim().ClearLog();
    }

    // The dialog offers writing only to this reader answering soundly at opening; storing the
    // record it always offers. A reader silent from the opening on is given up by the monitor.
    void identityDecidesWriting_data()
    {
        QTest::addColumn<QString>("identity");   // of the record; empty: the reader's own
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("writable");
        QTest::newRow("this reader") << QString() << "noisy" << true;
        QTest::newRow("another reader's ID") << "0123456789ABCDEF0123" << "" << false;
        QTest::newRow("CRC_ERROR reply") << QString() << "crc" << false;
        QTest::newRow("silent") << QString() << "silent" << false;
    }
    void identityDecidesWriting()
    {
        QFETCH(QString, identity);
        QFETCH(QString, fault);
        structLeser reader = AddCedar();
        if (!identity.isEmpty())
            reader.Identity = identity;
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        {
            CParamMaple_CedarDlg dlg(Ctx(), reader);
            QTEST(dlg.findChild<QPushButton*>(QStringLiteral("1"))->isEnabled(), "writable");
            QVERIFY(dlg.findChild<QPushButton*>(QStringLiteral("3"))->isEnabled());
        }
        Recovered(Flags::HandedBack, fault == "silent", &prompt);
    }

    // Byte 0A and 5 s written after a sound identity read. The record holds the new values
    // whatever the reader did, and its changed flag stays as it stood (the silent row starts
    // from a record marked changed).
    void mapleCedarParams_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<unsigned>("byteInReader");
        QTest::newRow("silent") << "silent" << int(MapleCedarParams::Outcome::NoAnswer) << 0x04u;
        QTest::newRow("noisy") << "noisy" << int(MapleCedarParams::Outcome::Done) << 0x0Au;
        QTest::newRow("cut after the byte") << "cut:SP0000:1" << int(MapleCedarParams::Outcome::NoAnswer) << 0x0Au;
    }
    void mapleCedarParams()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        const int changed = fault == QLatin1String("silent");
        const structLeser reader = AddCedar(changed);
        ScriptedPrompt prompt;
        MapleCedarParams core(Ctx(), reader);
        QVERIFY(core.ReadIdentity());
        Inject(fault);
        QCOMPARE(int(core.UpdateReader(0x0A, QStringLiteral("5"), ParamCodes::UnitSeconds)), outcome);
        VmTest::CheckPortHandedBack(Link());
        const bool done = outcome == int(MapleCedarParams::Outcome::Done);
        QCOMPARE(prompt.Texts(), QStringList{T(done ? 173 : 141)});
        const structLeser stored = ParamTest::StoredReader(*m_store, reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("0A"));
        QCOMPARE(stored.SwitchTime, QStringLiteral("6"));
        QCOMPARE(stored.Changed, changed);
        QTEST(Sim().Params()[0], "byteInReader");
        if (done) {   // the switching time and the PC's clock went in as well
            QCOMPARE(Sim().Params()[1], 6u);
            const auto clock = Sim().ClockNow();
            QVERIFY(clock);
            const QDateTime readerNow(QDate(2000 + clock->year, clock->month, clock->day),
                                      QTime(clock->hour, clock->minute, clock->second));
            QVERIFY2(qAbs(readerNow.secsTo(QDateTime::currentDateTime())) <= 1, qPrintable(readerNow.toString()));
        }
        Recovered(Flags::Unchecked);
    }

    void registerBusReader_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("failureText");
        QTest::addColumn<bool>("lost");
        QTest::newRow("slow") << "slow:1300" << 106 << false;
        QTest::newRow("cut after the device ID") << "cut:LS0000:1" << 114 << true;
    }
    void registerBusReader()
    {
        QFETCH(QString, fault);
        QFETCH(int, failureText);
        QFETCH(bool, lost);
        ScriptedPrompt prompt;
        Inject(fault);
        const ReaderRegistration::Result result =
            ReaderRegistration::RegisterConnectedReader(Link(), *m_store, {}, [](const QStringList&, const QString&) {
                return QString();
            });
        VmTest::CheckPortHandedBack(Link());
        QCOMPARE(result.outcome, ReaderRegistration::Result::Failed);
        QCOMPARE(result.failureText, failureText);
        QCOMPARE(prompt.Texts(), QStringList{T(failureText)});
        QVERIFY(ReaderTest::ReaderNames(*m_store, true).isEmpty());
        Recovered(Flags::Unchecked, lost, &prompt);
    }

    // Every event read whole over a noisy line, each the one the reader holds at that place.
    void readEvents()
    {
        Fresh(0);
        const std::vector<Sim::SimEvent> events = Sim::VariedEvents(6);
        Sim().SetEvents(events);
        ScriptedPrompt prompt;
        EventReadRequest request;
        request.readerId = m_readerId;
        request.readerName = kReader;
        request.model = ReaderModel::Cedar;
        request.maxFailures = 3;   // enough to tell a dead reader from a bad reply

        Inject(QStringLiteral("noisy"));
        CEventReadRun run(Link(), *m_store, m_lang.get());
        QSignalSpy finished(&run, &CEventReadRun::Finished);
        QVERIFY(run.Start(request));
        QVERIFY(finished.wait(VmTest::kOperationBoundMs));
        const auto result = finished.first().first().value<EventReadResult>();
        VmTest::CheckPortHandedBack(Link(), true);
        QCOMPARE(int(result.outcome), int(EventReadResult::Done));
        CEventReadRun::Report(result, m_lang.get());
        QVERIFY(!prompt.Texts().isEmpty());
        QVERIFY(prompt.Texts().first().startsWith(T(200)));
        const QStringList rows = StoredEvents();
        QCOMPARE(rows.size(), int(events.size()));
        for (int i = 0; i < rows.size(); ++i)
            QVERIFY2(rows[i].startsWith(QString::fromStdString(events[size_t(i)].number)), qPrintable(rows[i]));
        Recovered(Flags::HandedBackEmpty);
    }

    void writeAll_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("slotsInReader");   // slot writes the reader took
        QTest::newRow("slow") << "slow:2100" << 0;
        QTest::newRow("cut before the parameters") << "cut:SZ:8" << 2;
    }
    void writeAll()
    {
        QFETCH(QString, fault);
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
        QCOMPARE(finished.first().first().toInt(), 0);
        QCOMPARE(prompt.Texts(), QStringList{T(141)});
        // A reader that did not take everything stays marked changed.
        QCOMPARE(ParamTest::StoredReader(*m_store, m_readerId).Changed, 1);
        std::set<std::string> taken;
        for (const std::string& d : Sim().ReceivedData('S'))
            if (d[0] == 'T')
                taken.insert(d.substr(0, 5));
        QTEST(int(taken.size()), "slotsInReader");
        Recovered(Flags::HandedBackEmpty);
    }
};

QTEST_MAIN(TestReaderRunFaults)
#include "tst_ReaderRunFaults.moc"
