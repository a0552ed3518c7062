// The serial link against the reader simulator: opening by COM number, the rate of each speed
// mode, the reception rules of a direct exchange, closing, and the list of COM ports.
#include "ReaderSim.h"
#include "link/CSerialLink.h"
#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(Sim::Model)

namespace {
constexpr int kCom = 12;   // above 9: resolved through the same link folder as COM1

// A pseudo-terminal the test keeps open; returns the path of its terminal end.
QString OpenPty(std::vector<int>& keep)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return {};
    keep.push_back(master);
    return QString::fromLocal8Bit(::ptsname(master));
}
} // namespace

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
        QTest::newRow("trailing text") << QByteArray("COM3x") << 0u;
        QTest::newRow("LPT1") << QByteArray("LPT1") << 0u;
    }
    void testComNumber()
    {
        QFETCH(QByteArray, name);
        QTEST(ComPorts::ComNumber(name), "number");
    }

    // One identify exchange per row. The simulator answers only at its model's rate, so a
    // reply also shows that the speed mode set the right one.
    void testReception_data()
    {
        QTest::addColumn<Sim::Model>("model");
        QTest::addColumn<int>("speedMode");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray bus = "KTMQ18A6";
        QTest::newRow("bus reader") << Sim::Model::Cedar << 1 << "" << bus;
        QTest::newRow("desk reader") << Sim::Model::Birch << 2 << "" << QByteArray("KTMQ32");
        QTest::newRow("noise before STX") << Sim::Model::Cedar << 1 << "noise" << bus;
        QTest::newRow("EOT before STX") << Sim::Model::Cedar << 1 << "eotFirst" << bus;
        QTest::newRow("interim, then the reply") << Sim::Model::Cedar << 1 << "interim1" << bus;
        QTest::newRow("20 interim, then the reply") << Sim::Model::Cedar << 1 << "interim20" << bus;
        QTest::newRow("21 interim: given up") << Sim::Model::Cedar << 1 << "interim21" << QByteArray();
        QTest::newRow("desk interim") << Sim::Model::Birch << 2 << "interim2" << QByteArray("KTMQ32");
        QTest::newRow("cut before EOT") << Sim::Model::Cedar << 1 << "cut" << QByteArray();
    }
    void testReception()
    {
        QFETCH(Sim::Model, model);
        QFETCH(int, speedMode);
        QFETCH(QString, fault);
        Sim::ReaderSim sim(model, kCom);
        QVERIFY(sim.Start());
        Sim::SimFaults f;
        f.noiseBytes = fault == "noise" ? 3 : 0;
        f.eotBeforeStx = fault == "eotFirst";
        f.interimFrames = fault.startsWith("interim") ? fault.mid(7).toInt() : 0;
        f.cutBeforeEot = fault == "cut";
        sim.SetFaults(f);
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM12", uint8_t(speedMode)), 1);
        QCOMPARE(link.PortForChecks()->Baud(), speedMode == 1 ? 57200u : 9600u);
        QElapsedTimer timer;
        timer.start();
        QTEST(link.SendTelegram('H', {}, speedMode), "reply");
        if (fault == "cut")   // the frame never ends: the 2000 ms byte wait runs out
            QVERIFY2(timer.elapsed() >= 1900, QByteArray::number(timer.elapsed()));
        QCOMPARE(sim.Log().size(), std::size_t(1));
        QCOMPARE(link.CloseComPort(), 1);
    }

    // Modes other than 1 and 2 send nothing: the reader hears only the frame sent after them.
    void testOtherFrameModesSendNothing()
    {
        Sim::ReaderSim sim(Sim::Model::Birch, kCom);
        QVERIFY(sim.Start());
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM12", 2), 1);
        QCOMPARE(link.SendTelegram('H', {}, 0), QByteArray());
        QCOMPARE(link.SendTelegram('H', {}, 3), QByteArray());
        QCOMPARE(link.SendTelegram('H', {}, 2), QByteArray("KTMQ32"));
        QCOMPARE(sim.Log().size(), std::size_t(1));
        QCOMPARE(sim.Log().front().frame, std::string("H"));
    }

    void testCloseComPort()
    {
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM200", 1), 0);   // no link and no /dev/ttyS199
        QCOMPARE(link.SendTelegram('H', {}, 1), QByteArray());
        link.m_nInterfaceType = 2;
        link.m_nPortInUse = 7;
        QCOMPARE(link.CloseComPort(), 1);   // closed already: nothing changes
        QCOMPARE(link.m_nInterfaceType.load(), 2);
        QCOMPARE(link.m_nPortInUse.load(), 7);
        QCOMPARE(link.m_nStopRequest.load(), 0);

        Sim::ReaderSim sim(Sim::Model::Cedar, kCom);
        QVERIFY(sim.Start());
        QCOMPARE(link.OpenComPort("COM12", 1), 1);
        // A read waiting on another thread ends as soon as the port is closed.
        link.SetReadTotalConstant(60000);
        std::atomic<int> result{2};
        std::thread reader([&] {
            uint8_t byte = 0;
            result = link.ReadByte(byte);
        });
        QTest::qWait(50);
        QCOMPARE(link.CloseComPort(), 1);
        reader.join();
        QCOMPARE(result.load(), -1);
        QCOMPARE(link.m_nPortOpen.load(), 0);
        QCOMPARE(link.m_nInterfaceType.load(), -1);
        QCOMPARE(link.m_nPortInUse.load(), -1);
        QCOMPARE(link.m_nStopRequest.load(), 1);
        QVERIFY(!link.PortForChecks());
    }

    // Only terminals count; a USB adapter gets the lowest free number and keeps it.
    void testEnumerateComPorts()
    {
        QDir(QFileInfo(ComPorts::LinkPath(1)).path()).removeRecursively();
        const QString devDir = VmTest::IsolateHome() + QStringLiteral("/fakedev");
        QVERIFY(QDir().mkpath(devDir));
        std::vector<int> ptys;
        QVERIFY(QFile::link(OpenPty(ptys), devDir + "/ttyS0"));   // no UART behind it
        QVERIFY(QFile::link(OpenPty(ptys), devDir + "/ttyUSB0"));
        QVERIFY(QFile::link(OpenPty(ptys), devDir + "/ttyACM0"));
        QVERIFY(ComPorts::SetComLink(2, OpenPty(ptys)));
        QVERIFY(ComPorts::SetComLink(5, devDir + "/gone"));          // unplugged: kept, not listed
        QVERIFY(QFile::link(devDir + "/regular", ComPorts::LinkPath(6)));
        QFile regular(devDir + "/regular");
        QVERIFY(regular.open(QIODevice::WriteOnly));                  // not a device

        std::vector<uint32_t> ports{99};
        for (int pass = 0; pass < 2; ++pass) {   // listing again changes nothing
            ComPorts::EnumerateComPorts(ports, devDir);
            QCOMPARE(ports, (std::vector<uint32_t>{1, 2, 3}));
            QCOMPARE(QFileInfo(ComPorts::LinkPath(3)).symLinkTarget(), devDir + "/ttyUSB0");
            QCOMPARE(QFileInfo(ComPorts::LinkPath(1)).symLinkTarget(), devDir + "/ttyACM0");
        }
        QVERIFY(!QFileInfo::exists(ComPorts::LinkPath(4)));
        for (int fd : ptys)
            ::close(fd);
    }
};

QTEST_GUILESS_MAIN(TestLinkSerial)
#include "test_link_serial.moc"
