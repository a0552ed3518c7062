// The simulator is the peer of every serial test, so its wire bytes are pinned here against
// checksums worked out by hand, and each fault is shown to do what it says.
#include "ReaderSim.h"
#include "TestPort.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QtTest>

#include <unistd.h>

using namespace Sim;

Q_DECLARE_METATYPE(Sim::Model)
Q_DECLARE_METATYPE(std::string)

namespace QTest {
// Control characters shown as <hex>, so a failed wire comparison is readable.
template <> inline char* toString(const std::string& s)
{
    QByteArray out = "\"";
    for (unsigned char c : s)
        out += c >= 0x20 && c < 0x7F ? QByteArray(1, char(c)) : "<" + QByteArray::number(c, 16) + ">";
    return qstrdup(out + "\"");
}
} // namespace QTest

namespace {
const std::string STXs = "\x02", EOTs = "\x04", ACKs = "\x06", NAKs = "\x15";

// Sends a telegram and returns the text between STX and EOT of the reply.
std::string Exchange(TestPort& port, const std::string& telegram)
{
    port.Write(telegram);
    return TestInner(port.ReadFrame());
}
} // namespace

class TestReaderSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void testIdentify_data();
    void testIdentify();
    void testPinnedWireBytes_data();
    void testPinnedWireBytes();
    void testDeviceIdWriteThenRead();
    void testClockDecode_data();
    void testClockDecode();
    void testTagPoll();
    void testBusMemory();
    void testPresetEvents_data();
    void testPresetEvents();
    void testDeskCommands();
    void testDeskTagFrames();
    void testFaults_data();
    void testFaults();
    void testDropAndIdentifyOnTry();
    void testPacing_data();
    void testPacing();
    void testLinkLifecycle();
};

// ---- who answers what, at which rate ----

void TestReaderSim::testIdentify_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<unsigned>("rate");
    QTest::addColumn<bool>("addressed");
    QTest::addColumn<std::string>("reply");   // empty: the reader stays quiet
    QTest::addColumn<int>("heard");

    struct M { Model model; const char* name; std::string reply; bool bus; };
    // Checksums by hand: K75 T84 M77 Q81 = 317; "18" +105 = 422 = A6 (mod 256), "17" A5, "27" A6.
    const M models[] = {
        {Model::Cedar, "Cedar", "KTMQ18A6", true},
        {Model::Maple, "Maple", "KTMQ17A5", true},
        {Model::Rowan, "Rowan", "KTMQ27A6", true},
        {Model::Birch, "Birch", "KTMQ32", false},
        {Model::Alder, "Alder", "KTMQ31", false},
    };
    for (const M& m : models) {
        const unsigned own = m.bus ? 57200 : 9600, other = m.bus ? 9600 : 57200;
        const QByteArray n = m.name;
        QTest::newRow(n + " own rate, own frame") << m.model << own << m.bus << m.reply << int(Heard::Answered);
        QTest::newRow(n + " own rate, other frame") << m.model << own << !m.bus << std::string() << int(Heard::WrongFrame);
        QTest::newRow(n + " other rate, own frame") << m.model << other << m.bus << std::string() << int(Heard::WrongLine);
        QTest::newRow(n + " other rate, other frame") << m.model << other << !m.bus << std::string() << int(Heard::WrongLine);
    }
    QTest::newRow("Cedar at 57200 but 57600") << Model::Cedar << 57600u << true << std::string() << int(Heard::WrongLine);
}

void TestReaderSim::testIdentify()
{
    QFETCH(Model, model);
    QFETCH(unsigned, rate);
    QFETCH(bool, addressed);
    QFETCH(std::string, reply);
    QFETCH(int, heard);

    ReaderSim sim(model, 11);
    QVERIFY2(sim.Start(), sim.ErrorText().c_str());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), rate));
    port.Write(addressed ? "\x02" "FFHD4" "\x04" : "\x02" "H" "\x04");
    QTRY_COMPARE(sim.Log().size(), std::size_t(1));
    const SimLogEntry e = sim.Log().front();
    QCOMPARE(int(e.heard), heard);
    QCOMPARE(e.rate, rate);
    QCOMPARE(e.command, 'H');
    if (reply.empty()) {
        QVERIFY(!e.replied);
        QCOMPARE(port.Pending(), std::string());
        QCOMPARE(sim.Received('H'), 0);
    } else {
        QCOMPARE(port.ReadFrame(), STXs + reply + EOTs);
        QCOMPARE(sim.Received('H'), 1);
    }
}

