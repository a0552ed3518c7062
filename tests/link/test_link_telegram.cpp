// Telegram framing and the checksum rule, byte for byte; the reception of reply frames from a
// byte stream and what the monitor makes of a frame.
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestLinkTelegram : public QObject {
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
        QTest::newRow("read S0000") << QByteArray("LS0000") << true << QByteArray("FFLS0000EB") << 1;
        QTest::newRow("tag poll") << QByteArray("CT") << true << QByteArray("FFCT23") << 1;
        // 140 + 83 + 83 + 4*48 + 20*65 = 1798 = 0x706
        QTest::newRow("write ID") << "S" + ids << true << "FFS" + ids + "06" << 1;
        // high-bit characters add their byte value: 140 + 76 + 255 = 471 -> 0xD7
        QTest::newRow("high bit") << QByteArray("L\xFF") << true << QByteArray("FFL\xFF" "D7") << 1;
        QTest::newRow("short identify") << QByteArray("H") << false << QByteArray("H") << -1;
        QTest::newRow("short master") << QByteArray("G00") << false << QByteArray("G00") << -1;
        QTest::newRow("00") << QByteArray() << true << QByteArray("00") << 1;
        QTest::newRow("01") << QByteArray() << true << QByteArray("01") << 0;
        QTest::newRow("one char") << QByteArray() << true << QByteArray("0") << 0;
        QTest::newRow("empty") << QByteArray() << true << QByteArray() << 0;
        QTest::newRow("high bit reply") << QByteArray() << true << QByteArray("A\x80" "C1") << 1;
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
        if (text == "FFCT23")
            QCOMPARE(Telegram::PollTelegram(), frame);
        if (ok >= 0) {
            QCOMPARE(Telegram::IsTelegramChecksumOK(text), ok);
            QCOMPARE(CSerialLink::IsTelegramChecksumOK(text), ok);
        }
    }

    // Byte streams through the direct exchange's reception (a read past the end times out).
    void testReception_data()
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
        QTest::newRow("a second STX starts again") << stx + "FFC" + stx + good + eot << good;
        QTest::newRow("cut off") << stx + good << QByteArray();
        QTest::newRow("interim, then nothing") << stx + "R" + eot << QByteArray();
    }
    void testReception()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, reply);
        qsizetype pos = 0;
        const QByteArray got = Telegram::ReceiveReply([&](uint8_t& byte) {
            if (pos >= stream.size())
                return 0;
            byte = uint8_t(stream.at(pos++));
            return 1;
        });
        QCOMPARE(got, reply);
    }

    // A device that sends without end holds no more than one bounded frame in memory.
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
        QFETCH(int, verdict);
        QFETCH(QByteArray, busTag);
        QFETCH(QByteArray, deskTag);
        QCOMPARE(int(Telegram::CheckBusReply(text)), verdict);
        QCOMPARE(Telegram::BusReplyTag(text), busTag);
        QCOMPARE(Telegram::DeskFrameTag(text), deskTag);
    }
};

QTEST_GUILESS_MAIN(TestLinkTelegram)
#include "test_link_telegram.moc"
