// The text rules under the records: reader lists ("3;7"), splitting, hex and bit texts.
#include "records/TextOps.h"

#include <QtTest>
#include <functional>

class TstTextOps : public QObject {
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("expected");
        QTest::newRow("\"0\" is no reader") << "ids" << "0" << 0 << "";
        QTest::newRow("\"\" is no reader") << "ids" << "" << 0 << "";
        QTest::newRow("leading and trailing separators") << "ids" << ";3;7;" << 0 << "3,7";
        QTest::newRow("12 is not 1") << "has" << "12" << 1 << "0";
        QTest::newRow("add to none") << "add" << "0" << 5 << "0;5";
        QTest::newRow("add present") << "add" << "3;7" << 3 << "3;7";
        QTest::newRow("remove first occurrence only") << "remove" << "3;12;3" << 3 << "12;3";
        QTest::newRow("remove 1 leaves 12") << "remove" << "12" << 1 << "12";
        QTest::newRow("add to all, trailing separator") << "addAll" << "3;" << 5 << "3;;5";
        QTest::newRow("split empty") << "split" << "" << 0 << "0:";
        QTest::newRow("split inner empty") << "split" << "a;;b" << 0 << "3:a||b";
        QTest::newRow("hex") << "hex" << "00A1B2C3D4" << 0 << "a1b2c3d4";
        QTest::newRow("hex sixteen digits") << "hex" << "FFFFFFFFFFFFFFFF" << 0 << "ffffffffffffffff";
        QTest::newRow("hex seventeen digits") << "hex" << "10000000000000000" << 0 << "fail";
        QTest::newRow("bits fill to four") << "bin" << "10001" << 0 << "11";
        QTest::newRow("bits keep leading zeros") << "bin" << "00000001" << 0 << "01";
        QTest::newRow("bits foreign") << "bin" << "1012" << 0 << "";
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, input);
        QFETCH(int, id);
        QFETCH(QString, expected);
        using Rule = std::function<QString(const QString&, int32_t)>;
        static const QHash<QString, Rule> rules = {
            {"ids", [](const QString& s, int32_t) {
                 QStringList ids;
                 for (int32_t r : ReaderIDs(s))
                     ids << QString::number(r);
                 return ids.join(u',');
             }},
            {"has", [](const QString& s, int32_t r) { return QString::number(int(HasReader(s, r))); }},
            {"add", AddReader}, {"remove", RemoveReader}, {"addAll", AddReaderToAll},
            {"split", [](const QString& s, int32_t) {
                 const QStringList pieces = SplitText(s, u';');
                 return QString::number(pieces.size()) + u':' + pieces.join(u'|');
             }},
            {"hex", [](const QString& s, int32_t) {   // a failure leaves the value alone
                 uint64_t v = 777;
                 return HexTextToNumber(s, v) ? QString::number(v, 16) : v == 777 ? QStringLiteral("fail") : QString();
             }},
            {"bin", [](const QString& s, int32_t) { return BinTextToHex(s); }},
        };
        QCOMPARE(rules.value(rule)(input, id), expected);
    }
};

QTEST_GUILESS_MAIN(TstTextOps)
#include "tst_textops.moc"