// ---- replies pinned byte for byte ----

void TestReaderSim::testPinnedWireBytes_data()
{
    QTest::addColumn<std::string>("telegram");
    QTest::addColumn<std::string>("reply");
    // "FFLS" = 70+70+76+83 = 299, twenty "F" = 1400: 1699 mod 256 = A3.
    QTest::newRow("read blank ID slot") << std::string("\x02" "FFLS0000EB" "\x04")
                                        << "FFLS" + std::string(20, 'F') + "A3";
    // "FFCT" = 291, "NOTAG" = 377: 668 mod 256 = 9C.
    QTest::newRow("poll, no tag") << std::string("\x02" "FFCT23" "\x04") << std::string("FFCTNOTAG9C");
    // Event pointer of an empty memory: "FFLP" = 296, "FFFF" = 280: 576 mod 256 = 40.
    QTest::newRow("event pointer empty") << TestAddressed('L', "P0003") << std::string("FFLPFFFF40");
    // Write of the event pointer: "FFSP" = 303, ACK 6: 309 mod 256 = 35.
    QTest::newRow("clear event pointer") << TestAddressed('S', "P0003FFFF") << "FFSP" + ACKs + "35";
    // A malformed ID write is refused: "FFSS" = 306, NAK 21: 327 mod 256 = 47.
    QTest::newRow("short ID write refused") << TestAddressed('S', "S0000ABC") << "FFSS" + NAKs + "47";
}

void TestReaderSim::testPinnedWireBytes()
{
    QFETCH(std::string, telegram);
    QFETCH(std::string, reply);
    ReaderSim sim(Model::Cedar, 12);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    port.Write(telegram);
    QCOMPARE(port.ReadFrame(), STXs + reply + EOTs);
}

// ---- memory ----

void TestReaderSim::testDeviceIdWriteThenRead()
{
    ReaderSim sim(Model::Maple, 13);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    QVERIFY(Exchange(port, TestAddressed('L', "S0000")).find("FFFFFFFFFF") != std::string::npos);

    const std::string id = "A1B2C3D4E5F60718293A";
    const std::string w = Exchange(port, TestAddressed('S', "S0000" + id));
    QCOMPARE(w.size(), std::size_t(7));
    QCOMPARE(w[4], '\x06');
    QCOMPARE(sim.DeviceId(), id);
    const std::string r = Exchange(port, TestAddressed('L', "S0000"));
    QCOMPARE(r.size(), std::size_t(26));
    QCOMPARE(r.substr(0, 4), std::string("FFLS"));
    QCOMPARE(r.substr(4, 20), id);

    sim.SetDeviceId("ZZZZZZZZZZZZZZZZZZZZ");
    QCOMPARE(Exchange(port, TestAddressed('L', "S0000")).substr(4, 20), std::string(20, 'Z'));
}

void TestReaderSim::testClockDecode_data()
{
    QTest::addColumn<std::string>("digits");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<int>>("fields");   // s m h weekday day month year
    QTest::newRow("Saturday 5 Dec 2026 14:07:09") << std::string("09071406051226") << true
                                                  << QList<int>{9, 7, 14, 6, 5, 12, 26};
    QTest::newRow("Sunday midnight") << std::string("00000007311299") << true << QList<int>{0, 0, 0, 7, 31, 12, 99};
    QTest::newRow("month 13") << std::string("00000001011326") << false << QList<int>();
    QTest::newRow("weekday 0") << std::string("00000000011226") << false << QList<int>();
    QTest::newRow("hour 24") << std::string("00002401011226") << false << QList<int>();
    QTest::newRow("13 digits") << std::string("0000000101122") << false << QList<int>();
    QTest::newRow("letter") << std::string("0000000101122X") << false << QList<int>();
}

