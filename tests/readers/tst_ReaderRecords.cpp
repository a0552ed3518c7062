// Registering the connected reader: every model against the simulator brought online by the
// link controller (new record, recognition, identity check, a tag in the field meanwhile), and
// against scripted replies, so that every reply length and failure text is reached exactly.
// No failure writes a record. Deleting readers: cache positions, the Readers lists of
// transponders, the events' fate as answered, the tree, and the questions asked.
#include "ReaderTestSupport.h"
#include "base/Prompt.h"
#include "link/Telegram.h"
#include "readers/ReaderDeletion.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderRegistration.h"
#include "support/OnlineFixture.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace ReaderTest;
using ReaderRegistration::Result;
using Frames = QList<QByteArray>;

namespace {

// Runs `body` while another thread takes each telegram out of the mailbox and answers it with
// the next scripted reply (an empty reply once the script has run out, as after a time-out);
// returns the telegrams sent.
Frames AnswerFromScript(CSerialLink& link, Frames replies, const std::function<void()>& body)
{
    Frames sent;
    std::atomic<bool> stop{false};
    std::thread script([&] {
        while (!stop.load()) {
            const QByteArray out = link.TakeOutgoing();
            if (out.isEmpty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            sent << out;
            link.StoreReply(replies.isEmpty() ? QByteArray() : replies.takeFirst());
        }
    });
    body();
    stop = true;
    script.join();
    return sent;
}

// A read reply of a bus reader: "FFL" + area + data + checksum.
QByteArray ReadReply(char area, const QByteArray& data)
{
    const QByteArray body = QByteArray("FFL") + area + data;
    return body + Telegram::Checksum(body);
}

const QByteArray kDeviceId = "AB34567890CDEF123456";
const QByteArray H = Telegram::BuildShortFrame('H', {});
const QByteArray C0 = Telegram::BuildShortFrame('C', "0");
const QByteArray C1 = Telegram::BuildShortFrame('C', "1");
const QByteArray LS = Telegram::BuildAddressedFrame('L', "S0000");
const QByteArray LP0 = Telegram::BuildAddressedFrame('L', "P0000");
const QByteArray LP1 = Telegram::BuildAddressedFrame('L', "P0001");

} // namespace

class TestReaderRecords : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    VmTest::OnlineFixture m_online{21};
    std::unique_ptr<CLinkController> m_ctrl;
    QList<int32_t> m_ids;   // Leser_0 .. Leser_7; even ones are Cedars, odd ones Birches

    QString text(int n) const { return m_texts->GetLangItem(n); }
    void AddEightReaders()
    {
        m_ids.clear();
        for (int i = 0; i < 8; ++i)
            m_ids << AddReader(*m_store, QStringLiteral("Leser_%1").arg(i), i % 2 ? "Birch" : "Cedar");
        m_store->Get_Ptr_To_tblLeser()->_Requery();
    }
    void AddEvents(int reader, int count)
    {
        AddRecords<structEvents>(m_store->Get_Ptr_To_tblEvents(), count, [&](int, structEvents& e) {
            e.ReaderID = m_ids[reader];
            e.ReaderName = QStringLiteral("Leser_%1").arg(reader);
        });
        m_store->Get_Ptr_To_tblEvents()->_Requery();
    }

    // Registers the reader online now, the table's rows in cache order.
    Result Register(const ReaderRegistration::ChooseReaderFn& choose)
    {
        std::vector<ReaderRegistration::Row> rows;
        CtblLeser* t = m_store->Get_Ptr_To_tblLeser();
        for (int i = 0; i < t->GetAnz_Leser(); ++i)
            rows.push_back({t->Get_Leser(i).Name, t->Get_Leser(i).Model, t->Get_Leser(i).Identity});
        return ReaderRegistration::RegisterConnectedReader(m_ctrl->Link(), *m_store, rows, choose);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(OpenPrivateStore(m_texts, m_store));
    }
    void init()
    {
        ClearTables(*m_store);
        m_ctrl = std::make_unique<CLinkController>(m_texts.get());
    }
    void cleanup()
    {
        m_ctrl.reset();
        m_online.Stop();
    }

