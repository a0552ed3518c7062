// The simulator is the peer of every serial test, so its wire bytes are pinned here against
// checksums worked out by hand, and the faults a line test could not tell from a healthy line
// are shown to do what they say.
#include "ReaderSim.h"
#include "TestPort.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QtTest>

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
const std::string STXs = "\x02", EOTs = "\x04", ACKs = "\x06";

// What each model answers to identify. Checksums by hand: K75 T84 M77 Q81 = 317;
// "18" +105 = 422 = A6 (mod 256), "17" A5, "27" A6. Desk readers send none.
struct ModelRow { Model model; const char* name; std::string identity; bool bus; };
const ModelRow kModels[] = {
    {Model::Cedar, "Cedar", "KTMQ18A6", true},
    {Model::Maple, "Maple", "KTMQ17A5", true},
    {Model::Rowan, "Rowan", "KTMQ27A6", true},
    {Model::Birch, "Birch", "KTMQ32", false},
    {Model::Alder, "Alder", "KTMQ31", false},
};
const ModelRow& Row(Model model)
{
    for (const ModelRow& m : kModels)
        if (m.model == model)
            return m;
    return kModels[0];
}

std::string Identify(bool bus) { return bus ? "\x02" "FFHD4" "\x04" : "\x02" "H" "\x04"; }
} // namespace

class TestReaderSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    // Each model answers identify with its identity only at its own rate and frame kind.
    void testIdentify_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<unsigned>("rate");
        QTest::addColumn<bool>("addressed");
        QTest::addColumn<std::string>("reply");   // empty: the reader stays quiet
        QTest::addColumn<int>("heard");
        for (const ModelRow& m : kModels) {
            const unsigned own = m.bus ? 57200 : 9600, other = m.bus ? 9600 : 57200;
            const QByteArray n = m.name;
            QTest::newRow(n + " own rate, own frame") << m.model << own << m.bus << m.identity << int(Heard::Answered);
            QTest::newRow(n + " own rate, other frame") << m.model << own << !m.bus << std::string() << int(Heard::WrongFrame);
            QTest::newRow(n + " other rate") << m.model << other << m.bus << std::string() << int(Heard::WrongLine);
        }
        QTest::newRow("Cedar at 57600") << Model::Cedar << 57600u << true << std::string() << int(Heard::WrongLine);
    }
    void testIdentify()
    {
        QFETCH(Model, model);
        QFETCH(unsigned, rate);
        QFETCH(bool, addressed);
        QFETCH(std::string, reply);
        ReaderSim sim(model, 11);
        QVERIFY2(sim.Start(), sim.ErrorText().c_str());
        TestPort port;
        QVERIFY(port.Open(sim.DevicePath(), rate));
        port.Write(Identify(addressed));
        QTRY_COMPARE(sim.Log().size(), std::size_t(1));
        const SimLogEntry e = sim.Log().front();
        QTEST(int(e.heard), "heard");
        QCOMPARE(port.ReadFrame(reply.empty() ? 100 : 2000), reply.empty() ? std::string() : STXs + reply + EOTs);
    }

    void testPinnedWireBytes_data()
    {
        QTest::addColumn<QList<int>>("event");         // record 1: class, detail, day, month
        QTest::addColumn<std::string>("telegram");
        QTest::addColumn<std::string>("reply");
        // "FFLS" = 70+70+76+83 = 299, twenty "F" = 1400: 1699 mod 256 = A3.
        QTest::newRow("read blank ID slot") << QList<int>() << std::string("\x02" "FFLS0000EB" "\x04")
                                            << "FFLS" + std::string(20, 'F') + "A3";
        // Event pointer of an empty memory: "FFLP" = 296, "FFFF" = 280: 576 mod 256 = 40.
        QTest::newRow("event pointer empty") << QList<int>() << TestAddressed('L', "P0003")
                                             << std::string("FFLPFFFF40");
        // Day and month in BCD under the class (bits 7-6) and the detail (bits 7-5).
        // "FFLE" 285, "0000004711" 493, "0517" 205, "09" 105; "C5E9" 246: 1334 = 36 (mod 256).
        QTest::newRow("event class 11, detail 111") << QList<int>{3, 7, 5, 9} << TestAddressed('L', "E0001")
                                                    << std::string("FFLE00000047110517C5E90936");
        // Write of the event pointer: "FFSP" = 303, ACK 6: 309 mod 256 = 35.
        QTest::newRow("clear event pointer") << QList<int>() << TestAddressed('S', "P0003FFFF")
                                             << "FFSP" + ACKs + "35";
    }
    void testPinnedWireBytes()
    {
        QFETCH(QList<int>, event);
        QFETCH(std::string, telegram);
        ReaderSim sim(Model::Maple, 12);
        if (!event.isEmpty())   // record 0 is empty, record 1 has minute 5, hour 17, year 09
            sim.SetEvents({SimEvent(), SimEvent{"0000004711", 5, 17, event[2], event[3], 9, event[0], event[1]}});
        QVERIFY(sim.Start());
        TestPort port;
        QVERIFY(port.Open(sim.DevicePath(), 57200));
        port.Write(telegram);
        QFETCH(std::string, reply);
        QCOMPARE(port.ReadFrame(), STXs + reply + EOTs);
    }

    // Every byte the reader sends for identify under the faults a line test would not miss if
    // they did nothing (it expects the reply through them); then, the faults switched off at run
    // time, the next reply is clean again.
    void testFaults_data()
    {
        QTest::addColumn<Model>("model");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<std::string>("wire");
        QTest::addColumn<int>("atLeastMs");      // the reply takes at least this long
        const std::string cedar = STXs + "KTMQ18A6" + EOTs;
        QTest::newRow("noise before STX") << Model::Cedar << "noise" << "#~x" + cedar << 0;
        QTest::newRow("EOT before STX") << Model::Cedar << "eotFirst" << EOTs + cedar << 0;
        // 3 bytes in and 8 bytes out at 9600 bit/s, 10 bits a byte: 11.46 ms.
        QTest::newRow("wire pacing") << Model::Birch << "pace" << STXs + "KTMQ32" + EOTs << 11;
    }
    void testFaults()
    {
        QFETCH(Model, model);
        QFETCH(QString, fault);
        QFETCH(std::string, wire);
        QFETCH(int, atLeastMs);
        ReaderSim sim(model, 20);
        QVERIFY(sim.Start());
        TestPort port;
        const bool bus = Row(model).bus;
        QVERIFY(port.Open(sim.DevicePath(), bus ? 57200 : 9600));

        SimFaults f;
        f.noiseBytes = fault == "noise" ? 3 : 0;
        f.eotBeforeStx = fault == "eotFirst";
        f.pace = fault == "pace";
        sim.SetFaults(f);
        QElapsedTimer timer;
        timer.start();
        port.Write(Identify(bus));
        QCOMPARE(port.ReadBytes(wire.size()), wire);
        QVERIFY2(timer.elapsed() >= atLeastMs, QByteArray::number(timer.elapsed()));
        QCOMPARE(port.ReadBytes(1, 50), std::string());   // nothing more follows

        sim.SetFaults({});
        port.Write(Identify(bus));
        QCOMPARE(port.ReadFrame(), STXs + Row(model).identity + EOTs);
    }
};

QTEST_GUILESS_MAIN(TestReaderSim)
#include "test_readersim.moc"
