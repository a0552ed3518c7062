// Registering the connected reader: every model against the simulator brought online by the
// link controller (new record, recognition, identity check, a tag in the field meanwhile), and
// against scripted replies, so that every reply length and failure text is reached exactly.
// No failure writes a record.
#include "ReaderTestSupport.h"
#include "base/Prompt.h"
#include "link/Telegram.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderRegistration.h"
#include "support/OnlineFixture.h"
#include "support/TestEnv.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

using namespace ReaderTest;
using ReaderRegistration::Result;
using Frames = QList<QByteArray>;

namespace {

// Takes each telegram out of the mailbox and answers it with the next scripted reply (an
// empty reply once the script has run out, as after a time-out).
class MailboxScript {
public:
    MailboxScript(CSerialLink& link, const Frames& replies) : m_link(link), m_replies(replies)
    {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const QByteArray out = m_link.TakeOutgoing();
                if (out.isEmpty()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                std::unique_lock lock(m_mutex);
                m_sent << out;
                const QByteArray reply = m_replies.isEmpty() ? QByteArray() : m_replies.takeFirst();
                lock.unlock();
                m_link.StoreReply(reply);
            }
        });
    }
    ~MailboxScript() { m_stop = true, m_thread.join(); }
    Frames Sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    CSerialLink& m_link;
    Frames m_replies, m_sent;
    mutable std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

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

class TestReaderRegistration : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    VmTest::OnlineFixture m_online{21};
    std::unique_ptr<CLinkController> m_ctrl;

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
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY(m_store->IsDatabaseOpen());
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

    void eachModel_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("type");
        for (auto [model, type] : {std::pair{Sim::Model::Cedar, "Cedar"}, {Sim::Model::Maple, "Maple"},
                                   {Sim::Model::Rowan, "Rowan"}, {Sim::Model::Birch, "Birch"}, {Sim::Model::Alder, "Alder"}})
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
        QVERIFY(rec.Name.startsWith("Leser_"));
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
        QTest::newRow("Birch expected, other 6 characters") << 0 << Frames{"KTMQ18"} << Frames{H} << 119 << "";
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
        {
            MailboxScript script(link, replies);
            r = ReaderRegistration::RegisterConnectedReader(
                link, *m_store, {}, [](const QStringList&, const QString& extra) { return extra; });
            QTEST(script.Sent(), "sent");
        }
        QCOMPARE(r.failureText, failureText);
        QCOMPARE(prompt.Texts(), failureText ? QStringList{m_texts->GetLangItem(failureText)} : QStringList());
        QCOMPARE(ReaderNames(*m_store, true).size(), failureText ? 0 : 1);
        if (failureText) {
            QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
            QCOMPARE(m_store->Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
            return;
        }
        const structLeser& rec = m_store->Get_Ptr_To_tblLeser()->Get_Leser(0);
        QTEST(rec.Params, "params");
        const bool bus = interfaceType == 1 || interfaceType == 2 || interfaceType == 4;
        QCOMPARE(rec.Identity, bus ? QString::fromLatin1(kDeviceId) : QStringLiteral("---"));
        QCOMPARE(rec.Info, bus ? QStringLiteral("AB") : QStringLiteral("---"));
        QCOMPARE(r.addToTree, interfaceType != 3);   // an Alder gets no tree nodes
    }
};

QTEST_GUILESS_MAIN(TestReaderRegistration)
#include "tst_ReaderRegistration.moc"
