// Telegram framing and the checksum rule, byte for byte.
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
};

QTEST_GUILESS_MAIN(TestLinkTelegram)
#include "test_link_telegram.moc"
