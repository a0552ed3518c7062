// Telegram framing and the checksum rule, byte for byte; the reception of reply frames from a
// byte stream and what the monitor makes of a frame. Then the serial link against the reader
// simulator: opening by COM number, the rate of each speed mode, the reception rules of a
// direct exchange, closing, and the list of COM ports.
#include "ReaderSim.h"
#include "link/CSerialLink.h"
#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "link/Telegram.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <stdlib.h>
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

    // Each row: a telegram built from command and data (none when "build" is empty) and what
    // the checksum check says of a text between STX and EOT (-1: not asked).
    void testTelegrams_data()
    {
        QTest::addColumn<QByteArray>("build");   // command followed by data
        QTest::addColumn<bool>("addressed");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("ok");
        const QByteArray ids = "S0000" + QByteArray(20, 'A');
        QTest::newRow("identify") << QByteArray("H") << true << QByteArray("FFHD4") << 1;
        // 140 + 83 + 83 + 4*48 + 20*65 = 1798 = 0x706
        QTest::newRow("write ID") << "S" + ids << true << "FFS" + ids + "06" << 1;
        // high-bit characters add their byte value: 140 + 76 + 255 = 471 -> 0xD7
        QTest::newRow("high bit") << QByteArray("L\xFF") << true << QByteArray("FFL\xFF" "D7") << 1;
        QTest::newRow("short master") << QByteArray("G00") << false << QByteArray("G00") << -1;
        QTest::newRow("00") << QByteArray() << true << QByteArray("00") << 1;
        QTest::newRow("01") << QByteArray() << true << QByteArray("01") << 0;
        QTest::newRow("empty") << QByteArray() << true << QByteArray() << 0;
        // "FFLT" = 300 -> 0x2C; lower-case digits are not the same checksum
        QTest::newRow("lower case") << QByteArray() << true << QByteArray("FFLT2c") << 0;
        QTest::newRow("wrong") << QByteArray() << true << QByteArray("FFLT2D") << 0;
    }
    void testTelegrams()
    {
        QFETCH(QByteArray, build);
        QFETCH(bool, addressed);
        QFETCH(QByteArray, text);
        QFETCH(int, ok);
        const QByteArray frame = Telegram::STX + text + Telegram::EOT;
        if (!build.isEmpty()) {
            const char command = build.at(0);
            QCOMPARE(addressed ? Telegram::BuildAddressedFrame(command, build.mid(1))
                               : Telegram::BuildShortFrame(command, build.mid(1)),
                     frame);
        }
        if (ok >= 0) {
            QCOMPARE(Telegram::IsTelegramChecksumOK(text), ok);
            QCOMPARE(CSerialLink::IsTelegramChecksumOK(text), ok);
        }
    }

    // Byte streams through the direct exchange's reception (a read past the end times out).
    void testFrameReception_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray stx(1, Telegram::STX);
        const QByteArray eot(1, Telegram::EOT);
        const QByteArray good = "FFCT0A1B2C3D4E" + Telegram::Checksum("FFCT0A1B2C3D4E");
        const qsizetype bound = Telegram::kMaxFrameLength;
        QTest::newRow("frame at the length bound") << stx + QByteArray(bound, 'A') + eot << QByteArray(bound, 'A');
        QTest::newRow("one byte past the bound") << stx + QByteArray(bound + 1, 'A') + eot << QByteArray();
        QTest::newRow("a megabyte, then a reply") << stx + QByteArray(1 << 20, 'A') + eot + stx + good + eot << good;
        QTest::newRow("EOT before the STX") << eot + stx + good + eot << good;
        QTest::newRow("noise before the STX") << "#~x" + stx + good + eot << good;
        QTest::newRow("a second STX starts again") << stx + "FFC" + stx + good + eot << good;
        QTest::newRow("cut off") << stx + good << QByteArray();
        QTest::newRow("interim, then nothing") << stx + "R" + eot << QByteArray();
    }
    void testFrameReception()
    {
        QFETCH(QByteArray, stream);
        qsizetype pos = 0;
        const QByteArray got = Telegram::ReceiveReply([&](uint8_t& byte) {
            if (pos >= stream.size())
                return 0;
            byte = uint8_t(stream.at(pos++));
            return 1;
        });
        QTEST(got, "reply");
    }

    // A noisy line that never sends the end of a frame must not make the collector grow.
    void testEndlessFrameKeepsMemoryBounded()
    {
        Telegram::FrameCollector frame;
        frame.Feed(uint8_t(Telegram::STX));
        for (int i = 0; i < (1 << 20); ++i)
            frame.Feed('A');
        QVERIFY(!frame.Complete());
        QVERIFY(frame.Text().capacity() <= 2 * Telegram::kMaxFrameLength);
    }

    // What the monitor makes of a complete frame: a bus reader's reply (stored, "CRC_ERROR" or
    // nothing), the transponder a poll reply announces, and a desk reader's own tag frame.
    void testMonitorVerdicts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("verdict");   // Telegram::BusReply
        QTest::addColumn<QByteArray>("busTag");
        QTest::addColumn<QByteArray>("deskTag");
        const auto withSum = [](const QByteArray& t) { return t + Telegram::Checksum(t); };
        const int noTag = int(Telegram::BusReply::NoTag);
        const int accepted = int(Telegram::BusReply::Accepted);
        const int crc = int(Telegram::BusReply::ChecksumError);
        QTest::newRow("poll reply") << withSum("FFCT0A1B2C3D4E") << accepted << QByteArray("0A1B2C3D4E") << QByteArray();
        QTest::newRow("poll reply, wrong sum") << QByteArray("FFCT0A1B2C3D4E00") << crc << QByteArray() << QByteArray();
        QTest::newRow("NOTAG") << QByteArray("FFCTNOTAG") << noTag << QByteArray() << QByteArray();
        QTest::newRow("NOTAG, 16 with sum") << withSum("FFCTNOTAGxxxxx") << noTag << QByteArray() << QByteArray();
        QTest::newRow("read reply: no tag") << withSum("FFLE" + QByteArray(20, '0')) << accepted << QByteArray()
                                            << QByteArray();
        QTest::newRow("desk tag frame") << QByteArray("K0A1B2C3D4E") << crc << QByteArray() << QByteArray("0A1B2C3D4E");
        QTest::newRow("desk frame of 10") << QByteArray("0A1B2C3D4E") << crc << QByteArray() << QByteArray();
    }
    void testMonitorVerdicts()
    {
        QFETCH(QByteArray, text);
        QTEST(int(Telegram::CheckBusReply(text)), "verdict");
        QTEST(Telegram::BusReplyTag(text), "busTag");
        QTEST(Telegram::DeskFrameTag(text), "deskTag");
    }

    void testComNumber_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<uint>("number");
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
    // reply also shows that the speed mode set the right one; the simulator hears nothing else.
    void testReception_data()
    {
        QTest::addColumn<Sim::Model>("model");
        QTest::addColumn<int>("speedMode");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray bus = "KTMQ18A6";
        QTest::newRow("desk reader") << Sim::Model::Birch << 2 << "" << QByteArray("KTMQ32");
        QTest::newRow("20 interim, then the reply") << Sim::Model::Cedar << 1 << "interim20" << bus;
        QTest::newRow("21 interim: given up") << Sim::Model::Cedar << 1 << "interim21" << QByteArray();
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
        f.interimFrames = fault.startsWith("interim") ? fault.mid(7).toInt() : 0;
        f.cutBeforeEot = fault == "cut";
        sim.SetFaults(f);
        CSerialLink link;
        QCOMPARE(link.OpenComPort("COM12", uint8_t(speedMode)), 1);
        QCOMPARE(link.PortForChecks()->Baud(), speedMode == 1 ? 57200u : 9600u);
        QCOMPARE(link.SendTelegram('H', {}, 0), QByteArray());   // modes other than 1 and 2 send nothing
        QCOMPARE(link.SendTelegram('H', {}, 3), QByteArray());
        QElapsedTimer timer;
        timer.start();
        QTEST(link.SendTelegram('H', {}, speedMode), "reply");
        if (fault == "cut")   // the frame never ends: the 2000 ms byte wait runs out
            QVERIFY2(timer.elapsed() >= 1900, QByteArray::number(timer.elapsed()));
        QCOMPARE(sim.Log().size(), std::size_t(1));
        QCOMPARE(link.CloseComPort(), 1);
    }

    // A link whose port did not open sends nothing, and closing it leaves the port state that
    // another attempt set alone.
    void testCloseClosedPort()
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