void TestReaderSim::testClockDecode()
{
    QFETCH(std::string, digits);
    QFETCH(bool, accepted);
    QFETCH(QList<int>, fields);
    ReaderSim sim(Model::Rowan, 14);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    const std::string r = Exchange(port, TestAddressed('S', "U0000" + digits));
    QCOMPARE(r.size(), std::size_t(7));
    QCOMPARE(r.substr(0, 4), std::string("FFSU"));
    QCOMPARE(r[4], accepted ? '\x06' : '\x15');
    QCOMPARE(sim.ClockWrites(), accepted ? 1 : 0);
    if (!accepted) {
        QVERIFY(!sim.LastClock());
        return;
    }
    const SimClock c = *sim.LastClock();
    QCOMPARE((QList<int>{c.second, c.minute, c.hour, c.weekday, c.day, c.month, c.year}), fields);
    QCOMPARE(c.raw, digits);
}

void TestReaderSim::testTagPoll()
{
    ReaderSim sim(Model::Cedar, 15);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    const std::string poll = "\x02" "FFCT23" "\x04";
    QVERIFY(Exchange(port, poll).find("NOTAG") != std::string::npos);

    sim.PresentTag("0001234567");
    for (int i = 0; i < 2; ++i) {   // stays in the field
        const std::string r = Exchange(port, poll);
        // "FFCT" 291 + "0001234567" (3*48 + 49+...+55 = 508) = 799 = 1F (mod 256).
        QCOMPARE(r, std::string("FFCT00012345671F"));
    }
    sim.RemoveTag();
    QVERIFY(Exchange(port, poll).find("NOTAG") != std::string::npos);

    sim.PresentTag("0001234567", true);   // one poll only
    QCOMPARE(Exchange(port, poll).size(), std::size_t(16));
    QVERIFY(Exchange(port, poll).find("NOTAG") != std::string::npos);
    QCOMPARE(sim.Received('C'), 6);
}

void TestReaderSim::testBusMemory()
{
    ReaderSim sim(Model::Cedar, 16);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    auto ack = [&](const std::string& data) {
        const std::string r = Exchange(port, TestAddressed('S', data));
        return r.size() == 7 && r[4] == '\x06';
    };

    // A write run: count, slots, windows, parameters.
    QVERIFY(ack("P00020002"));
    QVERIFY(ack("T00000001234567"));
    QVERIFY(ack("T00010007654321"));
    QVERIFY(ack("Z00003E30070018"));
    QVERIFY(ack("P00000A5C"));
    QVERIFY(ack("P00017F"));   // the parameter byte also goes as two digits
    QVERIFY(!ack("T0001123"));  // a number of 3 characters is refused
    QVERIFY(!ack("T01F40001234567"));   // slot 500 is beyond a Cedar's memory
    QVERIFY(!ack("Z00003E3007"));

    QCOMPARE(sim.Transponders(), (std::vector<std::string>{"0001234567", "0007654321"}));
    QCOMPARE(sim.ReceivedData('S').front(), std::string("P00020002"));
    QCOMPARE(sim.ReceivedData('S').size(), std::size_t(9));
    QCOMPARE(sim.Params(), (std::vector<unsigned>{0x0A5C, 0x7F, 2, 0xFFFF}));
    const auto windows = sim.Windows();
    QCOMPARE(windows.size(), std::size_t(1));
    const SimWindow w = windows.at(0);
    QCOMPARE((QList<int>{w.dayMask, w.fromHour, w.fromMinute, w.toHour, w.toMinute}), (QList<int>{0x3E, 7, 30, 18, 0}));

    // And read back as the fetch reads it.
    const std::string count = Exchange(port, TestAddressed('L', "P0002"));
    QCOMPARE(count.size(), std::size_t(10));
    QCOMPARE(count.substr(2, 6), std::string("LP0002"));
    const std::string slot = Exchange(port, TestAddressed('L', "T0001"));
    QCOMPARE(slot.size(), std::size_t(16));
    QCOMPARE(slot.substr(2, 12), std::string("LT0007654321"));
    const std::string p1 = Exchange(port, TestAddressed('L', "P0001"));
    QCOMPARE(p1.substr(4, 4), std::string("007F"));

    sim.SetTransponders({"1111111111"});
    QCOMPARE(Exchange(port, TestAddressed('L', "P0002")).substr(4, 4), std::string("0001"));
}