    void deleteReadersAtPositions257()
    {
        AddEightReaders();
        // The readers leave the transponders' lists, the first of two equal entries only.
        AddTransponder(*m_store, "A", QString::number(m_ids[5]));
        AddTransponder(*m_store, "B", QStringLiteral("%1;%2;%1").arg(m_ids[2]).arg(m_ids[3]));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        ScriptedPrompt prompt;
        prompt.NextAnswer(false);   // not yet
        QCOMPARE(ReaderDeletion::DeleteReaders(*m_store, {7, 2, 5}, nullptr), 0);
        QCOMPARE(ReaderNames(*m_store, true).size(), 8);
        prompt.NextAnswer(true);
        prompt.NextAnswer(false);   // keep the events
        RecordingTree tree;
        // Whatever the selection order, positions 2, 5 and 7 leave the cache as entries 2, 4 and
        // 5 once the earlier ones are gone.
        QCOMPARE(ReaderDeletion::DeleteReaders(*m_store, {7, 2, 5}, &tree), 3);
        const QStringList left{"Leser_0", "Leser_1", "Leser_3", "Leser_4", "Leser_6"};
        QCOMPARE(ReaderNames(*m_store, false), left);
        QCOMPARE(ReaderNames(*m_store, true), left);
        QCOMPARE(tree.calls, (QStringList{"remove Leser_2", "remove Leser_5", "remove Leser_7"}));
        QCOMPARE(prompt.Texts(), (QStringList{text(68), text(68), text(70)}));
        const QStringList lists{"A=", QStringLiteral("B=%1;%2").arg(m_ids[3]).arg(m_ids[2])};
        QCOMPARE(Transponders(*m_store, true), lists);
    }

