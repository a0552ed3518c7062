// Going online and staying online, against the reader simulator on a pseudo-terminal: every
// model, the device ID and clock and the retries of their writes, the desk-reader fallback,
// tags, lost replies, who owns the port, an operation taking a poll's reply, and closing while
// connecting or online.
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "link/Telegram.h"
#include "readers/LinkTurn.h"
#include "support/OnlineFixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <functional>
#include <memory>
#include <thread>

namespace {

constexpr int kCom = 14;
constexpr int kBusConnectMs = 10000;
constexpr int kDeskConnectMs = 20000;   // five identify telegrams of 2 s go unanswered first

// A simulated reader at its own COM number and the controller that connects to it.
struct Peer {
    explicit Peer(int com) : fixture(com) {}
    VmTest::OnlineFixture fixture;
    std::unique_ptr<CLinkController> ctrl;
    std::unique_ptr<QSignalSpy> result, online;

    Sim::ReaderSim& Sim() { return fixture.Reader(); }
    void Reset()
    {
        ctrl.reset();
        fixture.Stop();
    }
    // A fresh controller, its results and announcements of going online recorded.
    void NewController(const CLanguageHandler* lang)
    {
        ctrl = std::make_unique<CLinkController>(lang);
        result = std::make_unique<QSignalSpy>(ctrl.get(), &CLinkController::ConnectResult);
        online = std::make_unique<QSignalSpy>(ctrl.get(), &CLinkController::ReaderOnline);
    }
    // Waits for the result of the attempt with that index.
    bool Connected(int timeoutMs, int index = 0)
    {
        while (result->count() <= index)
            if (!result->wait(timeoutMs))
                return false;
        return result->at(index).first().toBool();
    }
};

} // namespace

class TestLinkOnline : public QObject {
    Q_OBJECT

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    Peer m_bus{kCom};
    // A desk reader takes ten seconds to reach: it connects once, from the start of the run, and
    // its tests come last.
    Peer m_birch{16};

    // Starts the simulator (then `setup`) and, with a fresh controller, a connection attempt.
    bool Begin(Peer& p, Sim::Model model, const std::function<void(Sim::ReaderSim&)>& setup = {})
    {
        if (!p.fixture.Start(model))
            return false;
        if (setup)
            setup(p.Sim());
        p.NewController(m_lang.get());
        return p.ctrl->StartConnectWorker() == 0;
    }
    bool ConnectBus(Sim::Model model, const std::function<void(Sim::ReaderSim&)>& setup = {})
    {
        return Begin(m_bus, model, setup) && m_bus.Connected(kBusConnectMs);
    }
    // Data of the telegrams with that command whose data starts with the prefix.
    int Heard(char command, const std::string& prefix)
    {
        int n = 0;
        for (const std::string& d : m_bus.Sim().ReceivedData(command))
            n += d.rfind(prefix, 0) == 0;
        return n;
    }
    // The port closed and nobody online.
    void CheckOffline(CLinkController& ctrl)
    {
        QCOMPARE(ctrl.Link().m_nPortOpen.load(), 0);
        QCOMPARE(ctrl.Link().m_nPortInUse.load(), -1);
        QCOMPARE(ctrl.Link().m_nInterfaceType.load(), -1);
        QVERIFY(!ctrl.IsOnline());
    }

private slots:
    void initTestCase()
    {
        m_lang = VmTest::NumberedTexts();
        QVERIFY(Begin(m_birch, Sim::Model::Birch, [](Sim::ReaderSim& s) { s.SetMaster("0000000042"); }));
    }

    void init()
    {
        m_prompt = std::make_unique<ScriptedPrompt>();
        CLinkController::SetWeekdayNameSource(nullptr);
        m_bus.NewController(m_lang.get());
    }

    void cleanup()
    {
        m_bus.Reset();
    }

    void cleanupTestCase()
    {
        m_birch.Reset();
        m_prompt.reset();
    }

