// Telegram framing and the checksum rule, byte for byte.
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "support/TestEnv.h"

#include <QtTest>

class TestLinkTelegram : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void testFrames_data()
    {
        QTest::addColumn<char>("command");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("addressed");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("identify") << 'H' << QByteArray() << true << QByteArray("\x02" "FFHD4\x04");
        QTest::newRow("read S0000") << 'L' << QByteArray("S0000") << true << QByteArray("\x02" "FFLS0000EB\x04");
        QTest::newRow("tag poll") << 'C' << QByteArray("T") << true << QByteArray("\x02" "FFCT23\x04");
        // "FF" + "S" + "S0000" + 20 x "A": 140 + 83 + 83 + 4*48 + 20*65 = 1798 = 0x706
        QTest::newRow("write ID") << 'S' << QByteArray("S0000" + QByteArray(20, 'A')) << true
                                  << QByteArray("\x02" "FFSS0000" + QByteArray(20, 'A') + "06\x04");
        // the sum wraps: "FF" + "L" + "\xFF" = 140 + 76 + 255 = 471 -> 0xD7
        QTest::newRow("high bit") << 'L' << QByteArray("\xFF") << true << QByteArray("\x02" "FFL\xFF" "D7\x04");
        QTest::newRow("short identify") << 'H' << QByteArray() << false << QByteArray("\x02H\x04");
        QTest::newRow("short master") << 'G' << QByteArray("00") << false << QByteArray("\x02G00\x04");
    }
    void testFrames()
    {
        QFETCH(char, command);
        QFETCH(QByteArray, data);
        QFETCH(bool, addressed);
        QFETCH(QByteArray, frame);
        QCOMPARE(addressed ? Telegram::BuildAddressedFrame(command, data) : Telegram::BuildShortFrame(command, data),
                 frame);
    }

    void testPollIsAnOrdinaryFrame() { QCOMPARE(Telegram::PollTelegram(), QByteArray("\x02" "FFCT23\x04")); }

    void testChecksumOK_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("ok");
        QTest::newRow("two chars 00") << QByteArray("00") << 1;
        QTest::newRow("two chars 01") << QByteArray("01") << 0;
        QTest::newRow("one char") << QByteArray("0") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("identity reply") << QByteArray("KTMQ17" + Telegram::Checksum("KTMQ17")) << 1;
        // "A" + "\x80" = 65 + 128 = 0xC1
        QTest::newRow("high bit") << QByteArray("A\x80" "C1") << 1;
        // "FFLT" = 70+70+76+84 = 300 -> 0x2C; lower-case digits are not the same checksum
        QTest::newRow("upper") << QByteArray("FFLT2C") << 1;
        QTest::newRow("lower case") << QByteArray("FFLT2c") << 0;
        QTest::newRow("wrong") << QByteArray("FFLT2D") << 0;
        QTest::newRow("write ack") << QByteArray("FFSS\x06" + Telegram::Checksum("FFSS\x06")) << 1;
    }
    void testChecksumOK()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, ok);
        QCOMPARE(Telegram::IsTelegramChecksumOK(reply), ok);
        QCOMPARE(CSerialLink::IsTelegramChecksumOK(reply), ok);
    }
};

QTEST_GUILESS_MAIN(TestLinkTelegram)
#include "test_link_telegram.moc"
