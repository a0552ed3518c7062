#include "records/TextOps.h"
#include "support/TestEnv.h"

#include <QtTest>

class TstTextOps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void readers_data();
    void readers();
    void addToAll_data();
    void addToAll();
    void split_data();
    void split();
    void hex_data();
    void hex();
    void binToHex_data();
    void binToHex();
};

using IdList = QList<int32_t>;

void TstTextOps::readers_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<IdList>("ids");
    QTest::addColumn<int>("id");            // reader added and removed
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("removed");

    QTest::newRow("zero means none") << "0" << IdList{} << 5 << "0;5" << "0";
    QTest::newRow("empty means none") << "" << IdList{} << 5 << ";5" << "";
    QTest::newRow("lone separator") << ";" << IdList{} << 5 << ";;5" << ";";
    QTest::newRow("leading and trailing") << ";3;7;" << IdList{3, 7} << 3 << ";3;7;" << ";7;";
    QTest::newRow("first occurrence only") << "3;12;3" << IdList{3, 12, 3} << 3 << "3;12;3" << "12;3";
    QTest::newRow("12 is not 1 or 2") << "12" << IdList{12} << 1 << "12;1" << "12";
    QTest::newRow("non-numeric reads 0") << "x;4;2b" << IdList{4} << 4 << "x;4;2b" << "x;2b";
    QTest::newRow("single") << "9" << IdList{9} << 9 << "9" << "";
    QTest::newRow("not listed") << "1;2" << IdList{1, 2} << 7 << "1;2;7" << "1;2";
    QTest::newRow("zero id is never added") << "1" << IdList{1} << 0 << "1" << "1";
}

void TstTextOps::readers()
{
    QFETCH(QString, list);
    QFETCH(IdList, ids);
    QFETCH(int, id);
    QFETCH(QString, added);
    QFETCH(QString, removed);
    QCOMPARE(ReaderIDs(list), ids);
    QCOMPARE(HasReader(list, id), id > 0 && ids.contains(id));
    QCOMPARE(AddReader(list, id), added);
    QCOMPARE(RemoveReader(list, id), removed);
    QVERIFY(HasReader(added, id) || id <= 0);
    QVERIFY(!ReaderIDs(removed).contains(id) || ids.count(id) > 1);
}

void TstTextOps::addToAll_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("result");
    QTest::newRow("empty") << "" << "5";
    QTest::newRow("two") << "3;7" << "3;7;5";
    QTest::newRow("trailing separator") << "3;" << "3;;5";
    QTest::newRow("zero") << "0" << "0;5";
    QTest::newRow("already there") << "5;7" << "5;7";
}

void TstTextOps::addToAll()
{
    QFETCH(QString, list);
    QFETCH(QString, result);
    QCOMPARE(AddReaderToAll(list, 5), result);
}

void TstTextOps::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one") << "abc" << QStringList{"abc"};
    QTest::newRow("separator only") << ";" << QStringList{"", ""};
    QTest::newRow("trailing") << "a;" << QStringList{"a", ""};
    QTest::newRow("inner empty") << "a;;b" << QStringList{"a", "", "b"};
}

void TstTextOps::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QCOMPARE(SplitText(text, QLatin1Char(';')), pieces);
}

void TstTextOps::hex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ok");
    QTest::addColumn<quint64>("value");
    QTest::newRow("digits") << "1F" << 1 << quint64(31);
    QTest::newRow("lower case") << "ff" << 1 << quint64(255);
    QTest::newRow("transponder") << "00A1B2C3D4" << 1 << quint64(0xA1B2C3D4);
    QTest::newRow("empty") << "" << 0 << quint64(0);
    QTest::newRow("foreign letter") << "1G" << 0 << quint64(0);
    QTest::newRow("prefix") << "0x10" << 0 << quint64(0);
    QTest::newRow("space") << "1 2" << 0 << quint64(0);
    QTest::newRow("sixteen digits") << "FFFFFFFFFFFFFFFF" << 1 << ~quint64(0);
    QTest::newRow("seventeen digits") << "10000000000000000" << 0 << quint64(0);
}

void TstTextOps::hex()
{
    QFETCH(QString, text);
    QFETCH(int, ok);
    QFETCH(quint64, value);
    uint64_t v = 777;
    QCOMPARE(HexTextToNumber(text, v), ok);
    QCOMPARE(quint64(v), ok ? value : quint64(777));
}

void TstTextOps::binToHex_data()
{
    QTest::addColumn<QString>("bits");
    QTest::addColumn<QString>("hex");
    QTest::newRow("four") << "1010" << "A";
    QTest::newRow("fill one") << "111" << "7";
    QTest::newRow("fill three") << "10001" << "11";
    QTest::newRow("leading zeros kept") << "00000001" << "01";
    QTest::newRow("eight") << "11111110" << "FE";
    QTest::newRow("foreign") << "1012" << "";
    QTest::newRow("space") << "10 1" << "";
}

void TstTextOps::binToHex()
{
    QFETCH(QString, bits);
    QFETCH(QString, hex);
    QCOMPARE(BinTextToHex(bits), hex);
}

QTEST_GUILESS_MAIN(TstTextOps)
#include "tst_textops.moc"
