// The operations on a bus reader that go through the monitor's mailbox or hold the port for a
// few writes - the Maple/Cedar parameters and registering the reader that came online - against
// a Cedar that is silent, noisy, slow or unplugged in the middle: each ends in its own failure
// state (or succeeds), gives the port back, and writes no record it should not.
#include "params/MapleCedarParams.h"
#include "readers/ReaderRegistration.h"
#include "readers/ReaderTestSupport.h"
#include "faults/FaultTable.h"

#include <QElapsedTimer>
#include <QtTest>

using ParamTest::T;

class TestBusSettingsFaults : public QObject, VmTest::FaultTable {
    Q_OBJECT
public:
    TestBusSettingsFaults() : FaultTable(42) {}

private slots:
    void initTestCase() { QVERIFY(Open(Sim::Model::Cedar)); }
    void init()
    {
        ParamTest::ClearStore(*m_store);
        VmTest::HealLine(Sim());
        Sim().SetParam(0, 0x04);
        Sim().SetParam(1, 0x05);
        Sim().ClearLog();
    }

    // The dialog's work: the identity read at opening, then byte 0A and 5 s written.
    void mapleCedarParams_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("atOpening");   // the fault is there before the dialog opens
        QTest::addColumn<int>("outcome");      // of writing; -1: writing is not offered
        QTest::addColumn<unsigned>("byteInReader");
        QTest::addColumn<bool>("lost");
        QTest::newRow("silent at opening") << "silent" << true << -1 << 0x04u << true;
        QTest::newRow("silent") << "silent" << false << int(MapleCedarParams::Outcome::NoAnswer) << 0x04u << false;
        QTest::newRow("noisy") << "noisy" << true << int(MapleCedarParams::Outcome::Done) << 0x0Au << false;
        // A slow reader hears and takes the byte; only its confirmations come too late.
        QTest::newRow("slow") << "slow:1200" << false << int(MapleCedarParams::Outcome::NoAnswer) << 0x0Au << false;
        QTest::newRow("cut after the byte") << "cut:SP0000:1" << false << int(MapleCedarParams::Outcome::NoAnswer)
                                            << 0x0Au << false;
    }
    void mapleCedarParams()
    {
        QFETCH(QString, fault);
        QFETCH(bool, atOpening);
        QFETCH(int, outcome);
        QFETCH(unsigned, byteInReader);
        QFETCH(bool, lost);
        const structLeser reader = ParamTest::AddReader(*m_store, QStringLiteral("Cedar"),
                                                        QString::fromStdString(Sim().DeviceId()), QStringLiteral("04"),
                                                        QStringLiteral("4"));
        ScriptedPrompt prompt;
        const ParamSupport::Context ctx{m_lang.get(), m_store.get(), &Link(), {}};
        MapleCedarParams core(ctx, reader);
        if (atOpening)
            QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QCOMPARE(core.ReadIdentity(), outcome >= 0);
        if (outcome >= 0) {
            if (!atOpening)
                QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
            QElapsedTimer took;
            took.start();
            QCOMPARE(int(core.UpdateReader(0x0A, QStringLiteral("5"), ParamCodes::UnitSeconds)), outcome);
            QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
            VmTest::CheckPortHandedBack(Link());
            const bool done = outcome == int(MapleCedarParams::Outcome::Done);
            QCOMPARE(prompt.Texts(), QStringList{T(done ? 173 : 141)});
            // The record holds the new values either way, and is not marked written or unwritten.
            const structLeser stored = ParamTest::StoredReader(*m_store, reader.ID);
            QCOMPARE(stored.Params, QStringLiteral("0A"));
            QCOMPARE(stored.SwitchTime, QStringLiteral("6"));
            QCOMPARE(stored.Changed, 0);
        }
        VmTest::CheckPortHandedBack(Link());
        QCOMPARE(Sim().Params()[0], byteInReader);
        Recovered(Flags::Unchecked, lost, &prompt);
    }

    void registerBusReader_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("failureText");
        QTest::addColumn<bool>("lost");
        QTest::newRow("silent") << "silent" << int(ReaderRegistration::Result::Failed) << 106 << true;
        QTest::newRow("noisy") << "noisy" << int(ReaderRegistration::Result::Added) << 0 << false;
        QTest::newRow("slow") << "slow:1300" << int(ReaderRegistration::Result::Failed) << 106 << false;
        QTest::newRow("cut after the device ID") << "cut:LS0000:1" << int(ReaderRegistration::Result::Failed) << 114
                                                 << true;
    }
    void registerBusReader()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(int, failureText);
        QFETCH(bool, lost);
        ScriptedPrompt prompt;
        QVERIFY(VmTest::ApplyLineFault(Sim(), fault));
        QElapsedTimer took;
        took.start();
        const ReaderRegistration::Result result =
            ReaderRegistration::RegisterConnectedReader(Link(), *m_store, {}, [](const QStringList&, const QString&) {
                return QString();
            });
        QVERIFY(took.elapsed() < VmTest::kOperationBoundMs);
        VmTest::CheckPortHandedBack(Link());
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.failureText, failureText);
        const bool added = outcome == int(ReaderRegistration::Result::Added);
        QCOMPARE(prompt.Texts(), added ? QStringList() : QStringList{T(failureText)});
        QCOMPARE(ReaderTest::ReaderNames(*m_store, true).size(), added ? 1 : 0);
        if (added) {
            const structLeser stored = ParamTest::StoredReader(*m_store, result.record.ID);
            QCOMPARE(stored.Identity, QString::fromStdString(Sim().DeviceId()));
            QCOMPARE(stored.Params, QStringLiteral("04"));
        }
        Recovered(Flags::Unchecked, lost, &prompt);
    }
};

QTEST_MAIN(TestBusSettingsFaults)
#include "tst_BusSettingsFaults.moc"
