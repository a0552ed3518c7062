// The code conversions of the parameter dialogs, as tables: what the record stores, what the
// dialog shows and what the telegram carries, for the bus readers' switching-time code and
// parameter byte and the desk readers' mode, master and switching time.
#include "params/MapleCedarParams.h"
#include "params/ParamCodes.h"

#include <QtTest>

using namespace ParamCodes;

class TestParamCodes : public QObject {
    Q_OBJECT
private slots:
    // Stored code -> shown value and unit -> the code that comes back -> telegram data.
    void busSwitchCode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("unit");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("half a second") << 1 << "0.5" << int(UnitSeconds) << QByteArray("P00010001");
        QTest::newRow("5 s is n + 1") << 6 << "5" << int(UnitSeconds) << QByteArray("P00010006");
        QTest::newRow("5 in the other unit") << 0x85 << "5" << int(UnitOther) << QByteArray("P00010085");
        QTest::newRow("largest other") << 0xFF << "127" << int(UnitOther) << QByteArray("P000100FF");
    }
    void busSwitchCode()
    {
        QFETCH(int, code);
        const SwitchDisplay d = SwitchCodeToDisplay(code);
        QTEST(d.value, "shown");
        QTEST(d.unit, "unit");
        int back = -1;
        QCOMPARE(SwitchCodeFromInput(d.value, d.unit, back), SwitchInput::Ok);
        QCOMPARE(back, code);
        QTEST(SwitchCodeData(back), "data");
    }

    void busSwitchInput_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("result");   // SwitchInput
        QTest::addColumn<int>("code");
        QTest::newRow("comma half") << "0,5" << int(UnitSeconds) << int(SwitchInput::Ok) << 1;
        QTest::newRow("zero seconds") << "0" << int(UnitSeconds) << int(SwitchInput::BelowMinimum) << -1;
        QTest::newRow("half in other unit") << "0,5" << int(UnitOther) << int(SwitchInput::BelowMinimum) << -1;
        QTest::newRow("letters") << "abc" << int(UnitSeconds) << int(SwitchInput::BelowMinimum) << -1;
        QTest::newRow("leading digits count") << "12s" << int(UnitSeconds) << int(SwitchInput::Ok) << 13;
        QTest::newRow("no unit chosen") << "5" << -1 << int(SwitchInput::NoUnit) << -1;
    }
    void busSwitchInput()
    {
        QFETCH(QString, value);
        QFETCH(int, unit);
        int got = -1;
        QTEST(int(SwitchCodeFromInput(value, unit, got)), "result");
        QTEST(got, "code");
    }

    void paramByte()
    {
        QCOMPARE(ParamByteText(0x0A), QStringLiteral("0A"));
        QCOMPARE(ParamByteData(0x0A), QByteArray("P00000A"));
        QCOMPARE(ParamByteFromText(QStringLiteral("0a")), uint8_t(0x0A));
        QCOMPARE(ParamByteFromText(QString()), uint8_t(0));
        QCOMPARE(ParamByteFromText(QStringLiteral("G1")), uint8_t(0));
    }

    // Bits 6 and 5: either may be on, never both; other bits are free. Bit 1's label follows bit 0.
    void bitRules()
    {
        QVERIFY(IsExcludedBit(0x20, 6));
        QVERIFY(IsExcludedBit(0x40, 5));
        QVERIFY(!IsExcludedBit(0x00, 6));
        QVERIFY(!IsExcludedBit(0x9F, 5));   // everything but 6 and 5
        QVERIFY(!IsExcludedBit(0x60, 4));
        QCOMPARE(Bit1GroupText(0x01), 134u);
        QCOMPARE(Bit1GroupText(0xFE), 135u);
    }

    void deskParams_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("master");
        QTest::newRow("mode and master") << "3;0001234567" << 3u << "0001234567";
        QTest::newRow("no master part") << "2" << 2u << "";
        QTest::newRow("foreign character") << "1X;AB" << 0u << "AB";
        QTest::newRow("empty") << "" << 0u << "";
    }
    void deskParams()
    {
        QFETCH(QString, stored);
        const DeskParams p = ParseDeskParams(stored);
        QTEST(p.mode, "mode");
        QTEST(p.master, "master");
    }

    // The mode keeps its other bits; the master replaces only what follows the first ";".
    void deskModeAndMaster()
    {
        QCOMPARE(DeskParamsText(WithModeBits(0xF2, true, false), QString()), QStringLiteral("F1"));
        QCOMPARE(DeskParamsText(WithModeBits(0, false, true), QStringLiteral("00000ABCDE")),
                 QStringLiteral("2;00000ABCDE"));
        QCOMPARE(WithMaster(QStringLiteral("3"), QStringLiteral("N")), QStringLiteral("3;N"));
        QCOMPARE(WithMaster(QStringLiteral("3;OLD;x"), QStringLiteral("N")), QStringLiteral("3;N"));
    }

    void deskSwitch_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("result");   // DeskSwitchInput
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("0.5") << "0.5" << int(DeskSwitchInput::Ok) << "0" << QByteArray("100");
        QTest::newRow("0,5") << "0,5" << int(DeskSwitchInput::Ok) << "0" << QByteArray("100");
        QTest::newRow("0 refused") << "0" << int(DeskSwitchInput::BelowMinimum) << "" << QByteArray();
        QTest::newRow("15") << "15" << int(DeskSwitchInput::Ok) << "15" << QByteArray("10F");
        QTest::newRow("16 refused") << "16" << int(DeskSwitchInput::AboveMaximum) << "" << QByteArray();
    }
    void deskSwitch()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, data);
        QString got;
        QTEST(int(DeskSwitchFromInput(typed, got)), "result");
        QTEST(got, "stored");
        if (!data.isEmpty()) {
            QCOMPARE(DeskSwitchData(got), data);
            QCOMPARE(DeskSwitchFromInput(DeskSwitchDisplay(got), got), DeskSwitchInput::Ok);   // shown text comes back
        }
    }
    void deskSwitchDisplay()
    {
        QCOMPARE(DeskSwitchDisplay(QStringLiteral("0")), QStringLiteral("0.5"));
        QCOMPARE(DeskSwitchDisplay(QStringLiteral("-3")), QStringLiteral("0"));
    }

    // The dialog's own clock data: the German weekday name gives Friday "05".
    void clockData()
    {
        const QDateTime friday(QDate(2026, 12, 4), QTime(2, 30, 45));
        QCOMPARE(MapleCedarParams::ClockData(friday), QByteArray("U0000453002050412") + "26");
        const QDateTime sunday(QDate(2026, 12, 6), QTime(23, 59, 59));
        QCOMPARE(MapleCedarParams::ClockData(sunday).mid(11, 2), QByteArray("07"));
    }
};

QTEST_GUILESS_MAIN(TestParamCodes)
#include "tst_ParamCodes.moc"
