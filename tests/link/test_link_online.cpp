// Going online and staying online, against the reader simulator on a pseudo-terminal: every
// model, the device ID and clock, the identify retries, the desk-reader fallback, tags,
// the mailbox, a reader falling silent, and closing while connecting or online.
#include "ReaderSim.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CLinkController.h"
#include "link/Telegram.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

constexpr int kCom = 14;
constexpr int kBusConnectMs = 5000;
constexpr int kDeskConnectMs = 15000;   // five identify telegrams of 2 s go unanswered first

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

QStringList MessageTexts(const ScriptedPrompt& prompt)
{
    QStringList texts;
    for (const auto& shown : prompt.Log())
        if (shown.kind == ScriptedPrompt::Shown::Message)
            texts << shown.text;
    return texts;
}

} // namespace

class TestLinkOnline : public QObject {
    Q_OBJECT

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    std::unique_ptr<Sim::ReaderSim> m_sim;
    std::unique_ptr<CLinkController> m_ctrl;

    bool StartSim(Sim::Model model)
    {
        m_sim = std::make_unique<Sim::ReaderSim>(model, kCom);
        if (!m_sim->Start()) {
            qWarning("%s", m_sim->ErrorText().c_str());
            return false;
        }
        Settings::WriteAktCom(kCom);
        return true;
    }

    // Starts a connection and waits for its result.
    bool Connect(int timeoutMs)
    {
        QSignalSpy result(m_ctrl.get(), &CLinkController::ConnectResult);
        if (m_ctrl->StartConnectWorker() != 0)
            return false;
        if (!result.wait(timeoutMs))
            return false;
        return result.first().first().toBool();
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(0, WriteTexts());
        QVERIFY(m_lang->IsLoaded());
    }

    void init()
    {
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_ctrl = std::make_unique<CLinkController>(m_lang.get());
        CLinkController::SetWeekdayNameSource(nullptr);
    }

    void cleanup()
    {
        m_ctrl.reset();
        if (m_sim)
            m_sim->Stop();
        m_sim.reset();
        m_prompt.reset();
        CLinkController::SetWeekdayNameSource(nullptr);
    }

    void testClockData_data()
    {
        QTest::addColumn<QByteArray>("weekday");
        QTest::addColumn<QByteArray>("data");
        // Thursday 7 March 2024, 09:05:03.250
        QTest::newRow("English") << QByteArray("Thursday") << QByteArray("U0000030509040703" "24");
        QTest::newRow("German") << QByteArray("Donnerstag") << QByteArray("U0000030509040703" "24");
        QTest::newRow("within a longer name") << QByteArray("Sunday (7)") << QByteArray("U0000030509070703" "24");
        QTest::newRow("Samstag") << QByteArray("Samstag") << QByteArray("U0000030509060703" "24");
        QTest::newRow("French") << QByteArray("jeudi") << QByteArray();
        QTest::newRow("lower-case English") << QByteArray("thursday") << QByteArray();
    }
    void testClockData()
    {
        QFETCH(QByteArray, weekday);
        QFETCH(QByteArray, data);
        const QDateTime at(QDate(2024, 3, 7), QTime(9, 5, 3, 250));
        QCOMPARE(CLinkController::BuildClockData(at, weekday), data);
    }