    void testClockData_data()
    {
        QTest::addColumn<QByteArray>("weekday");
        QTest::addColumn<QByteArray>("data");
        // Thursday 7 March 2024, 09:05:03.250
        QTest::newRow("English") << QByteArray("Thursday") << QByteArray("U000003050904070324");
        QTest::newRow("within a longer name") << QByteArray("Sunday (7)") << QByteArray("U000003050907070324");
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
        QTest::newRow("ID read with bad checksum") << "badChecksum" << QStringList{"T108", "T107"};
        QTest::newRow("French weekday names") << "french" << QStringList{"T105", "T107"};
    }
    void testConnectFailures()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        if (fault == "french")
            CLinkController::SetWeekdayNameSource([](const QDate&) { return QByteArray("jeudi"); });
        if (fault == "none") {
            Settings::WriteAktCom(201);   // no link, no /dev/ttyS200
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
        CheckOffline(*m_bus.ctrl);
        if (fault == "badChecksum")
            QCOMPARE(m_bus.Sim().Received('L'), 4);
    }

    // A tag is announced once with its number; "NOTAG" announces nothing.
    void testBusTag()
    {
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        QSignalSpy seen(m_bus.ctrl.get(), &CLinkController::TransponderSeen);
        QSignalSpy display(m_bus.ctrl.get(), &CLinkController::TagDisplayChanged);
        const int polls = m_bus.Sim().Received('C');
        QTRY_VERIFY(m_bus.Sim().Received('C') >= polls + 2);
        QCOMPARE(seen.count(), 0);

        m_bus.Sim().PresentTag("0001234567", true);
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0001234567"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010001234567"));
        // 1.5 s later the display is back to text 201 alone; no second tag came meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(display.count(), 2, 5000);
        QCOMPARE(display.last().first().toString(), QStringLiteral("T201"));
        QCOMPARE(seen.count(), 1);
        QVERIFY(m_prompt->Texts().isEmpty());
    }

    // A line that drops a poll's reply now and then: the monitor polls on, and only three polls
    // lost in a row give the reader up: the port is closed.
    void testLostReplies_data()
    {
        QTest::addColumn<QByteArray>("aim");
        QTest::addColumn<bool>("lost");
        QTest::newRow("two polls") << QByteArray("drop:CT:2") << false;
        QTest::newRow("three polls") << QByteArray("drop:CT:3") << true;
    }
    void testLostReplies()
    {
        QFETCH(QByteArray, aim);
        QFETCH(bool, lost);
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        CSerialLink& link = m_bus.ctrl->Link();
        link.SetReplyWaits(150, 3000);
        QSignalSpy lostSpy(m_bus.ctrl.get(), &CLinkController::ConnectionLost);
        m_bus.Sim().AimFault(*Sim::ParseAimedFault(aim.toStdString()));
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.Sim().AimedFaultsPending().empty(), 10000);
        if (lost) {
            QVERIFY(lostSpy.count() == 1 || lostSpy.wait(5000));
            QCOMPARE(m_prompt->Texts(), QStringList{"T114T14"});
            CheckOffline(*m_bus.ctrl);
            QCOMPARE(lostSpy.count(), 1);
            return;
        }
        const int polls = m_bus.Sim().Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.Sim().Received('C') > polls + 1, 5000);
        QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1).mid(4, 20),
                 QByteArray::fromStdString(m_bus.Sim().DeviceId()));
        QCOMPARE(lostSpy.count(), 0);
        QVERIFY(m_prompt->Texts().isEmpty());
    }

    // The port is one holder's at a time, also within the program. Opening it again waits
    // for a holder that is letting go, but not for ever; and going online again at once
    // after closing (the monitor may still be in a read) succeeds.
    void portHasOneHolder()
    {
        QVERIFY(m_bus.fixture.Start(Sim::Model::Cedar));
        const QByteArray name = "COM" + QByteArray::number(kCom);
        const QByteArray device = ComPorts::ResolvePortName(name);
        int error = 0;
        std::shared_ptr<CSerialPort> holder = CSerialPort::Open(device, &error);
        QVERIFY(holder);
        QVERIFY(!CSerialPort::Open(device, &error));
        QCOMPARE(error, EBUSY);

        CSerialLink link;
        std::thread letGo([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            holder.reset();
        });
        QCOMPARE(link.OpenComPort(name, 1), 1);
        letGo.join();
        link.CloseComPort();

        QCOMPARE(m_bus.ctrl->StartConnectWorker(), 0);
        QVERIFY(m_bus.Connected(kBusConnectMs));
        for (int i = 1; i <= 3; ++i) {
            QTRY_VERIFY(m_bus.Sim().Received('C') > 0);   // the monitor reads
            m_bus.ctrl->Link().CloseComPort();
            QCOMPARE(m_bus.ctrl->StartConnectWorker(), 0);
            QVERIFY2(m_bus.Connected(kBusConnectMs, i), qPrintable(m_prompt->Texts().join('|')));
            m_bus.Sim().ClearLog();
        }
    }

    // A reader operation takes the port right after the monitor wrote a poll, and the poll's
    // reply goes to the operation's purge. Once the operation hands the port back, the monitor
    // polls again rather than wait for that reply until it gives the line up.
    void operationTakingAPollReplyLeavesTheMonitorPolling()
    {
        QVERIFY(ConnectBus(Sim::Model::Cedar));
        QTRY_VERIFY(m_bus.Sim().Received('C') > 0);
        CSerialLink& link = m_bus.ctrl->Link();
        QSignalSpy lost(m_bus.ctrl.get(), &CLinkController::ConnectionLost);
        // The tap runs on the monitor's thread, just after its write: the operation's whole
        // turn happens before the monitor reads a byte of the reply.
        auto taken = std::make_shared<std::atomic<bool>>(false);
        link.SetWriteTap([&link, taken](const QByteArray& frame) {
            if (frame != Telegram::PollTelegram() || taken->exchange(true))
                return;
            LinkTurn turn(link);   // waits until the poll's reply has come
            link.PurgeReceive();
        });
        QTRY_VERIFY(taken->load());
        const int polls = m_bus.Sim().Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.Sim().Received('C') >= polls + 2, 3000);
        link.SetWriteTap(nullptr);
        QCOMPARE(lost.count(), 0);
    }

    // Closing the controller returns promptly whatever its workers are doing: identifying
    // a reader that does not answer at this rate, or polling and waiting to announce a tag to
    // this thread, which does not look at its events.
    void closingReturnsPromptly_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("state");
        QTest::newRow("identifying") << int(Sim::Model::Birch) << "identifying";
        QTest::newRow("announcing") << int(Sim::Model::Cedar) << "announcing";
    }
    void closingReturnsPromptly()
    {
        QFETCH(int, model);
        QFETCH(QString, state);
        if (state == "identifying") {
            QVERIFY(Begin(m_bus, Sim::Model(model)));
            QTRY_VERIFY(m_bus.Sim().Log().size() >= 1);
        } else {
            QVERIFY(ConnectBus(Sim::Model(model)));
            QTRY_VERIFY(m_bus.Sim().Received('C') > 0);
            if (state == "announcing") {
                m_bus.Sim().PresentTag("0001234567");
                const int polls = m_bus.Sim().Received('C');
                for (int i = 0; i < 300 && m_bus.Sim().Received('C') == polls; ++i)
                    QThread::msleep(10);
                QThread::msleep(100);
            }
        }
        QElapsedTimer took;
        took.start();
        m_bus.ctrl.reset();
        QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(m_prompt->Texts().isEmpty());
    }

    // The device ID write is tried again only while its reply is empty, and stops at the
    // first reply with ACK; a reply without ACK ends it as done. The clock is tried four
    // times while its reply lacks ACK.
    void writeRetries_data()
    {
        QTest::addColumn<QStringList>("aims");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("connected");
        QTest::newRow("ID: lost, then without ACK") << QStringList{"drop:SS0000:1", "nak:SS0000:1"} << "S0000" << 3 << true;
        QTest::newRow("clock: refused three times") << QStringList{"nak:SU0000:3"} << "U0000" << 4 << true;
        QTest::newRow("clock: refused four times") << QStringList{"nak:SU0000:4"} << "U0000" << 4 << false;
    }
    void writeRetries()
    {
        QFETCH(QStringList, aims);
        QFETCH(QString, prefix);
        QFETCH(bool, connected);
        QCOMPARE(ConnectBus(Sim::Model::Cedar, [&](Sim::ReaderSim& s) {
            for (const QString& aim : aims)
                s.AimFault(*Sim::ParseAimedFault(aim.toStdString()));
        }), connected);
        QTEST(Heard('S', prefix.toStdString()), "writes");
        QVERIFY(m_bus.Sim().AimedFaultsPending().empty());
        if (connected) {
            QVERIFY(m_prompt->Texts().isEmpty());
            QCOMPARE(QByteArray::fromStdString(m_bus.Sim().DeviceId()), m_bus.ctrl->NewDeviceId());
        } else {
            QTRY_COMPARE(m_prompt->Texts(), (QStringList{"T106", "T107"}));
        }
    }

    // Each model answers at its own rate and framing and ends up with its interface type.
    void testModelsGoOnline_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<QByteArray>("usedId");   // empty: a fresh reader with a blank slot
        QTest::newRow("Cedar") << int(Sim::Model::Cedar) << 1 << QByteArray();
        QTest::newRow("Maple, ID slot used") << int(Sim::Model::Maple) << 2 << QByteArray("AB12CD34EF56AB78CD90");
        QTest::newRow("Birch") << int(Sim::Model::Birch) << 0 << QByteArray();
    }
    void testModelsGoOnline()
    {
        QFETCH(int, model);
        QFETCH(QByteArray, usedId);
        const auto m = Sim::Model(model);
        Peer& p = m == Sim::Model::Birch ? m_birch : m_bus;
        if (&p == &m_bus)
            QVERIFY(Begin(p, m, [&](Sim::ReaderSim& s) {
                if (!usedId.isEmpty())
                    s.SetDeviceId(usedId.toStdString());
            }));
        QVERIFY(p.Connected(kDeskConnectMs));
        CSerialLink& link = p.ctrl->Link();
        QTEST(link.m_nInterfaceType.load(), "interfaceType");
        QCOMPARE(link.m_nPortInUse.load(), p.Sim().ComNumber());
        QVERIFY(p.ctrl->IsOnline());
        QTRY_COMPARE(p.online->count(), 1);
        QVERIFY(m_prompt->Texts().isEmpty());
        QCOMPARE(p.ctrl->StartConnectWorker(), 1);   // the port is open: nothing starts
        QCOMPARE(p.Sim().Received('H'), 1);

        if (!p.Sim().Info().bus) {
            // Five identify telegrams at the bus rate went unheard before the desk rate.
            int wrongLine = 0;
            for (const auto& e : p.Sim().Log())
                wrongLine += e.heard == Sim::Heard::WrongLine;
            QCOMPARE(wrongLine, 5);
            QCOMPARE(p.Sim().ClockWrites(), 0);
            QCOMPARE(p.ctrl->MasterTransponder(), QByteArray("0000000042"));
            return;
        }
        if (usedId.isEmpty()) {
            // A fresh reader's blank ID slot receives the ID made for this start.
            QCOMPARE(p.ctrl->NewDeviceId().size(), 20);
            QCOMPARE(QByteArray::fromStdString(p.Sim().DeviceId()), p.ctrl->NewDeviceId());
        } else {
            QCOMPARE(p.ctrl->DeviceId(), usedId);
            QCOMPARE(p.Sim().Received('S'), 1);   // the clock only
        }
        // Its clock is the PC's, weekday included.
        const auto clock = p.Sim().LastClock();
        QVERIFY(clock.has_value());
        const QDateTime set(QDate(2000 + clock->year, clock->month, clock->day),
                            QTime(clock->hour, clock->minute, clock->second));
        QVERIFY(qAbs(set.secsTo(QDateTime::currentDateTime())) <= 5);
        QCOMPARE(clock->weekday, set.date().dayOfWeek());
        QTRY_VERIFY(p.Sim().Received('C') >= 2);   // the monitor polls for tags
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
        m_birch.Sim().PresentTag("0000000777");
        QTRY_COMPARE(link.ReplyText(), QByteArray("R0000000777"));
        link.m_nCapture = 0;
        m_birch.Sim().PresentTag("0000000042");
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0000000042"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010000000042 ==> MASTER"));
    }
};

QTEST_GUILESS_MAIN(TestLinkOnline)
#include "test_link_online.moc"
