// Going online and staying online, against the reader simulator on a pseudo-terminal: every
// model, the device ID and clock, the identify retries, the desk-reader fallback, tags,
// the mailbox, lost replies, a reader falling silent, and closing while connecting or online.
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "link/Telegram.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <functional>
#include <memory>

namespace {

constexpr int kCom = 14;
constexpr int kBusConnectMs = 8000;
constexpr int kDeskConnectMs = 20000;   // five identify telegrams of 2 s go unanswered first

// Texts "T<n>", so that a test sees which text was shown.
QString WriteTexts()
{
    const QString folder = VmTest::IsolateHome() + QStringLiteral("/texts/");
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("texts_de.txt"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (int n : {14, 74, 101, 102, 104, 105, 106, 107, 108, 114, 201})
            f.write(QByteArray::number(n) + "\tT" + QByteArray::number(n) + "\n");
        f.write("103\tT103 COM%d\n");
    }
    return folder;
}

// A simulated reader and the controller that connects to it.
struct Peer {
    std::unique_ptr<Sim::ReaderSim> sim;
    std::unique_ptr<CLinkController> ctrl;
    std::unique_ptr<QSignalSpy> result, online;

    void Reset()
    {
        result.reset();
        online.reset();
        ctrl.reset();
        if (sim)
            sim->Stop();
        sim.reset();
    }
    // Waits for the connection result.
    bool Connected(int timeoutMs)
    {
        if (result->isEmpty() && !result->wait(timeoutMs))
            return false;
        return result->first().first().toBool();
    }
};

} // namespace

class TestLinkOnline : public QObject {
    Q_OBJECT

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    Peer m_bus;
    // The desk readers take ten seconds to reach, an identity on the fourth try six: these
    // connect once, side by side, from the start of the run, and their tests come last.
    Peer m_alder, m_birch, m_fourthTry;

    // Starts the simulator (after `setup`) and a connection attempt to it.
    bool Begin(Peer& p, Sim::Model model, const std::function<void(Sim::ReaderSim&)>& setup = {},
               int com = kCom)
    {
        p.sim = std::make_unique<Sim::ReaderSim>(model, com);
        if (setup)
            setup(*p.sim);
        if (!p.sim->Start())
            return false;
        Settings::WriteAktCom(uint32_t(com));
        p.ctrl = std::make_unique<CLinkController>(m_lang.get());
        p.result = std::make_unique<QSignalSpy>(p.ctrl.get(), &CLinkController::ConnectResult);
        p.online = std::make_unique<QSignalSpy>(p.ctrl.get(), &CLinkController::ReaderOnline);
        return p.ctrl->StartConnectWorker() == 0;
    }

    bool ConnectBus(Sim::Model model, const std::function<void(Sim::ReaderSim&)>& setup = {})
    {
        return Begin(m_bus, model, setup) && m_bus.Connected(kBusConnectMs);
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(0, WriteTexts());
        QVERIFY(m_lang->IsLoaded());
        m_prompt = std::make_unique<ScriptedPrompt>();
        QVERIFY(Begin(m_alder, Sim::Model::Alder, {}, 15));
        QVERIFY(Begin(m_birch, Sim::Model::Birch, [](Sim::ReaderSim& s) { s.SetMaster("0000000042"); }, 16));
        QVERIFY(Begin(m_fourthTry, Sim::Model::Maple, [](Sim::ReaderSim& s) {
            Sim::SimFaults faults;
            faults.identifyOnTry = 4;
            s.SetFaults(faults);
        }, 17));
    }

    void init()
    {
        m_prompt->Clear();
        CLinkController::SetWeekdayNameSource(nullptr);
    }

    void cleanup() { m_bus.Reset(); }

    void cleanupTestCase()
    {
        m_alder.Reset();
        m_birch.Reset();
        m_fourthTry.Reset();
        m_prompt.reset();
    }

    void testClockData_data()
    {
        QTest::addColumn<QByteArray>("weekday");
        QTest::addColumn<QByteArray>("data");
        // Thursday 7 March 2024, 09:05:03.250
        QTest::newRow("English") << QByteArray("Thursday") << QByteArray("U000003050904070324");
        QTest::newRow("German") << QByteArray("Donnerstag") << QByteArray("U000003050904070324");
        QTest::newRow("within a longer name") << QByteArray("Sunday (7)") << QByteArray("U000003050907070324");
        QTest::newRow("French") << QByteArray("jeudi") << QByteArray();
    }
    void testClockData()
    {
        QFETCH(QByteArray, weekday);
        const QDateTime at(QDate(2024, 3, 7), QTime(9, 5, 3, 250));
        QTEST(CLinkController::BuildClockData(at, weekday), "data");
    }