void TestReaderSim::testPresetEvents_data()
{
    QTest::addColumn<int>("eventClass");
    QTest::addColumn<int>("detail");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<std::string>("bytes");   // class-and-day, detail-and-month
    QTest::newRow("class 10, day 5; detail 011, month 9") << 3 << 7 << 5 << 9 << std::string("C5E9");
    QTest::newRow("class 10 by bit 7 alone, day 29") << 2 << 3 << 29 << 1 << std::string("A961");
    QTest::newRow("class 01, day 31; detail 100, month 12") << 1 << 4 << 31 << 12 << std::string("7192");
    QTest::newRow("class 00, day 10; no detail, month 10") << 0 << 0 << 10 << 10 << std::string("1010");
}

void TestReaderSim::testPresetEvents()
{
    QFETCH(int, eventClass);
    QFETCH(int, detail);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(std::string, bytes);
    ReaderSim sim(Model::Maple, 17);
    QVERIFY(sim.Start());
    SimEvent first;
    first.number = "0000004711";
    first.minute = 5;
    first.hour = 17;
    first.day = day;
    first.month = month;
    first.year = 9;
    first.eventClass = eventClass;
    first.detail = detail;
    sim.SetEvents({SimEvent(), first});
    QCOMPARE(sim.EventPointer(), 1u);

    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    QCOMPARE(Exchange(port, TestAddressed('L', "P0003")).substr(2, 6), std::string("LP0001"));
    const std::string r = Exchange(port, TestAddressed('L', "E0001"));
    QCOMPARE(r.size(), std::size_t(26));
    QCOMPARE(r.substr(0, 24), "FFLE" "0000004711" "0517" + bytes + "09");
    unsigned sum = 0;
    for (char c : r.substr(0, 24))
        sum += static_cast<unsigned char>(c);
    QCOMPARE(r.substr(24), Hex(sum % 256, 2));

    // Beyond a Maple's 2900 records: refused.
    QCOMPARE(Exchange(port, TestAddressed('L', "E0B54")).substr(0, 5), "FFLE" + NAKs);
    sim.SetEventPointer(0xFFFF);
    QCOMPARE(Exchange(port, TestAddressed('L', "P0003")).substr(4, 4), std::string("FFFF"));
}

// ---- desk readers ----

void TestReaderSim::testDeskCommands()
{
    ReaderSim sim(Model::Birch, 18);
    QVERIFY(sim.Start());
    sim.SetMaster("0000000042");
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 9600));
    auto ask = [&](char c, const std::string& d) { return Exchange(port, TestShort(c, d)); };

    QCOMPARE(ask('G', "00"), std::string("0000000042"));
    QCOMPARE(ask('Y', ""), std::string("01"));
    QCOMPARE(ask('Z', "03"), ACKs);
    QCOMPARE(ask('S', "010000000101"), ACKs);
    QCOMPARE(ask('S', "020000000102"), ACKs);
    QCOMPARE(ask('S', "02123"), NAKs);
    QCOMPARE(ask('Y', ""), std::string("03"));
    QCOMPARE(ask('G', "02"), std::string("0000000102"));
    QCOMPARE(sim.Transponders(), (std::vector<std::string>{"0000000042", "0000000101", "0000000102"}));

    QCOMPARE(ask('J', "0"), ACKs);
    QCOMPARE(ask('K', "0"), ACKs);
    QCOMPARE(sim.Mode(), 0);
    QCOMPARE(ask('J', "1"), ACKs);
    QCOMPARE(ask('D', "10F"), ACKs);
    QCOMPARE(sim.SwitchTime(), 15);
    QCOMPARE(ask('D', "100"), ACKs);
    QCOMPARE(sim.SwitchTime(), 0);
    QCOMPARE(ask('C', "0"), std::string("2;0000000042"));
    QCOMPARE(ask('C', "1"), std::string("0"));
}