    void eventsDeletedOrDetached_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("asked");          // a bus reader among them: text 70 is asked
        QTest::addColumn<bool>("deleteEvents");   // the answer to text 70
        QTest::addColumn<int>("eventsLeft");
        QTest::addColumn<int>("detached");
        // Readers 0 (Cedar), 1 (Birch) and 6 (Cedar, a bystander) have two events each.
        QTest::newRow("Cedar and Birch, kept") << QList<int>{1, 0} << true << false << 6 << 4;
        QTest::newRow("Birch, never asked") << QList<int>{1} << false << false << 6 << 2;
    }
    void eventsDeletedOrDetached()
    {
        AddEightReaders();
        QFETCH(QList<int>, selected);
        QFETCH(bool, asked);
        QFETCH(bool, deleteEvents);
        QFETCH(int, eventsLeft);
        QFETCH(int, detached);
        for (int i : {0, 1, 6})
            AddEvents(i, 2);
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        if (asked)
            prompt.NextAnswer(deleteEvents);
        ReaderDeletion::DeleteReaders(*m_store, std::vector<int>(selected.begin(), selected.end()), nullptr);
        QCOMPARE(prompt.Texts().contains(text(70)), asked);

        CtblEvents* events = m_store->Get_Ptr_To_tblEvents();
        for (int pass = 0; pass < 2; ++pass, events->_Requery()) {   // the cache, then the table
            QCOMPARE(events->GetAnz_Events(), eventsLeft);
            int zero = 0;
            for (int i = 0; i < events->GetAnz_Events(); ++i) {
                const structEvents& ev = events->Get_Event(i);
                zero += ev.ReaderID == 0;
                QVERIFY(ev.ReaderID == 0 || !selected.contains(int(m_ids.indexOf(ev.ReaderID))));
                QVERIFY(ev.ReaderName.startsWith("Leser_"));   // the name at reading time stays
            }
            QCOMPARE(zero, detached);
        }
    }

    void deleteAllKeepsEventsWithReaderZero()
    {
        AddEightReaders();
        AddEvents(5, 2);
        AddTransponder(*m_store, "T", QStringLiteral("%1;%2").arg(m_ids[0]).arg(m_ids[1]));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(false);   // keep the events
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::DeleteAllReaders(*m_store, &tree), 1);
        QCOMPARE(prompt.Texts(), (QStringList{text(64), text(71)}));
        QCOMPARE(tree.calls, QStringList{"remove all"});
        QCOMPARE(ReaderNames(*m_store, true), QStringList());
        CtblEvents* ev = m_store->Get_Ptr_To_tblEvents();
        QVERIFY(ev->_Requery());
        QCOMPARE(ev->GetAnz_Events(), 2);
        QCOMPARE(ev->Get_Event(1).ReaderID, 0);
        QCOMPARE(Transponders(*m_store, true), QStringList{"T="});
    }
    void eachModel_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("type");
        // One bus model; of the desk models the Birch, and the Alder that gets no tree nodes.
        for (auto [model, type] : {std::pair{Sim::Model::Cedar, "Cedar"}, {Sim::Model::Birch, "Birch"},
                                   {Sim::Model::Alder, "Alder"}})
            QTest::newRow(type) << int(model) << QString(type);
    }
    // Every model but the Alder also with a tag in its field while it comes online: the
    // monitor's poll replies (bus readers) and the reader's own tag frame (a Birch) answer none
    // of the registration's telegrams, and announcing the tag does not hold up the mailbox; the
    // tag is still announced once the registration is done.
    void eachModel()
    {
        QFETCH(int, model);
        QFETCH(QString, type);
        QVERIFY(m_online.Start(Sim::Model(model)));
        const bool bus = m_online.Reader().Info().bus;
        if (bus)
            m_online.Reader().PresentTag("0004445556");   // lies there for every poll
        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        QVERIFY(m_online.Connect(*m_ctrl));
        if (bus) {
            // The first poll has been answered with the tag: the monitor wants to announce it
            // while this (the GUI) thread does not look at its events.
            for (int i = 0; i < 300 && m_online.Reader().Received('C') == 0; ++i)
                QThread::msleep(10);
            QThread::msleep(100);
        } else if (type != "Alder") {
            // A desk reader sends its tag frame once, here when the monitor runs (it clears
            // the stop request of the rate change). The monitor then waits to announce the tag
            // while this (the GUI) thread does not look at its events.
            QTRY_COMPARE(m_ctrl->Link().m_nStopRequest.load(), 0);
            m_online.Reader().PresentTag("0004445556");
            for (int i = 0; i < 200 && m_online.Reader().Log().back().heard != Sim::Heard::Unsolicited; ++i)
                QThread::msleep(10);
            QThread::msleep(200);
        }
        AddReader(*m_store, "Other", type, "OTHERDEVICE000000000");   // another reader of the model
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        ScriptedPrompt prompt;

        // Unknown to the table (a desk reader: the user picks the new-reader entry): a new record.
        const Result added = Register([](const QStringList&, const QString& extra) { return extra; });
        QCOMPARE(added.outcome, Result::Added);
        QCOMPARE(added.addToTree, type != "Alder");
        const structLeser rec = m_store->Get_Ptr_To_tblLeser()->Get_Leser(added.cacheIndex);
        const QString deviceId = QString::fromStdString(m_online.Reader().DeviceId());
        QCOMPARE(rec.Model, type);
        QCOMPARE(rec.Identity, bus ? deviceId : QStringLiteral("---"));
        QCOMPARE(ReaderNames(*m_store, true).size(), 2);

        // Registered again: its row is recognised (a desk reader's through the choice list).
        QStringList offered;
        const Result again = Register([&](const QStringList& names, const QString&) { offered = names; return rec.Name; });
        QCOMPARE(again.outcome, Result::Recognised);
        QCOMPARE(again.row, 1);
        QCOMPARE(offered, (bus ? QStringList() : QStringList{"Other", rec.Name}));
        QCOMPARE(ReaderNames(*m_store, true).size(), 2);
        QVERIFY2(prompt.Texts().isEmpty(), qPrintable(prompt.Texts().join('|')));

        // The identity check passes for the reader's own device ID only, and never for a desk reader.
        QCOMPARE(ReaderIdentity::CheckReaderIdentity(m_ctrl->Link(), type, deviceId), bus);
        QVERIFY(!ReaderIdentity::CheckReaderIdentity(m_ctrl->Link(), type, "ANOTHERDEVICE0000000"));
        if (type != "Alder") {
            QTRY_VERIFY(!seen.isEmpty());
            QCOMPARE(seen.first().first().toByteArray(), QByteArray("0004445556"));
        }
    }

    void replies_data()
    {
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<Frames>("replies");
        QTest::addColumn<Frames>("sent");          // telegrams expected, in order
        QTest::addColumn<int>("failureText");      // 0: a record is added with these:
        QTest::addColumn<QString>("params");
        const QByteArray id = ReadReply('S', kDeviceId);
        QTest::newRow("desk reader silent") << 0 << Frames{} << Frames{H, H, H, H} << 114 << "";
        QTest::newRow("desk reader answers the fourth time") << 0 << Frames{"", "", "", "KTMQ32", "3;00001234AB", "0"}
            << Frames{H, H, H, H, C0, C1} << 0 << "3;00001234AB";
        QTest::newRow("Alder expected, Birch answers") << 3 << Frames{"KTMQ32"} << Frames{H} << 119 << "";
        QTest::newRow("identification of 5") << 0 << Frames{"KTMQ3"} << Frames{H} << 120 << "";
        QTest::newRow("identification of 7") << 0 << Frames{"KTMQ32X"} << Frames{H} << 120 << "";
        QTest::newRow("device ID reply of 25") << 1 << Frames{id.left(25)} << Frames{LS} << 106 << "";
        QTest::newRow("device ID reply of 27") << 2 << Frames{id + "0"} << Frames{LS} << 106 << "";
        QTest::newRow("device ID with a wrong checksum") << 1 << Frames{"CRC_ERROR"} << Frames{LS} << 106 << "";
        QTest::newRow("only the low byte counts") << 4 << Frames{id, ReadReply('P', "12F0"), ReadReply('P', "01FF")}
            << Frames{LS, LP0, LP1} << 0 << "F0";
    }
    void replies()
    {
        QFETCH(int, interfaceType);
        QFETCH(Frames, replies);
        QFETCH(int, failureText);
        CSerialLink link;
        link.m_nInterfaceType = interfaceType;
        link.m_nPortInUse = 5;
        ScriptedPrompt prompt;
        Result r;
        const Frames sent = AnswerFromScript(link, replies, [&] {
            r = ReaderRegistration::RegisterConnectedReader(
                link, *m_store, {}, [](const QStringList&, const QString& extra) { return extra; });
        });
        QTEST(sent, "sent");
        QCOMPARE(r.failureText, failureText);
        QCOMPARE(prompt.Texts(), failureText ? QStringList{m_texts->GetLangItem(failureText)} : QStringList());
        QCOMPARE(ReaderNames(*m_store, true).size(), failureText ? 0 : 1);
        if (failureText)
            return;
        const structLeser& rec = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0);
        QTEST(rec.Params, "params");
        const bool bus = interfaceType == 1 || interfaceType == 2 || interfaceType == 4;
        QCOMPARE(rec.Identity, bus ? QString::fromLatin1(kDeviceId) : QStringLiteral("---"));
        QCOMPARE(r.addToTree, interfaceType != 3);   // an Alder gets no tree nodes
    }
};

QTEST_GUILESS_MAIN(TestReaderRecords)
#include "tst_ReaderRecords.moc"