    // Each model answers at its own rate and framing and ends up with its interface type.
    void testModelsGoOnline_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("interfaceType");
        QTest::newRow("Cedar") << int(Sim::Model::Cedar) << 1;
        QTest::newRow("Maple") << int(Sim::Model::Maple) << 2;
        QTest::newRow("Rowan") << int(Sim::Model::Rowan) << 4;
        QTest::newRow("Alder") << int(Sim::Model::Alder) << 3;
    }
    void testModelsGoOnline()
    {
        QFETCH(int, model);
        QFETCH(int, interfaceType);
        QVERIFY(StartSim(Sim::Model(model)));
        const bool bus = m_sim->Info().bus;
        QSignalSpy progress(m_ctrl.get(), &CLinkController::ConnectProgressShow);
        QSignalSpy hidden(m_ctrl.get(), &CLinkController::ConnectProgressHide);
        QSignalSpy online(m_ctrl.get(), &CLinkController::ReaderOnline);

        QVERIFY(Connect(bus ? kBusConnectMs : kDeskConnectMs));
        CSerialLink& link = m_ctrl->Link();
        QCOMPARE(link.m_nInterfaceType.load(), interfaceType);
        QCOMPARE(link.m_nPortInUse.load(), kCom);
        QCOMPARE(link.m_nPortOpen.load(), 1);
        QVERIFY(m_ctrl->IsOnline());
        QCOMPARE(link.m_bBusy.load(), 0);
        QCOMPARE(hidden.count(), 1);
        QTRY_COMPARE(online.count(), 1);
        QVERIFY(progress.count() >= 2);
        QCOMPARE(progress.at(1).at(0).toString(), QStringLiteral("\nT103 COM14\nT104"));
        QCOMPARE(progress.at(1).at(1).toInt(), 1);
        QVERIFY(MessageTexts(*m_prompt).isEmpty());
        QCOMPARE(m_ctrl->StartConnectWorker(), 1);   // the port is open: nothing starts

        if (bus) {
            QCOMPARE(m_sim->Received('H'), 1);
            // A fresh reader's blank ID slot receives the ID made for this start.
            QCOMPARE(m_ctrl->NewDeviceId().size(), 20);
            QCOMPARE(m_ctrl->DeviceId(), m_ctrl->NewDeviceId());
            QCOMPARE(QByteArray::fromStdString(m_sim->DeviceId()), m_ctrl->NewDeviceId());
            // Its clock is the PC's, weekday included.
            const auto clock = m_sim->LastClock();
            QVERIFY(clock.has_value());
            const QDateTime set(QDate(2000 + clock->year, clock->month, clock->day),
                                QTime(clock->hour, clock->minute, clock->second));
            QVERIFY(qAbs(set.secsTo(QDateTime::currentDateTime())) <= 5);
            QCOMPARE(clock->weekday, set.date().dayOfWeek());
            // The monitor polls for tags.
            QTRY_VERIFY(m_sim->Received('C') >= 2);
        } else {
            // Five identify telegrams at the bus rate went unheard before the desk rate.
            int wrongLine = 0;
            for (const auto& e : m_sim->Log())
                wrongLine += e.heard == Sim::Heard::WrongLine;
            QCOMPARE(wrongLine, 5);
            QCOMPARE(m_sim->Received('H'), 1);
            QCOMPARE(m_sim->ClockWrites(), 0);
        }
    }

    void testUsedDeviceIdIsKept()
    {
        QVERIFY(StartSim(Sim::Model::Maple));
        m_sim->SetDeviceId("AB12CD34EF56AB78CD90");
        QVERIFY(Connect(kBusConnectMs));
        QCOMPARE(m_ctrl->DeviceId(), QByteArray("AB12CD34EF56AB78CD90"));
        QCOMPARE(m_sim->DeviceId(), std::string("AB12CD34EF56AB78CD90"));
        QCOMPARE(m_sim->Received('S'), 1);   // the clock only
    }

    void testIdentityOnFourthTry()
    {
        QVERIFY(StartSim(Sim::Model::Maple));
        Sim::SimFaults faults;
        faults.identifyOnTry = 4;
        m_sim->SetFaults(faults);
        QVERIFY(Connect(kDeskConnectMs));
        QCOMPARE(m_ctrl->Link().m_nInterfaceType.load(), 2);
        QCOMPARE(m_sim->Received('H'), 4);
    }

    // Noise, a stray EOT and interim frames before each reply do not keep a reader offline.
    void testOnlineThroughLineNoise()
    {
        QVERIFY(StartSim(Sim::Model::Cedar));
        Sim::SimFaults faults;
        faults.noiseBytes = 3;
        faults.eotBeforeStx = true;
        faults.interimFrames = 2;
        m_sim->SetFaults(faults);
        QVERIFY(Connect(kBusConnectMs));
        QCOMPARE(m_ctrl->Link().m_nInterfaceType.load(), 1);
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
        if (fault == "none") {
            QVERIFY(!QFileInfo::exists(QDir::homePath() + "/nothing"));
            Settings::WriteAktCom(201);   // no link, no /dev/ttyS200
        } else {
            QVERIFY(StartSim(Sim::Model::Cedar));
            Sim::SimFaults faults;
            faults.badChecksum = fault == "badChecksum";
            m_sim->SetFaults(faults);
            if (fault == "french")
                CLinkController::SetWeekdayNameSource([](const QDate&) { return QByteArray("jeudi"); });
        }
        QVERIFY(!Connect(kBusConnectMs));
        QTRY_COMPARE(MessageTexts(*m_prompt), messages);
        CSerialLink& link = m_ctrl->Link();
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QVERIFY(!m_ctrl->IsOnline());
        if (fault == "badChecksum")
            QCOMPARE(m_sim->Received('L'), 4);
    }

    void testPortOutOfRangeBecomes256()
    {
        Settings::WriteAktCom(0);
        QSignalSpy progress(m_ctrl.get(), &CLinkController::ConnectProgressShow);
        QVERIFY(!Connect(kBusConnectMs));
        QCOMPARE(Settings::ReadAktCom(), 256u);
        QCOMPARE(m_ctrl->Link().m_nConfiguredPort.load(), 256u);
        QTRY_VERIFY(progress.count() >= 2);
        QCOMPARE(progress.at(1).at(1).toInt(), 5);
        QTRY_COMPARE(MessageTexts(*m_prompt), QStringList{"T107"});
    }

    void testBusTagShownOnce()
    {
        QVERIFY(StartSim(Sim::Model::Cedar));
        QVERIFY(Connect(kBusConnectMs));
        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        QSignalSpy display(m_ctrl.get(), &CLinkController::TagDisplayChanged);
        // Polls answered "NOTAG" announce nothing.
        const int polls = m_sim->Received('C');
        QTRY_VERIFY(m_sim->Received('C') >= polls + 2);
        QCOMPARE(seen.count(), 0);

        m_sim->PresentTag("0001234567", true);
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0001234567"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010001234567"));
        // 1.5 s later the display is back to text 201 alone; no second tag came meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(display.count(), 2, 3000);
        QCOMPARE(display.last().first().toString(), QStringLiteral("T201"));
        QCOMPARE(seen.count(), 1);
    }

    // A poll's tag reply that arrives while a mailbox telegram is queued is the mailbox's
    // reply, not a tag in the field; the queued telegram goes out next.
    void testTagReplyWhileMailboxQueued()
    {
        QVERIFY(StartSim(Sim::Model::Cedar));
        QVERIFY(Connect(kBusConnectMs));
        CSerialLink& link = m_ctrl->Link();
        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        const QByteArray queued = Telegram::BuildAddressedFrame('L', "S0000");
        std::atomic<bool> done{false};
        m_sim->SetTrafficListener([&](const Sim::SimLogEntry& e) {
            if (e.command == 'C' && !done.exchange(true)) {
                link.m_nReady = 0;   // as a mailbox caller does before queueing
                link.SetOutgoing(queued);
            }
        });
        const int reads = m_sim->Received('L');
        m_sim->PresentTag("0009990001", true);
        QTRY_VERIFY(done.load());
        QTRY_VERIFY(m_sim->Received('L') > reads);
        QTRY_VERIFY(m_sim->Received('C') >= 2 + m_sim->Received('L'));
        QCOMPARE(seen.count(), 0);
        m_sim->SetTrafficListener(nullptr);
    }

    void testMailboxReadThroughMonitor()
    {
        QVERIFY(StartSim(Sim::Model::Rowan));
        m_sim->SetDeviceId("00112233445566778899");
        QVERIFY(Connect(kBusConnectMs));
        CSerialLink& link = m_ctrl->Link();
        const QByteArray reply = link.SendTelegramViaMonitor('L', "S0000", 1);
        QCOMPARE(reply.size(), 26);
        QCOMPARE(reply.mid(4, 20), QByteArray("00112233445566778899"));
        QCOMPARE(link.m_nReady.load(), 1);

        Sim::SimFaults faults;
        faults.badChecksum = true;
        m_sim->SetFaults(faults);
        QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1), QByteArray("CRC_ERROR"));
    }

    void testReaderFallsSilent()
    {
        QVERIFY(StartSim(Sim::Model::Cedar));
        QVERIFY(Connect(kBusConnectMs));
        QSignalSpy lost(m_ctrl.get(), &CLinkController::ConnectionLost);
        Sim::SimFaults faults;
        faults.silent = true;
        m_sim->SetFaults(faults);
        QVERIFY(lost.wait(12000));
        CSerialLink& link = m_ctrl->Link();
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QVERIFY(!m_ctrl->IsOnline());
        QCOMPARE(MessageTexts(*m_prompt), QStringList{"T114T14"});
        QCOMPARE(lost.count(), 1);
    }

    // The desk reader: reached after five silent identify telegrams, its master number read,
    // its own tag frames announced unless capture is set.
    void testDeskReader()
    {
        QVERIFY(StartSim(Sim::Model::Birch));
        m_sim->SetMaster("0000000042");
        QVERIFY(Connect(kDeskConnectMs));
        CSerialLink& link = m_ctrl->Link();
        QCOMPARE(link.m_nInterfaceType.load(), 0);
        QCOMPARE(m_ctrl->MasterTransponder(), QByteArray("0000000042"));
        QCOMPARE(m_sim->Received('G'), 1);

        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        QSignalSpy display(m_ctrl.get(), &CLinkController::TagDisplayChanged);
        // While capturing, a tag frame only goes to the mailbox.
        link.m_nCapture = 1;
        m_sim->PresentTag("0000000777");
        QTRY_COMPARE(link.ReplyText(), QByteArray("R0000000777"));
        link.m_nCapture = 0;
        m_sim->PresentTag("0000000042");
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0000000042"));
        QCOMPARE(display.first().first().toString(), QStringLiteral("T2010000000042 ==> MASTER"));
    }

    void testCloseWhileConnecting()
    {
        QVERIFY(StartSim(Sim::Model::Birch));   // the bus-rate identify goes unanswered
        QCOMPARE(m_ctrl->StartConnectWorker(), 0);
        QTRY_VERIFY(!m_sim->Log().empty());
        QElapsedTimer timer;
        timer.start();
        m_ctrl.reset();
        QVERIFY2(timer.elapsed() < 1000, QByteArray::number(timer.elapsed()));   // the workers ended, none was left behind
        QVERIFY(MessageTexts(*m_prompt).isEmpty());
    }

    void testCloseWhileOnline()
    {
        QVERIFY(StartSim(Sim::Model::Cedar));
        QVERIFY(Connect(kBusConnectMs));
        m_sim->PresentTag("0001112223");   // the monitor is busy announcing tags
        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        QVERIFY(seen.wait(3000));
        QElapsedTimer timer;
        timer.start();
        m_ctrl.reset();
        QVERIFY2(timer.elapsed() < 1000, QByteArray::number(timer.elapsed()));   // the workers ended, none was left behind
    }
};

QTEST_GUILESS_MAIN(TestLinkOnline)
#include "test_link_online.moc"