void TestReaderSim::testDeskTagFrames()
{
    ReaderSim sim(Model::Birch, 19);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 9600));

    sim.PresentTag("0000000777");
    QCOMPARE(port.ReadFrame(), STXs + "R0000000777" + EOTs);

    // Teach mode: the next tag comes as "M" and becomes the master.
    QCOMPARE(Exchange(port, TestShort('M', "")), ACKs);
    QVERIFY(sim.TeachMode());
    sim.PresentTag("0000000888");
    QCOMPARE(port.ReadFrame(), STXs + "M0000000888" + EOTs);
    QCOMPARE(sim.Master(), std::string("0000000888"));
    sim.PresentTag("0000000999");
    QCOMPARE(port.ReadFrame(), STXs + "R0000000999" + EOTs);

    // At another rate the frame is lost, as it would be on the wire.
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    const std::size_t before = sim.Log().size();
    sim.PresentTag("0000000555");
    QTRY_COMPARE(sim.Log().size(), before + 1);
    QVERIFY(!sim.Log().back().replied);
    QCOMPARE(port.Pending(), std::string());
}

// ---- faults ----

void TestReaderSim::testFaults_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<std::string>("wire");   // every byte the reader sends for one identify
    const std::string cedar = "KTMQ18A6";
    QTest::newRow("wrong checksum") << Model::Cedar << "badChecksum" << STXs + "KTMQ18B7" + EOTs;
    QTest::newRow("wrong checksum, desk reader has none") << Model::Birch << "badChecksum" << STXs + "KTMQ32" + EOTs;
    QTest::newRow("noise before STX") << Model::Cedar << "noise" << "#~x" + STXs + cedar + EOTs;
    // "R" = 82 = 52.
    QTest::newRow("two interim frames") << Model::Cedar << "interim"
                                        << STXs + "R52" + EOTs + STXs + "R52" + EOTs + STXs + cedar + EOTs;
    QTest::newRow("interim, desk reader") << Model::Birch << "interim"
                                          << STXs + "R" + EOTs + STXs + "R" + EOTs + STXs + "KTMQ32" + EOTs;
    QTest::newRow("cut before EOT") << Model::Cedar << "cut" << STXs + cedar;
    QTest::newRow("EOT before STX") << Model::Cedar << "eotFirst" << EOTs + STXs + cedar + EOTs;
    QTest::newRow("unplugged") << Model::Cedar << "silent" << std::string();
    QTest::newRow("unplugged desk reader") << Model::Birch << "silent" << std::string();
}

void TestReaderSim::testFaults()
{
    QFETCH(Model, model);
    QFETCH(QString, fault);
    QFETCH(std::string, wire);
    ReaderSim sim(model, 20);
    QVERIFY(sim.Start());
    TestPort port;
    const bool bus = Info(model).bus;
    QVERIFY(port.Open(sim.DevicePath(), Info(model).rate));
    const std::string identify = bus ? std::string("\x02" "FFHD4" "\x04") : std::string("\x02" "H" "\x04");

    SimFaults f;
    f.badChecksum = fault == "badChecksum";
    f.noiseBytes = fault == "noise" ? 3 : 0;
    f.interimFrames = fault == "interim" ? 2 : 0;
    f.cutBeforeEot = fault == "cut";
    f.eotBeforeStx = fault == "eotFirst";
    f.silent = fault == "silent";
    sim.SetFaults(f);

    port.Write(identify);
    if (wire.empty()) {
        QTRY_COMPARE(sim.Log().size(), std::size_t(1));
        QCOMPARE(int(sim.Log().front().heard), int(Heard::Unplugged));
        QCOMPARE(port.Pending(), std::string());
        QCOMPARE(sim.RepliesSent(), 0);
    } else {
        QCOMPARE(port.ReadBytes(wire.size()), wire);
        QCOMPARE(port.Pending(), std::string());
    }

    // Faults switched off at run time: the next reply is clean again.
    sim.SetFaults({});
    port.Write(identify);
    const std::string clean = bus ? std::string("KTMQ18A6") : Info(model).identity;
    QCOMPARE(TestInner(port.ReadFrame()), clean);
}

