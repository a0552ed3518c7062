// Decoding what a bus reader's event memory says, for the replies a healthy simulated reader
// never sends: lower-case hex, wrong lengths, bytes that are no number, in event and pointer
// replies; and the date filter's edges. Every class, detail and century of well-formed
// replies, and the pointers a healthy reader gives, are read end to end in tst_EventReading.
#include "readers/EventDecoding.h"

#include <QtTest>

using namespace EventDecoding;

namespace {
// A reply as the program receives it: address, command, echo, 20 data characters, checksum.
QByteArray Reply(const QByteArray& data20) { return "FFLE" + data20 + "00"; }
} // namespace

class TestEventDecoding : public QObject {
    Q_OBJECT
private slots:
    void wholeReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("decoded");   // number|DDMMYYYY|DD.MM.YY|time|class|detail
        // number, mm, hh, class-and-day, detail-and-month, yy
        QTest::newRow("year 71 is 1971") << Reply("0000004711" "59" "23" "31" "12" "71")
                                         << true << "0000004711|31121971|31.12.71|2359|00|---";
        QTest::newRow("lower-case hex") << Reply("0000004711" "00" "00" "c5" "e9" "99")
                                        << true << "0000004711|05091999|05.09.99|0000|10|011";
        QTest::newRow("25 characters") << Reply("0000004711" "00" "00" "01" "01" "0") << false;
        QTest::newRow("27 characters") << Reply("0000004711" "00" "00" "01" "01" "000") << false;
        QTest::newRow("byte not hex") << Reply("0000004711" "00" "00" "G1" "01" "00") << false;
        QTest::newRow("signed byte") << Reply("0000004711" "00" "00" "-1" "01" "00") << false;
    }
    void wholeReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, valid);
        const std::optional<Event> e = DecodeEventReply(reply);
        QCOMPARE(e.has_value(), valid);
        if (!valid)
            return;
        const QStringList fields{e->transponderNo, e->date, e->shortDate, e->time, e->eventClass.code, e->detail.code};
        QTEST(fields.join(u'|'), "decoded");
    }

    void pointerReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("pointer");
        QTest::newRow("other area") << QByteArray("FFLS000099") << -1;
        QTest::newRow("other command") << QByteArray("FFSP000099") << -1;
        QTest::newRow("too short") << QByteArray("FFLP00009") << -1;
        QTest::newRow("not hex") << QByteArray("FFLP00X099") << -1;
    }
    void pointerReply()
    {
        QFETCH(QByteArray, reply);
        QTEST(EventPointerFromReply(reply), "pointer");
    }

    void dateFilter_data()
    {
        QTest::addColumn<QString>("shortDate");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("passes");
        const QString from = "150109", to = "100309";   // 15 January to 10 March 2009
        QTest::newRow("first day included") << "15.01.09" << from << to << true;
        QTest::newRow("last day included") << "10.03.09" << from << to << true;
        QTest::newRow("day after") << "11.03.09" << from << to << false;
        QTest::newRow("day before") << "14.01.09" << from << to << false;
        QTest::newRow("later day, earlier month") << "28.02.09" << "010309" << "310309" << false;
        QTest::newRow("year decides first") << "01.01.10" << "311209" << "311210" << true;
        QTest::newRow("two-digit years: 99 is after 09") << "01.06.99" << from << to << false;
        QTest::newRow("no to-date: no filter") << "01.06.99" << from << "" << true;
    }
    void dateFilter()
    {
        QFETCH(QString, shortDate);
        QFETCH(QString, from);
        QFETCH(QString, to);
        const QStringList parts = shortDate.split('.');
        Event e;
        e.day = parts[0].toInt();
        e.month = parts[1].toInt();
        e.year = parts[2].toInt();
        QTEST(PassesDateFilter(e, from, to), "passes");
    }
};

QTEST_GUILESS_MAIN(TestEventDecoding)
#include "tst_EventDecoding.moc"
