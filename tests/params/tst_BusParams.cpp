// The bus readers' parameters against a simulated Cedar online: the identity read that decides
// whether the reader may be written, parameter byte, switching time and clock written and
// visible in the simulator, and a reader that does not answer.
#include "ParamTestSupport.h"
#include "link/CSerialLink.h"
#include "params/MapleCedarParams.h"

#include <QtTest>

using namespace ParamTest;

class TestBusParams : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    Online m_online{31};
    structLeser m_reader;

    ParamSupport::Context Ctx() { return {m_lang.get(), m_store.get(), m_online.Link(), {}}; }
    QString Identity() { return QString::fromStdString(m_online.Reader().DeviceId()); }

    // A fresh Cedar record for the reader at the port: byte 04, 3 s.
    void FreshReader(int changed = 0)
    {
        ClearStore(*m_store);
        m_reader = AddReader(*m_store, QStringLiteral("Cedar"), Identity(), QStringLiteral("04"), QStringLiteral("4"),
                             changed);
    }

private slots:
    void initTestCase()
    {
        m_lang = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_lang.get());
        QVERIFY(m_store->IsDatabaseOpen());
        QVERIFY(m_online.Connect(Sim::Model::Cedar, m_lang.get()));
    }
    void cleanup() { m_online.Reader().SetFaults({}); }

    void identityDecidesWriting_data()
    {
        QTest::addColumn<bool>("sameId");
        QTest::addColumn<bool>("badChecksum");
        QTest::addColumn<bool>("writable");
        QTest::newRow("this reader") << true << false << true;
        QTest::newRow("another reader's ID") << false << false << false;
        QTest::newRow("CRC_ERROR reply") << true << true << false;
    }
    void identityDecidesWriting()
    {
        QFETCH(bool, sameId);
        QFETCH(bool, badChecksum);
        QFETCH(bool, writable);
        FreshReader();
        if (!sameId)
            m_reader.Identity = QStringLiteral("0123456789ABCDEF0123");
        Sim::SimFaults f;
        f.badChecksum = badChecksum;
        m_online.Reader().SetFaults(f);
        MapleCedarParams core(Ctx(), m_reader);
        QCOMPARE(core.ReadIdentity(), writable);
    }

    // Byte 0A and 5 s go into the reader with the PC's clock; the record keeps its changed flag.
    void writeReader()
    {
        FreshReader();
        ScriptedPrompt prompt;
        MapleCedarParams core(Ctx(), m_reader);
        QVERIFY(core.ReadIdentity());
        QCOMPARE(core.UpdateReader(0x0A, QStringLiteral("5"), ParamCodes::UnitSeconds),
                 MapleCedarParams::Outcome::Done);

        Sim::ReaderSim& sim = m_online.Reader();
        QCOMPARE(sim.Params()[0], 0x0Au);
        QCOMPARE(sim.Params()[1], 6u);
        const std::string status = sim.StatusText();
        QVERIFY2(status.find("parameter byte (P0000): 0A") != std::string::npos, status.c_str());
        QVERIFY2(status.find("(P0001): 0006 = 5 s") != std::string::npos, status.c_str());
        const auto clock = sim.ClockNow();
        QVERIFY(clock);
        const QDateTime readerNow(QDate(2000 + clock->year, clock->month, clock->day),
                                  QTime(clock->hour, clock->minute, clock->second));
        QVERIFY2(qAbs(readerNow.secsTo(QDateTime::currentDateTime())) <= 1, qPrintable(readerNow.toString()));

        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("0A"));
        QCOMPARE(stored.SwitchTime, QStringLiteral("6"));
        QCOMPARE(stored.Changed, 0);
        QCOMPARE(m_store->Get_Ptr_To_tblLeser()->FindById(m_reader.ID)->Params, QStringLiteral("0A"));
        QCOMPARE(prompt.Texts(), QStringList{T(173)});
        QCOMPARE(int(m_online.Link()->m_bBusy.load()), 0);
        QCOMPARE(m_online.Link()->m_nReady.load(), 1);
    }

    // Storing only marks the reader changed; a refused time stores nothing.
    void updateDatabase()
    {
        FreshReader();
        ScriptedPrompt prompt;
        MapleCedarParams core(Ctx(), m_reader);
        QCOMPARE(core.UpdateDatabase(0x81, QStringLiteral("0"), ParamCodes::UnitSeconds),
                 MapleCedarParams::Outcome::Refused);
        QCOMPARE(StoredReader(*m_store, m_reader.ID).Params, QStringLiteral("04"));
        QCOMPARE(core.UpdateDatabase(0x81, QStringLiteral("5"), ParamCodes::UnitOther),
                 MapleCedarParams::Outcome::Done);
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("81"));
        QCOMPARE(stored.SwitchTime, QStringLiteral("133"));
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(prompt.Texts(), (QStringList{T(142), T(173)}));
    }

    // Five unanswered tries: text 141, the record keeps the new values, the port is given back.
    void readerSilent()
    {
        FreshReader(1);
        ScriptedPrompt prompt;
        MapleCedarParams core(Ctx(), m_reader);
        QVERIFY(core.ReadIdentity());
        const unsigned before = m_online.Reader().Params()[0];
        Sim::SimFaults f;
        f.silent = true;
        m_online.Reader().SetFaults(f);
        QCOMPARE(core.UpdateReader(0x11, QStringLiteral("2"), ParamCodes::UnitSeconds),
                 MapleCedarParams::Outcome::NoAnswer);
        QCOMPARE(prompt.Texts(), QStringList{T(141)});
        QCOMPARE(m_online.Reader().Params()[0], before);
        const structLeser stored = StoredReader(*m_store, m_reader.ID);
        QCOMPARE(stored.Params, QStringLiteral("11"));
        QCOMPARE(stored.Changed, 1);
        QCOMPARE(int(m_online.Link()->m_bBusy.load()), 0);
        QCOMPARE(m_online.Link()->m_nReady.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBusParams)
#include "tst_BusParams.moc"
