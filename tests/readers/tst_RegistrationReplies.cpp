// Registration against scripted replies: a stand-in for the monitor worker answers each
// mailbox telegram with the next reply of a script, so that every reply length and every
// failure text is reached at once and exactly. (The simulator tests cover the real link.)
#include "ReaderTestSupport.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "readers/ReaderRegistration.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

using namespace ReaderTest;
using ReaderRegistration::Result;

namespace {

// Takes each telegram out of the mailbox and answers it with the next scripted reply (an
// empty reply when the script has run out, as after a time-out).
class MailboxScript {
public:
    MailboxScript(CSerialLink& link, const QList<QByteArray>& replies)
        : m_link(link), m_replies(replies.begin(), replies.end())
    {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const QByteArray out = m_link.TakeOutgoing();
                if (out.isEmpty()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                QByteArray reply;
                {
                    std::lock_guard lock(m_mutex);
                    m_sent << out;
                    if (!m_replies.empty()) {
                        reply = m_replies.front();
                        m_replies.pop_front();
                    }
                }
                m_link.StoreReply(reply);
            }
        });
    }
    ~MailboxScript()
    {
        m_stop = true;
        m_thread.join();
    }
    QList<QByteArray> Sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    CSerialLink& m_link;
    std::deque<QByteArray> m_replies;
    QList<QByteArray> m_sent;
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