    // Each failure is shown once, followed by text 107; the port is closed afterwards.
    void testConnectFailures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("no device") << "none" << QStringList{"T107"};
        QTest::newRow("port 0 becomes 256") << "port0" << QStringList{"T107"};
        QTest::newRow("ID read with bad checksum") << "badChecksum" << QStringList{"T108", "T107"};
        QTest::newRow("French weekday names") << "french" << QStringList{"T105", "T107"};
    }
    void testConnectFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        if (fault == "french")
            CLinkController::SetWeekdayNameSource([](const QDate&) { return QByteArray("jeudi"); });
        if (fault == "none" || fault == "port0") {
            Settings::WriteAktCom(fault == "none" ? 201 : 0);   // 201: no link, no /dev/ttyS200
            m_bus.ctrl = std::make_unique<CLinkController>(m_lang.get());
            m_bus.result = std::make_unique<QSignalSpy>(m_bus.ctrl.get(), &CLinkController::ConnectResult);
            QCOMPARE(m_bus.ctrl->StartConnectWorker(), 0);
        } else {
            QVERIFY(Begin(m_bus, Sim::Model::Cedar, [&](Sim::ReaderSim& s) {
                Sim::SimFaults faults;
                faults.badChecksum = fault == "badChecksum";
                s.SetFaults(faults);
            }));
        }
        QVERIFY(!m_bus.Connected(kBusConnectMs) && !m_bus.result->isEmpty());
        QTRY_COMPARE(m_prompt->Texts(), messages);
        CSerialLink& link = m_bus.ctrl->Link();
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QVERIFY(!m_bus.ctrl->IsOnline());
        if (fault == "port0")
            QCOMPARE(Settings::ReadAktCom(), 256u);
        if (fault == "badChecksum")
            QCOMPARE(m_bus.sim->Received('L'), 4);
    }

    // A tag is announced once with its number; "NOTAG" announces nothing. Closing while the
    // monitor is busy announcing tags does not hang.
    void testBusTagThenCloseWhileOnline()
    {
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        QSignalSpy seen(m_bus.ctrl.get(), &CLinkController::TransponderSeen);
        QSignalSpy display(m_bus.ctrl.get(), &CLinkController::TagDisplayChanged);
        const int polls = m_bus.sim->Received('C');
        QTRY_VERIFY(m_bus.sim->Received('C') >= polls + 2);
        QCOMPARE(seen.count(), 0);

        m_bus.sim->PresentTag("0001234567", true);
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0001234567"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010001234567"));
        // 1.5 s later the display is back to text 201 alone; no second tag came meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(display.count(), 2, 5000);
        QCOMPARE(display.last().first().toString(), QStringLiteral("T201"));
        QCOMPARE(seen.count(), 1);

        m_bus.sim->PresentTag("0001112223");
        QVERIFY(seen.wait(5000));
        m_bus.ctrl.reset();
        QVERIFY(m_prompt->Texts().isEmpty());
    }

    // A poll's tag reply that arrives while a mailbox telegram is queued is the mailbox's
    // reply, not a tag in the field; the queued telegram goes out next. A read through the
    // mailbox gets the reader's reply, or "CRC_ERROR".
    void testMailbox()
    {
        QVERIFY(ConnectBus(Sim::Model::Rowan, [](Sim::ReaderSim& s) { s.SetDeviceId("00112233445566778899"); }));
        CSerialLink& link = m_bus.ctrl->Link();
        QSignalSpy seen(m_bus.ctrl.get(), &CLinkController::TransponderSeen);
        const QByteArray queued = Telegram::BuildAddressedFrame('L', "S0000");
        std::atomic<bool> done{false};
        m_bus.sim->SetTrafficListener([&](const Sim::SimLogEntry& e) {
            if (e.command == 'C' && !done.exchange(true)) {
                link.m_nReady = 0;   // as a mailbox caller does before queueing
                link.SetOutgoing(queued);
            }
        });
        const int reads = m_bus.sim->Received('L');
        m_bus.sim->PresentTag("0009990001", true);
        QTRY_VERIFY(done.load());
        QTRY_VERIFY(m_bus.sim->Received('L') > reads);
        QTRY_VERIFY(m_bus.sim->Received('C') >= 2 + m_bus.sim->Received('L'));
        QCOMPARE(seen.count(), 0);
        m_bus.sim->SetTrafficListener(nullptr);

        const QByteArray reply = link.SendTelegramViaMonitor('L', "S0000", 1);
        QCOMPARE(reply.size(), 26);
        QCOMPARE(reply.mid(4, 20), QByteArray("00112233445566778899"));
        Sim::SimFaults faults;
        faults.badChecksum = true;
        m_bus.sim->SetFaults(faults);
        QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1), QByteArray("CRC_ERROR"));
    }

    void testReaderFallsSilent()
    {
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        QSignalSpy lost(m_bus.ctrl.get(), &CLinkController::ConnectionLost);
        Sim::SimFaults faults;
        faults.silent = true;
        m_bus.sim->SetFaults(faults);
        QVERIFY(lost.wait(15000));
        CSerialLink& link = m_bus.ctrl->Link();
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QVERIFY(!m_bus.ctrl->IsOnline());
        QCOMPARE(m_prompt->Texts(), QStringList{"T114T14"});
        QCOMPARE(lost.count(), 1);
    }

    // A line that drops a frame now and then: the telegram is given up after the exchange wait
    // (a waiting mailbox caller hears "no reply" then, not at the end of its own wait), the
    // monitor polls on, and only three polls lost in a row give the reader up.
    void testLostReplies_data()
    {
        QTest::addColumn<QByteArray>("aim");
        QTest::addColumn<bool>("lost");
        QTest::newRow("two polls") << QByteArray("drop:CT:2") << false;
        QTest::newRow("a query") << QByteArray("drop:LS0000:1") << false;
        QTest::newRow("three polls") << QByteArray("drop:CT:3") << true;
    }
    void testLostReplies()
    {
        QFETCH(QByteArray, aim);
        QFETCH(bool, lost);
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        CSerialLink& link = m_bus.ctrl->Link();
        constexpr int kMailboxWaitMs = 3000;
        link.SetReplyWaits(150, kMailboxWaitMs);
        QSignalSpy lostSpy(m_bus.ctrl.get(), &CLinkController::ConnectionLost);
        m_bus.sim->AimFault(*Sim::ParseAimedFault(aim.toStdString()));
        if (aim.contains("LS0000")) {
            QElapsedTimer took;
            took.start();
            QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1), QByteArray());
            QVERIFY(took.elapsed() < kMailboxWaitMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.sim->AimedFaultsPending().empty(), 10000);
        if (lost) {
            QVERIFY(lostSpy.count() == 1 || lostSpy.wait(5000));
            QCOMPARE(m_prompt->Texts(), QStringList{"T114T14"});
            return;
        }
        const int polls = m_bus.sim->Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.sim->Received('C') > polls + 1, 5000);
        QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1).mid(4, 20), QByteArray::fromStdString(m_bus.sim->DeviceId()));
        QCOMPARE(lostSpy.count(), 0);
        QVERIFY(m_prompt->Texts().isEmpty());
    }

    // Each model answers at its own rate and framing and ends up with its interface type.
    void testModelsGoOnline_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<QByteArray>("usedId");   // empty: a fresh reader with a blank slot
        QTest::newRow("Cedar") << int(Sim::Model::Cedar) << 1 << QByteArray();
        QTest::newRow("Maple, ID slot used") << int(Sim::Model::Maple) << 2 << QByteArray("AB12CD34EF56AB78CD90");
        QTest::newRow("Rowan") << int(Sim::Model::Rowan) << 4 << QByteArray();
        QTest::newRow("Alder") << int(Sim::Model::Alder) << 3 << QByteArray();
        QTest::newRow("Birch") << int(Sim::Model::Birch) << 0 << QByteArray();
    }
    void testModelsGoOnline()
    {
        QFETCH(int, model);
        QFETCH(int, interfaceType);
        QFETCH(QByteArray, usedId);
        const auto m = Sim::Model(model);
        Peer& p = m == Sim::Model::Alder ? m_alder : m == Sim::Model::Birch ? m_birch : m_bus;
        if (&p == &m_bus)
            QVERIFY(Begin(p, m, [&](Sim::ReaderSim& s) {
                if (!usedId.isEmpty())
                    s.SetDeviceId(usedId.toStdString());
            }));
        QVERIFY(p.Connected(kDeskConnectMs));
        CSerialLink& link = p.ctrl->Link();
        QCOMPARE(link.m_nInterfaceType.load(), interfaceType);
        QCOMPARE(link.m_nPortInUse.load(), p.sim->ComNumber());
        QVERIFY(p.ctrl->IsOnline());
        QTRY_COMPARE(p.online->count(), 1);
        QVERIFY(m_prompt->Texts().isEmpty());
        QCOMPARE(p.ctrl->StartConnectWorker(), 1);   // the port is open: nothing starts
        QCOMPARE(p.sim->Received('H'), 1);

        if (!p.sim->Info().bus) {
            // Five identify telegrams at the bus rate went unheard before the desk rate.
            int wrongLine = 0;
            for (const auto& e : p.sim->Log())
                wrongLine += e.heard == Sim::Heard::WrongLine;
            QCOMPARE(wrongLine, 5);
            QCOMPARE(p.sim->ClockWrites(), 0);
            QCOMPARE(p.ctrl->MasterTransponder(), QByteArray(m == Sim::Model::Birch ? "0000000042" : ""));
            return;
        }
        if (usedId.isEmpty()) {
            // A fresh reader's blank ID slot receives the ID made for this start.
            QCOMPARE(p.ctrl->NewDeviceId().size(), 20);
            QCOMPARE(p.ctrl->DeviceId(), p.ctrl->NewDeviceId());
            QCOMPARE(QByteArray::fromStdString(p.sim->DeviceId()), p.ctrl->NewDeviceId());
        } else {
            QCOMPARE(p.ctrl->DeviceId(), usedId);
            QCOMPARE(QByteArray::fromStdString(p.sim->DeviceId()), usedId);
            QCOMPARE(p.sim->Received('S'), 1);   // the clock only
        }
        // Its clock is the PC's, weekday included.
        const auto clock = p.sim->LastClock();
        QVERIFY(clock.has_value());
        const QDateTime set(QDate(2000 + clock->year, clock->month, clock->day),
                            QTime(clock->hour, clock->minute, clock->second));
        QVERIFY(qAbs(set.secsTo(QDateTime::currentDateTime())) <= 5);
        QCOMPARE(clock->weekday, set.date().dayOfWeek());
        QTRY_VERIFY(p.sim->Received('C') >= 2);   // the monitor polls for tags
    }

    // The identity comes only on the fourth identify telegram at 57200 bit/s: accepted.
    void testIdentityOnFourthTry()
    {
        QVERIFY(m_fourthTry.Connected(kDeskConnectMs));
        QCOMPARE(m_fourthTry.ctrl->Link().m_nInterfaceType.load(), 2);
        QCOMPARE(m_fourthTry.sim->Received('H'), 4);
    }

    // A desk reader's own 11-character tag frames are announced, unless capture is set: then
    // they only go to the mailbox.
    void testDeskReaderTags()
    {
        QVERIFY(m_birch.Connected(kDeskConnectMs));
        CSerialLink& link = m_birch.ctrl->Link();
        QSignalSpy seen(m_birch.ctrl.get(), &CLinkController::TransponderSeen);
        QSignalSpy display(m_birch.ctrl.get(), &CLinkController::TagDisplayChanged);
        link.m_nCapture = 1;
        m_birch.sim->PresentTag("0000000777");
        QTRY_COMPARE(link.ReplyText(), QByteArray("R0000000777"));
        link.m_nCapture = 0;
        m_birch.sim->PresentTag("0000000042");
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0000000042"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010000000042 ==> MASTER"));
    }

    // A desk reader on the line: the bus-rate identify goes unanswered while the controller
    // goes away; it ends its workers and shows nothing.
    void testCloseWhileConnecting()
    {
        QVERIFY(Begin(m_bus, Sim::Model::Birch));
        QTRY_VERIFY(!m_bus.sim->Log().empty());
        m_bus.ctrl.reset();
        QVERIFY(m_prompt->Texts().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLinkOnline)
#include "test_link_online.moc"
