// The operations on a desk reader, all through the monitor's mailbox - the Birch parameters,
// the send dialog's reading and writing of the transponder memory, registering the reader -
// against a Birch that is silent, noisy, slow or unplugged in the middle. Each ends in its own
// failure state (or succeeds), gives the monitor its flags back, and leaves the database with
// what was stored and nothing half.
#include "params/BirchParams.h"
#include "params/BirchSlots.h"
#include "readers/ReaderRegistration.h"
#include "readers/ReaderTestSupport.h"
#include "faults/FaultTable.h"
#include "writeall/WriteAllSupport.h"

#include <QElapsedTimer>
#include <QtTest>

using ParamTest::T;

namespace {
const QString kMaster = QStringLiteral("00000000M1");
}

class TestDeskFaults : public QObject, VmTest::FaultTable {
    Q_OBJECT
public:
    TestDeskFaults() : FaultTable(43) {}

private slots:
    void initTestCase() { QVERIFY(Open(Sim::Model::Birch)); }
    void init()
    {
        ParamTest::ClearStore(*m_store);
        VmTest::HealLine(Sim());
        Sim().SetMaster(kMaster.toStdString());
        Sim().SetTransponders({kMaster.toStdString()});
        Sim().ClearLog();
    }

    // Opening reads the master; then stand-alone mode, active, 5 s go to the reader.
    void birchParams_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("answered");   // the reader's master was read: writing is offered
        QTest::addColumn<int>("outcome");
        QTest::newRow("silent") << "silent" << false << -1;
        QTest::newRow("noisy") << "noisy" << true << int(BirchParams::Outcome::Done);
        QTest::newRow("slow") << "slow:600" << false << -1;
        QTest::newRow("cut after the master") << "cut:G:1" << true << int(BirchParams::Outcome::NoAnswer);
    }
    void birchParams()
    {
        QFETCH(QString, fault);
        QFETCH(bool, answered);
        QFETCH(int, outcome);
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"),
                                                        QStringLiteral("0;") + kMaster, QStringLiteral("2"));
        ScriptedPrompt prompt;
        const int modeBefore = Sim().Mode();
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        {
            BirchParams core(Ctx(), reader);
            QCOMPARE(core.ReadReaderMaster(), answered);
            QCOMPARE(core.OpeningState().master, kMaster);   // the database's master stands in
            if (answered) {
                QCOMPARE(int(core.UpdateReader(true, true, kMaster, QStringLiteral("5"))), outcome);
                const bool done = outcome == int(BirchParams::Outcome::Done);
                QCOMPARE(prompt.Texts(), QStringList{T(done ? 173 : 141)});
                QCOMPARE(Sim().Mode(), done ? 3 : modeBefore);
                // Stored before the reader is written, so it stays whatever the reader did.
                const structLeser stored = ParamTest::StoredReader(*m_store, reader.ID);
                QCOMPARE(stored.Params, QStringLiteral("3;") + kMaster);
                QCOMPARE(stored.SwitchTime, QStringLiteral("5"));
            }
        }
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
        Recovered(Flags::HandedBack);
    }

    // The send dialog: the reader's memory read, then three transponders sent.
    void birchSend_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("read");
        QTest::addColumn<int>("outcome");
        QTest::newRow("silent") << "silent" << false << -1;
        QTest::newRow("noisy") << "noisy" << true << int(BirchSlots::Outcome::Done);
        QTest::newRow("slow") << "slow:600" << false << -1;
        QTest::newRow("cut after the first slot") << "cut:S:1" << true << int(BirchSlots::Outcome::NoAnswer);
    }
    void birchSend()
    {
        QFETCH(QString, fault);
        QFETCH(bool, read);
        QFETCH(int, outcome);
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Birch"), QStringLiteral("---"),
                                                        QStringLiteral("1"), QStringLiteral("2"), 1);
        const QString id = QString::number(reader.ID);
        const QStringList numbers = ParamTest::Numbers(3);
        Sim().SetTransponders({kMaster.toStdString(), numbers[0].toStdString()});
        ParamTest::AddTransponder(*m_store, numbers[0], id);
        ParamTest::AddTransponder(*m_store, QStringLiteral("00000000X9"), QStringLiteral("7;") + id);
        const QStringList before = WriteAllTest::Transponders(*m_store, true);

        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        BirchSlots core(Ctx(), reader.ID);
        QStringList inReader;
        QCOMPARE(core.ReadReader(inReader, {}), read);
        QCOMPARE(inReader, read ? QStringList{numbers[0]} : QStringList());
        if (read)
            QCOMPARE(int(core.Send(numbers, {})), outcome);
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);

        const bool done = outcome == int(BirchSlots::Outcome::Done);
        QCOMPARE(prompt.Texts(), done ? QStringList() : QStringList{T(141)});
        // The database follows the reader only once the reader took the whole list.
        QStringList after = WriteAllTest::Transponders(*m_store, true);
        if (done) {
            QStringList want{numbers[0] + '=' + id, numbers[1] + '=' + id, numbers[2] + '=' + id,
                             QStringLiteral("00000000X9=7")};
            want.sort();
            QCOMPARE(after, want);
            QCOMPARE(ParamTest::StoredReader(*m_store, reader.ID).Changed, 0);
        } else {
            QCOMPARE(after, before);
            QCOMPARE(ParamTest::StoredReader(*m_store, reader.ID).Changed, 1);
        }
        QCOMPARE(WriteAllTest::Transponders(*m_store, false), after);
        Recovered(Flags::HandedBack);
    }

    void registerDeskReader_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("failureText");
        QTest::newRow("silent") << "silent" << int(ReaderRegistration::Result::Failed) << 114;
        QTest::newRow("noisy") << "noisy" << int(ReaderRegistration::Result::Added) << 0;
        QTest::newRow("slow") << "slow:1500" << int(ReaderRegistration::Result::Failed) << 114;
        QTest::newRow("cut after the identity") << "cut:H:1" << int(ReaderRegistration::Result::Failed) << 114;
    }
    void registerDeskReader()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(int, failureText);
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        const ReaderRegistration::Result result = ReaderRegistration::RegisterConnectedReader(
            Link(), *m_store, {}, [](const QStringList&, const QString& extraEntry) { return extraEntry; });
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.failureText, failureText);
        const bool added = outcome == int(ReaderRegistration::Result::Added);
        QCOMPARE(prompt.Texts(), added ? QStringList() : QStringList{T(failureText)});
        QCOMPARE(ReaderTest::ReaderNames(*m_store, true).size(), added ? 1 : 0);
        if (added)
            QCOMPARE(ParamTest::StoredReader(*m_store, result.record.ID).Model, QStringLiteral("Birch"));
        Recovered(Flags::HandedBack);
    }
};

QTEST_MAIN(TestDeskFaults)
#include "tst_DeskFaults.moc"