class TestRegistrationReplies : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY(m_store->IsDatabaseOpen());
    }
    void init() { ClearTables(*m_store); }

    void replies_data()
    {
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<QList<QByteArray>>("sent");      // telegrams expected, in order
        QTest::addColumn<int>("failureText");              // 0: a record is added
        QTest::addColumn<QString>("params");
        QTest::addColumn<QString>("switchTime");

        const QList<QByteArray> four{H, H, H, H};
        QTest::newRow("desk reader silent") << 0 << QList<QByteArray>{} << four << 114 << "" << "";
        QTest::newRow("desk reader answers the fourth time")
            << 0 << QList<QByteArray>{"", "", "", "KTMQ32", "3;00001234AB", "0"}
            << QList<QByteArray>{H, H, H, H, C0, C1} << 0 << "3;00001234AB" << "0";
        QTest::newRow("Alder expected, Birch answers") << 3 << QList<QByteArray>{"KTMQ32"} << QList<QByteArray>{H} << 119 << "" << "";
        QTest::newRow("Birch expected, other 6 characters") << 0 << QList<QByteArray>{"KTMQ18"} << QList<QByteArray>{H} << 119 << "" << "";
        QTest::newRow("identification too short") << 0 << QList<QByteArray>{"KTMQ3"} << QList<QByteArray>{H} << 120 << "" << "";
        QTest::newRow("identification too long") << 0 << QList<QByteArray>{"KTMQ32X"} << QList<QByteArray>{H} << 120 << "" << "";
        QTest::newRow("Birch data 0 unanswered") << 0 << QList<QByteArray>{"KTMQ32", ""} << QList<QByteArray>{H, C0} << 114 << "" << "";
        QTest::newRow("Birch data 1 unanswered") << 0 << QList<QByteArray>{"KTMQ32", "1;0000000000", ""}
                                                 << QList<QByteArray>{H, C0, C1} << 114 << "" << "";
        QTest::newRow("Alder: no data queries") << 3 << QList<QByteArray>{"KTMQ31"} << QList<QByteArray>{H} << 0 << "" << "";

        const QByteArray id = ReadReply('S', kDeviceId);
        QTest::newRow("device ID reply 25 characters") << 1 << QList<QByteArray>{id.left(25)} << QList<QByteArray>{LS} << 106 << "" << "";
        QTest::newRow("device ID reply with bad checksum") << 1 << QList<QByteArray>{"CRC_ERROR"} << QList<QByteArray>{LS} << 106 << "" << "";
        QTest::newRow("device ID unanswered") << 4 << QList<QByteArray>{} << QList<QByteArray>{LS} << 106 << "" << "";
        QTest::newRow("parameter 0000 unanswered") << 1 << QList<QByteArray>{id, ""} << QList<QByteArray>{LS, LP0} << 114 << "" << "";
        QTest::newRow("parameter 0001 of 9 characters") << 2 << QList<QByteArray>{id, ReadReply('P', "003C"), ReadReply('P', "000A").left(9)}
                                                        << QList<QByteArray>{LS, LP0, LP1} << 114 << "" << "";
        QTest::newRow("switching time 0A is 10") << 2 << QList<QByteArray>{id, ReadReply('P', "003C"), ReadReply('P', "000A")}
                                                 << QList<QByteArray>{LS, LP0, LP1} << 0 << "3C" << "10";
        QTest::newRow("only the low byte counts") << 4 << QList<QByteArray>{id, ReadReply('P', "12F0"), ReadReply('P', "01FF")}
                                                  << QList<QByteArray>{LS, LP0, LP1} << 0 << "F0" << "255";
    }
    void replies()
    {
        QFETCH(int, interfaceType);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(int, failureText);
        QFETCH(QString, params);
        QFETCH(QString, switchTime);

        CSerialLink link;
        link.m_nInterfaceType = interfaceType;
        link.m_nPortInUse = 5;
        ScriptedPrompt prompt;
        Result r;
        {
            MailboxScript script(link, replies);
            r = ReaderRegistration::RegisterConnectedReader(
                link, *m_store, {}, [](const QStringList&, const QString& extra) { return extra; });
            QCOMPARE(script.Sent(), sent);
        }
        CtblLeser* tbl = m_store->Get_Ptr_To_tblLeser();
        if (failureText) {
            QCOMPARE(r.outcome, Result::Failed);
            QCOMPARE(r.failureText, failureText);
            QCOMPARE(prompt.Texts(), QStringList{m_texts->GetLangItem(failureText)});
            QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
            QCOMPARE(tbl->GetAnz_Leser(), 0);
            QCOMPARE(StoredReaderNames(*m_store).size(), 0);
            return;
        }
        QCOMPARE(r.outcome, Result::Added);
        QVERIFY(prompt.Texts().isEmpty());
        QCOMPARE(tbl->GetAnz_Leser(), 1);
        const structLeser& rec = tbl->Get_Leser(0);
        QCOMPARE(rec.Params, params);
        QCOMPARE(rec.SwitchTime, switchTime);
        const bool bus = interfaceType == 1 || interfaceType == 2 || interfaceType == 4;
        QCOMPARE(rec.Identity, bus ? QString::fromLatin1(kDeviceId) : QStringLiteral("---"));
        QCOMPARE(rec.Info, bus ? QStringLiteral("AB") : QStringLiteral("---"));
        // An Alder gets no tree nodes.
        QCOMPARE(r.addToTree, interfaceType != 3);
    }

    // A database that cannot be opened: the new reader is not written, and the user is told
    // that the table could not be opened.
    void tableCannotBeOpened()
    {
        const QString garbage = VmTest::IsolateHome() + QStringLiteral("/garbage.mdb");
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        CSettingsStore settings;
        const QString key = QString::fromLatin1(kSettingsKey);
        settings.WriteString(garbage, 1, key, QString::fromLatin1(CStoreDB_Handler::SettingDBPath()));
        CStoreDB_Handler broken(m_texts.get());
        settings.WriteString(QString(), 1, key, QString::fromLatin1(CStoreDB_Handler::SettingDBPath()));
        QVERIFY(!broken.IsDatabaseOpen());

        CSerialLink link;
        link.m_nInterfaceType = 1;
        ScriptedPrompt prompt;
        MailboxScript script(link, {ReadReply('S', kDeviceId), ReadReply('P', "0001"), ReadReply('P', "0003")});
        const Result r = ReaderRegistration::RegisterConnectedReader(link, broken, {}, {});
        QCOMPARE(r.outcome, Result::Failed);
        QCOMPARE(r.failureText, 83);
        QCOMPARE(prompt.Texts(), QStringList{m_texts->GetLangItem(83) + '\n' + m_texts->GetLangItem(84)});
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
        QCOMPARE(broken.Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
        QCOMPARE(QFileInfo(garbage).size(), 4096);   // left exactly as it was
    }

    void nothingAtThePort()
    {
        CSerialLink link;   // interface type -1
        ScriptedPrompt prompt;
        MailboxScript script(link, {});
        const Result r = ReaderRegistration::RegisterConnectedReader(link, *m_store, {}, {});
        QCOMPARE(r.outcome, Result::Nothing);
        QVERIFY(script.Sent().isEmpty());
        QVERIFY(prompt.Texts().isEmpty());
    }

    void extraEntryComesLastAlsoWithoutReaders_data()
    {
        QTest::addColumn<int>("interfaceType");
        QTest::addColumn<QByteArray>("identification");
        QTest::addColumn<int>("extraText");
        QTest::newRow("Birch") << 0 << QByteArray("KTMQ32") << 123;
        QTest::newRow("Alder") << 3 << QByteArray("KTMQ31") << 224;
    }
    void extraEntryComesLastAlsoWithoutReaders()
    {
        QFETCH(int, interfaceType);
        QFETCH(QByteArray, identification);
        QFETCH(int, extraText);
        CSerialLink link;
        link.m_nInterfaceType = interfaceType;
        MailboxScript script(link, {identification});
        const std::vector<ReaderRegistration::Row> rows{{"Cedar 1", "Cedar", "X"}};
        QStringList names;
        QString extra;
        const Result r = ReaderRegistration::RegisterConnectedReader(
            link, *m_store, rows, [&](const QStringList& n, const QString& e) {
                names = n;
                extra = e;
                return QString();
            });
        QCOMPARE(r.outcome, Result::Cancelled);
        QVERIFY(names.isEmpty());
        QCOMPARE(extra, m_texts->GetLangItem(extraText));
    }
};

QTEST_GUILESS_MAIN(TestRegistrationReplies)
#include "tst_RegistrationReplies.moc"