void TestReaderSim::testDropAndIdentifyOnTry()
{
    ReaderSim sim(Model::Maple, 21);
    QVERIFY(sim.Start());
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 57200));
    const std::string identify = "\x02" "FFHD4" "\x04";

    // Answers identify only on the fourth try; other telegrams are not held back.
    SimFaults f;
    f.identifyOnTry = 4;
    sim.SetFaults(f);
    for (int i = 1; i <= 3; ++i) {
        port.Write(identify);
        QTRY_COMPARE(sim.Received('H'), i);
        QVERIFY(!sim.Log().back().replied);
        QCOMPARE(Exchange(port, TestAddressed('L', "P0000")).size(), std::size_t(10));
    }
    QCOMPARE(Exchange(port, identify), std::string("KTMQ17A5"));

    // The next two replies go missing, whatever they answer.
    f = {};
    f.dropNext = 2;
    sim.SetFaults(f);
    sim.ClearLog();
    const std::string id(20, '7');
    port.Write(TestAddressed('S', "S0000" + id));
    port.Write(identify);
    QTRY_COMPARE(sim.ReceivedTotal(), 2);
    QCOMPARE(sim.Faults().dropNext, 0);
    QCOMPARE(sim.RepliesSent(), 0);
    QCOMPARE(port.Pending(), std::string());
    QCOMPARE(sim.DeviceId(), id);   // only the reply was lost
    QCOMPARE(Exchange(port, identify), std::string("KTMQ17A5"));

    // Unplugged, a write does not reach the memory at all.
    f = {};
    f.silent = true;
    sim.SetFaults(f);
    port.Write(TestAddressed('S', "S0000" + std::string(20, '8')));
    QTRY_COMPARE(int(sim.Log().back().heard), int(Heard::Unplugged));
    QCOMPARE(sim.DeviceId(), id);
}

void TestReaderSim::testPacing_data()
{
    QTest::addColumn<bool>("pace");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<qint64>("atLeastNs");
    // 3 bytes in and 8 bytes out at 9600 bit/s, 10 bits a byte: 11.46 ms.
    QTest::newRow("wire pacing") << true << 0 << qint64(11'400'000);
    QTest::newRow("slow reader") << false << 60 << qint64(60'000'000);
}

void TestReaderSim::testPacing()
{
    QFETCH(bool, pace);
    QFETCH(int, delayMs);
    QFETCH(qint64, atLeastNs);
    ReaderSim sim(Model::Birch, 22);
    QVERIFY(sim.Start());
    SimFaults f;
    f.pace = pace;
    f.replyDelayMs = delayMs;
    sim.SetFaults(f);
    TestPort port;
    QVERIFY(port.Open(sim.DevicePath(), 9600));
    QElapsedTimer t;
    t.start();
    QCOMPARE(Exchange(port, TestShort('H', "")), std::string("KTMQ32"));
    QVERIFY2(t.nsecsElapsed() >= atLeastNs, QByteArray::number(t.nsecsElapsed()));
}

// ---- the COM link ----

void TestReaderSim::testLinkLifecycle()
{
    ReaderSim sim(Model::Cedar, 23);
    const QString link = QString::fromStdString(sim.DevicePath());
    QVERIFY(link.endsWith(QStringLiteral("/dosdevices/com23")));
    // A stale link left by a crashed run is replaced.
    QDir().mkpath(QFileInfo(link).path());
    QFile::remove(link);
    QVERIFY(::symlink("/nonexistent/pts", link.toLocal8Bit().constData()) == 0);

    QVERIFY(sim.Start());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromStdString(sim.PtsPath()));

    // The program closing and reopening its end does not take the reader down.
    TestPort port;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(port.Open(sim.DevicePath(), 57200));
        QCOMPARE(Exchange(port, "\x02" "FFHD4" "\x04"), std::string("KTMQ18A6"));
        port.Close();
    }
    sim.Stop();
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!sim.IsRunning());
}

QTEST_GUILESS_MAIN(TestReaderSim)
#include "test_readersim.moc"
