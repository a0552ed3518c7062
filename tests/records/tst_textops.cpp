// The text rules under the records: reader lists ("3;7"), splitting, hex and bit texts.
#include "records/TextOps.h"
#include "support/TestEnv.h"

#include <QtTest>

class TstTextOps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("\"0\" is no reader") << "ids" << "0" << 0 << "";
        QTest::newRow("\"\" is no reader") << "ids" << "" << 0 << "";
        QTest::newRow("\";\" is no reader") << "ids" << ";" << 0 << "";
        QTest::newRow("leading and trailing separators") << "ids" << ";3;7;" << 0 << "3,7";
        QTest::newRow("non-numeric entries skipped") << "ids" << "x;4;2b" << 0 << "4";
        QTest::newRow("12 is not 1") << "has" << "12" << 1 << "0";
        QTest::newRow("listed") << "has" << ";3;7;" << 7 << "1";
        QTest::newRow("add to none") << "add" << "0" << 5 << "0;5";
        QTest::newRow("add present") << "add" << "3;7" << 3 << "3;7";
        QTest::newRow("add 0 never") << "add" << "1" << 0 << "1";
        QTest::newRow("remove first occurrence only") << "remove" << "3;12;3" << 3 << "12;3";
        QTest::newRow("remove keeps separators") << "remove" << ";3;7;" << 3 << ";7;";
        QTest::newRow("remove 1 leaves 12") << "remove" << "12" << 1 << "12";
        QTest::newRow("remove last") << "remove" << "9" << 9 << "";
        QTest::newRow("add to all, empty") << "addAll" << "" << 5 << "5";
        QTest::newRow("add to all, trailing separator") << "addAll" << "3;" << 5 << "3;;5";
        QTest::newRow("split empty") << "split" << "" << 0 << "0:";
        QTest::newRow("split separator only") << "split" << ";" << 0 << "2:|";
        QTest::newRow("split inner empty") << "split" << "a;;b" << 0 << "3:a||b";
        QTest::newRow("hex") << "hex" << "00A1B2C3D4" << 0 << "a1b2c3d4";
        QTest::newRow("hex lower case") << "hex" << "ff" << 0 << "ff";
        QTest::newRow("hex sixteen digits") << "hex" << "FFFFFFFFFFFFFFFF" << 0 << "ffffffffffffffff";
        QTest::newRow("hex seventeen digits") << "hex" << "10000000000000000" << 0 << "fail";
        QTest::newRow("hex empty") << "hex" << "" << 0 << "fail";
        QTest::newRow("hex prefix") << "hex" << "0x10" << 0 << "fail";
        QTest::newRow("hex foreign letter") << "hex" << "1G" << 0 << "fail";
        QTest::newRow("bits fill to four") << "bin" << "10001" << 0 << "11";
        QTest::newRow("bits keep leading zeros") << "bin" << "00000001" << 0 << "01";
        QTest::newRow("bits eight") << "bin" << "11111110" << 0 << "FE";
        QTest::newRow("bits foreign") << "bin" << "1012" << 0 << "";
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, input);
        QFETCH(int, id);
        QFETCH(QString, expected);
        QString got;
        if (rule == QLatin1String("ids")) {
            QStringList ids;
            for (int32_t r : ReaderIDs(input))
                ids << QString::number(r);
            got = ids.join(u',');
            QCOMPARE(HasReader(input, 0), false);
        } else if (rule == QLatin1String("has")) {
            got = HasReader(input, id) ? QStringLiteral("1") : QStringLiteral("0");
        } else if (rule == QLatin1String("add")) {
            got = AddReader(input, id);
        } else if (rule == QLatin1String("remove")) {
            got = RemoveReader(input, id);
        } else if (rule == QLatin1String("addAll")) {
            got = AddReaderToAll(input, id);
        } else if (rule == QLatin1String("split")) {
            const QStringList pieces = SplitText(input, u';');
            got = QString::number(pieces.size()) + u':' + pieces.join(u'|');
        } else if (rule == QLatin1String("hex")) {
            uint64_t v = 777;
            const int ok = HexTextToNumber(input, v);
            got = ok ? QString::number(v, 16) : QStringLiteral("fail");
            QVERIFY(ok || v == 777);   // a failure leaves the value alone
        } else {
            got = BinTextToHex(input);
        }
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TstTextOps)
#include "tst_textops.moc"
