// The serial link against a scripted device on a pseudo-terminal: opening by COM number,
// line settings, the reception rules of a direct exchange, and closing.
#include "PtyPeer.h"
#include "link/CSerialLink.h"
#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <thread>

class TestLinkSerial : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void testComNumber_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<uint>("number");
        QTest::newRow("COM1") << QByteArray("COM1") << 1u;
        QTest::newRow("lower case") << QByteArray("com12") << 12u;
        QTest::newRow("COM256") << QByteArray("COM256") << 256u;
        QTest::newRow("COM257") << QByteArray("COM257") << 0u;
        QTest::newRow("COM0") << QByteArray("COM0") << 0u;
        QTest::newRow("bare COM") << QByteArray("COM") << 0u;
        QTest::newRow("trailing text") << QByteArray("COM3x") << 0u;
        QTest::newRow("LPT1") << QByteArray("LPT1") << 0u;
    }
    void testComNumber()
    {
        QFETCH(QByteArray, name);
        QFETCH(uint, number);
        QCOMPARE(ComPorts::ComNumber(name), number);
    }

    void testDevicePath()
    {
        QCOMPARE(ComPorts::DevicePath(3), QByteArray("/dev/ttyS2"));
        PtyPeer peer;
        QVERIFY(ComPorts::SetComLink(3, QString::fromLocal8Bit(peer.SlavePath())));
        QCOMPARE(ComPorts::DevicePath(3), QFile::encodeName(ComPorts::LinkPath(3)));
        QCOMPARE(ComPorts::ResolvePortName("COM3"), ComPorts::DevicePath(3));
        QVERIFY(QFile::remove(ComPorts::LinkPath(3)));
    }

    // COM numbers above 9 go through the same link folder; the line runs raw 8N1 without
    // flow control at the requested rate.
    void testOpenByComNumber_data()
    {
        QTest::addColumn<int>("speedMode");
        QTest::addColumn<uint>("baud");
        QTest::newRow("bus readers") << 1 << 57200u;
        QTest::newRow("desk readers") << 2 << 9600u;
    }
    void testOpenByComNumber()
    {
        QFETCH(int, speedMode);
        QFETCH(uint, baud);
        PtyPeer peer;
        QVERIFY(peer.IsValid());
        QVERIFY(ComPorts::SetComLink(12, QString::fromLocal8Bit(peer.SlavePath())));
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM12", uint8_t(speedMode)), 1);
        QCOMPARE(link.m_nPortOpen.load(), 1);
        const auto port = link.PortForChecks();
        QVERIFY(port);
        QCOMPARE(port->Baud(), baud);
        const CSerialPort::LineSettings line = port->Line();
        QCOMPARE(line.dataBits, 8);
        QVERIFY(!line.parity);
        QVERIFY(!line.twoStopBits);
        QVERIFY(!line.hardwareFlow);
        QVERIFY(!line.softwareFlow);
        QVERIFY(line.raw);
        QCOMPARE(link.GetTimeouts().readTotalConstant, 100u);
        QCOMPARE(link.CloseComPort(), 1);
    }

    void testOpenMissingPort()
    {
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM200", 1), 0);   // no link and no /dev/ttyS199
        QCOMPARE(link.OpenComPort("LPT1", 1), 0);
        QCOMPARE(link.m_nPortOpen.load(), 0);
    }

    void testCloseComPort()
    {
        CSerialLink link;
        link.m_nInterfaceType = 2;
        link.m_nPortInUse = 7;
        QCOMPARE(link.CloseComPort(), 1);   // closed already: nothing changes
        QCOMPARE(link.m_nInterfaceType.load(), 2);
        QCOMPARE(link.m_nPortInUse.load(), 7);
        QCOMPARE(link.m_nStopRequest.load(), 0);

        PtyPeer peer;
        QCOMPARE(link.OpenComPort(peer.SlavePath(), 1), 1);
        QCOMPARE(link.CloseComPort(), 1);
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QCOMPARE(link.m_nStopRequest.load(), 1);
        QVERIFY(!link.PortForChecks());
    }

    // A read waiting on another thread ends as soon as the port is closed, without touching
    // a released descriptor.
    void testCloseWakesReader()
    {
        PtyPeer peer;
        CSerialLink link;
        QCOMPARE(link.OpenComPort(peer.SlavePath(), 1), 1);
        link.SetReadTotalConstant(5000);
        std::atomic<int> result{2};
        QElapsedTimer timer;
        timer.start();
        std::thread reader([&] {
            uint8_t byte = 0;
            result = link.ReadByte(byte);
        });
        QTest::qWait(50);
        link.CloseComPort();
        reader.join();
        QCOMPARE(result.load(), -1);
        QVERIFY(timer.elapsed() < 2000);
    }

    void testReception_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray r = "\x02R0\x04";
        QTest::newRow("plain") << QByteArray("\x02KTMQ1735\x04") << QByteArray("KTMQ1735");
        QTest::newRow("noise before STX") << QByteArray("zz\x01\xff\x02KTMQ1735\x04") << QByteArray("KTMQ1735");
        QTest::newRow("EOT before STX") << QByteArray("\x04xy\x04\x02" "ABC\x04") << QByteArray("ABC");
        QTest::newRow("two STX") << QByteArray("\x02junk\x02" "ABC\x04") << QByteArray("ABC");
        QTest::newRow("interim followed") << QByteArray(r + "\x02OK\x04") << QByteArray("OK");
        QTest::newRow("20 interim followed") << QByteArray(r.repeated(20) + "\x02OK\x04") << QByteArray("OK");
        QTest::newRow("21 interim give up") << QByteArray(r.repeated(21) + "\x02OK\x04") << QByteArray();
        QTest::newRow("empty frame") << QByteArray("\x02\x04") << QByteArray();
        QTest::newRow("interim, then nothing") << r << QByteArray();
    }
    void testReception()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, expected);
        PtyPeer peer;
        peer.SetHandler([answer](const QByteArray&) { return answer; });
        CSerialLink link;
        QCOMPARE(link.OpenComPort(peer.SlavePath(), 1), 1);
        QCOMPARE(link.SendTelegram('L', "S0000", 1), expected);
        QCOMPARE(peer.Telegrams(), QList<QByteArray>{QByteArray("\x02" "FFLS0000EB\x04")});
        // From now on every read waits only briefly: that paces the monitor worker.
        QCOMPARE(link.GetTimeouts().readTotalConstant, 10u);
    }

    void testMissingEotTimesOutAfterTwoSeconds()
    {
        PtyPeer peer;
        peer.SetHandler([](const QByteArray&) { return QByteArray("\x02" "ABC"); });
        CSerialLink link;
        QCOMPARE(link.OpenComPort(peer.SlavePath(), 1), 1);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(link.SendTelegram('H', {}, 1), QByteArray());
        QVERIFY2(timer.elapsed() >= 1900 && timer.elapsed() < 3500, QByteArray::number(timer.elapsed()));
    }

    // Modes other than 1 and 2 send nothing: the first telegram the device sees is the
    // short frame sent after them.
    void testOtherFrameModesSendNothing()
    {
        PtyPeer peer;
        peer.SetHandler([](const QByteArray&) { return QByteArray("\x02KTMQ32\x04"); });
        CSerialLink link;
        QCOMPARE(link.OpenComPort(peer.SlavePath(), 2), 1);
        QCOMPARE(link.SendTelegram('H', {}, 0), QByteArray());
        QCOMPARE(link.SendTelegram('H', {}, 3), QByteArray());
        QCOMPARE(link.GetTimeouts().readTotalConstant, 100u);   // the port was not touched
        QCOMPARE(link.SendTelegram('H', {}, 2), QByteArray("KTMQ32"));
        QCOMPARE(peer.Telegrams(), QList<QByteArray>{QByteArray("\x02H\x04")});
    }

    void testSendOnClosedPort()
    {
        CSerialLink link;
        QCOMPARE(link.SendTelegram('H', {}, 1), QByteArray());
    }

    // Mailbox without a monitor: mode 0 returns at once, a real mode waits out the 3000 ms.
    void testMailboxWithoutMonitor()
    {
        CSerialLink link;
        link.StoreReply("old");
        QCOMPARE(link.SendTelegramViaMonitor('H', {}, 0), QByteArray());
        QCOMPARE(link.ReplyText(), QByteArray());
        QVERIFY(link.Outgoing().isEmpty());

        // A reply stored by another thread while the caller waits is what the caller gets.
        std::thread monitor([&] {
            while (link.Outgoing().isEmpty())
                std::this_thread::yield();
            QByteArray frame = link.TakeOutgoing();
            link.StoreReply(frame.mid(1, frame.size() - 2));
        });
        QCOMPARE(link.SendTelegramViaMonitor('L', "S0000", 1), QByteArray("FFLS0000EB"));
        monitor.join();
        QCOMPARE(link.m_nReady.load(), 1);
    }

    // Only terminals count; a USB adapter gets the lowest free number and keeps it.
    void testEnumerateComPorts()
    {
        QDir dosDevices(QFileInfo(ComPorts::LinkPath(1)).path());
        dosDevices.removeRecursively();
        const QString devDir = VmTest::IsolateHome() + QStringLiteral("/fakedev");
        QDir(devDir).removeRecursively();
        QVERIFY(QDir().mkpath(devDir));

        PtyPeer notUart, usb0, usb1, linked;
        auto link = [](const QByteArray& target, const QString& at) {
            return QFile::link(QString::fromLocal8Bit(target), at);
        };
        QVERIFY(link(notUart.SlavePath(), devDir + "/ttyS0"));   // no UART behind it
        QVERIFY(link(usb0.SlavePath(), devDir + "/ttyUSB0"));
        QVERIFY(link(usb1.SlavePath(), devDir + "/ttyACM0"));
        QVERIFY(ComPorts::SetComLink(2, QString::fromLocal8Bit(linked.SlavePath())));
        QVERIFY(ComPorts::SetComLink(5, devDir + "/gone"));          // unplugged: kept, not listed
        QVERIFY(QFile::link(devDir + "/regular", ComPorts::LinkPath(6)));
        QFile regular(devDir + "/regular");
        QVERIFY(regular.open(QIODevice::WriteOnly));                  // not a device

        std::vector<uint32_t> ports{99};
        ComPorts::EnumerateComPorts(ports, devDir);
        QCOMPARE(ports, (std::vector<uint32_t>{1, 2, 3}));
        QCOMPARE(QFileInfo(ComPorts::LinkPath(3)).symLinkTarget(), devDir + "/ttyUSB0");
        QCOMPARE(QFileInfo(ComPorts::LinkPath(1)).symLinkTarget(), devDir + "/ttyACM0");

        // Listing again changes nothing: the adapters keep their numbers.
        ComPorts::EnumerateComPorts(ports, devDir);
        QCOMPARE(ports, (std::vector<uint32_t>{1, 2, 3}));
        QVERIFY(!QFileInfo::exists(ComPorts::LinkPath(4)));
    }
};

QTEST_GUILESS_MAIN(TestLinkSerial)
#include "test_link_serial.moc"
