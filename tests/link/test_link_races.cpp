// The link under pressure from several threads at once, against the reader simulator: who owns
// the port, which reply belongs to which mailbox caller, announcements while the GUI thread
// waits, a monitor that cannot start, a failed attempt overlapping the next one, and the
// retries of the device ID write and the clock.
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialPort.h"
#include "link/ComPorts.h"
#include "link/Telegram.h"
#include "readers/LinkTurn.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr int kCom = 15;
constexpr int kConnectMs = 10000;

// Texts "T<n>", so that a test sees which text was shown.
QString WriteTexts()
{
    const QString folder = VmTest::IsolateHome() + QStringLiteral("/texts/");
    QDir().mkpath(folder);
    QFile f(folder + QStringLiteral("texts_de.txt"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        for (int n : {14, 74, 101, 102, 104, 105, 106, 107, 108, 114, 201})
            f.write(QByteArray::number(n) + "\tT" + QByteArray::number(n) + "\n");
        f.write("103\tT103 COM%d\n");
    }
    return folder;
}

// Holds the first message with the given text until released; every message is logged.
class HoldingPrompt : public IPrompt {
public:
    explicit HoldingPrompt(QString held) : m_held(std::move(held)) { SetPrompt(this); }
    ~HoldingPrompt() override
    {
        Release();
        SetPrompt(nullptr);
    }
    void Message(const QString& text, const QString&, PromptIcon) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_texts << text;
        if (text != m_held || m_holding)
            return;
        m_holding = true;
        m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
        m_returned = true;
    }
    bool Question(const QString&, const QString&) override { return false; }
    void ShowMessage(const QString&) override {}
    QString ChooseFile(const FileRequest&) override { return {}; }

    bool Holding() const { std::lock_guard<std::mutex> l(m_mutex); return m_holding; }
    bool Returned() const { std::lock_guard<std::mutex> l(m_mutex); return m_returned; }
    QStringList Texts() const { std::lock_guard<std::mutex> l(m_mutex); return m_texts; }
    void Release()
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }

private:
    const QString m_held;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    QStringList m_texts;
    bool m_holding = false, m_released = false, m_returned = false;
};

} // namespace

class TestLinkRaces : public QObject {
    Q_OBJECT

    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<Sim::ReaderSim> m_sim;
    std::unique_ptr<CLinkController> m_ctrl;

    bool StartReader(Sim::Model model, const std::function<void(Sim::ReaderSim&)>& setup = {})
    {
        m_sim = std::make_unique<Sim::ReaderSim>(model, kCom);
        if (setup)
            setup(*m_sim);
        Settings::WriteAktCom(kCom);
        return m_sim->Start();
    }
    // Waits for the result of the attempt in progress.
    static bool Result(QSignalSpy& spy, int index = 0)
    {
        while (spy.count() <= index)
            if (!spy.wait(kConnectMs))
                return false;
        return spy.at(index).first().toBool();
    }
    bool Connect()
    {
        QSignalSpy result(m_ctrl.get(), &CLinkController::ConnectResult);
        return m_ctrl->StartConnectWorker() == 0 && Result(result);
    }
    // Data of the telegrams with that command whose data starts with the prefix.
    int Heard(char command, const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& d : m_sim->ReceivedData(command))
            n += d.rfind(prefix, 0) == 0;
        return n;
    }

private slots:
    void initTestCase()
    {
        m_lang = std::make_unique<CLanguageHandler>(0, WriteTexts());
        QVERIFY(m_lang->IsLoaded());
    }
    void init() { m_ctrl = std::make_unique<CLinkController>(m_lang.get()); }
    void cleanup()
    {
        CLinkController::SetThreadStarter(nullptr);
        m_ctrl.reset();
        if (m_sim)
            m_sim->Stop();
        m_sim.reset();
    }

    // The port is one holder's at a time, also within the program. Opening it again waits
    // for a holder that is letting go, but not for ever; and going online again at once
    // after closing (the monitor may still be in a read) succeeds.
    void portHasOneHolder()
    {
        QVERIFY(StartReader(Sim::Model::Cedar));
        const QByteArray name = "COM" + QByteArray::number(kCom);
        const QByteArray device = ComPorts::ResolvePortName(name);
        int error = 0;
        std::shared_ptr<CSerialPort> holder = CSerialPort::Open(device, &error);
        QVERIFY(holder);
        QVERIFY(!CSerialPort::Open(device, &error));
        QCOMPARE(error, EBUSY);

        CSerialLink link;
        std::thread letGo([&holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            holder.reset();
        });
        QCOMPARE(link.OpenComPort(name, 1), 1);
        letGo.join();
        CSerialLink second;
        QCOMPARE(second.OpenComPort(name, 1), 0);   // link keeps it: the wait ends
        link.CloseComPort();

        QVERIFY(Connect());
        QSignalSpy result(m_ctrl.get(), &CLinkController::ConnectResult);
        for (int i = 0; i < 3; ++i) {
            ScriptedPrompt prompt;
            QTRY_VERIFY(m_sim->Received('C') > 0);   // the monitor reads
            m_ctrl->Link().CloseComPort();
            QCOMPARE(m_ctrl->StartConnectWorker(), 0);
            QVERIFY2(Result(result, i), qPrintable(prompt.Texts().join('|')));
            m_sim->ClearLog();
        }
    }

    // A poll reply that comes while a caller's frame waits in the mailbox (a tag lies on
    // the reader) is not that caller's reply: it gets the reply to its own frame.
    void pollReplyIsNoMailboxReply()
    {
        QVERIFY(StartReader(Sim::Model::Cedar, [](Sim::ReaderSim& s) { s.SetDeviceId("00112233445566778899"); }));
        QVERIFY(Connect());
        CSerialLink& link = m_ctrl->Link();
        Sim::SimFaults slow;
        slow.replyDelayMs = 150;   // the caller queues its frame while the poll's reply is on its way
        m_sim->SetFaults(slow);
        m_sim->PresentTag("0001112223");
        QByteArray reply;
        std::thread caller;
        std::atomic<bool> claimed{false}, started{false};
        m_sim->SetTrafficListener([&](const Sim::SimLogEntry& e) {
            if (e.command == 'C' && !claimed.exchange(true)) {
                caller = std::thread([&] { reply = link.SendTelegramViaMonitor('L', "S0000", 1); });
                started = true;
            }
        });
        QTRY_VERIFY(started.load());
        m_sim->SetTrafficListener(nullptr);
        caller.join();
        QCOMPARE(reply.mid(2, 2), QByteArray("LS"));
        QCOMPARE(reply.mid(4, 20), QByteArray("00112233445566778899"));
    }

    // A frame queued while the monitor writes the one before it is not lost: it goes out
    // next, and the first caller still gets its own reply.
    void frameQueuedDuringWriteGoesOut()
    {
        QVERIFY(StartReader(Sim::Model::Maple));
        QVERIFY(Connect());
        CSerialLink& link = m_ctrl->Link();
        const QByteArray first = Telegram::BuildAddressedFrame('L', "P0000");
        // The tap may still run on the monitor's thread after this function: it owns what it uses.
        auto queued = std::make_shared<std::atomic<bool>>(false);
        link.SetWriteTap([&link, first, queued](const QByteArray& frame) {
            if (frame == first && !queued->exchange(true))
                link.SetOutgoing(Telegram::BuildAddressedFrame('L', "P0001"));
        });
        const QByteArray reply = link.SendTelegramViaMonitor('L', "P0000", 1);
        QCOMPARE(reply.left(4), QByteArray("FFLP"));
        QVERIFY(queued->load());
        QTRY_COMPARE(Heard('L', "P0001"), 1);
        link.SetWriteTap(nullptr);
    }

    // A reader operation takes the port right after the monitor wrote a poll, and the poll's
    // reply goes to the operation's purge. Once the operation hands the port back, the monitor
    // polls again rather than wait for that reply until it gives the line up.
    void operationTakingAPollReplyLeavesTheMonitorPolling()
    {
        QVERIFY(StartReader(Sim::Model::Cedar));
        QVERIFY(Connect());
        QTRY_VERIFY(m_sim->Received('C') > 0);
        CSerialLink& link = m_ctrl->Link();
        QSignalSpy lost(m_ctrl.get(), &CLinkController::ConnectionLost);
        // The tap runs on the monitor's thread, just after its write: the operation's whole
        // turn happens before the monitor reads a byte of the reply.
        auto taken = std::make_shared<std::atomic<bool>>(false);
        link.SetWriteTap([&link, taken](const QByteArray& frame) {
            if (frame != Telegram::PollTelegram() || taken->exchange(true))
                return;
            LinkTurn turn(link);   // waits until the poll's reply has come
            link.PurgeReceive();
        });
        QTRY_VERIFY(taken->load());
        const int polls = m_sim->Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->Received('C') >= polls + 2, 3000);
        link.SetWriteTap(nullptr);
        QCOMPARE(lost.count(), 0);
    }

    // A tag lies on a bus reader; the monitor wants to announce it while this (the GUI)
    // thread is not looking at its events but waits in the mailbox: the mailbox goes first,
    // the announcement comes once the thread is free.
    void mailboxGoesBeforeAnnouncement()
    {
        QVERIFY(StartReader(Sim::Model::Cedar, [](Sim::ReaderSim& s) { s.SetDeviceId("0123456789ABCDEF0123"); }));
        QVERIFY(Connect());
        QSignalSpy seen(m_ctrl.get(), &CLinkController::TransponderSeen);
        m_sim->PresentTag("0007654321", true);
        QTRY_VERIFY(!m_sim->Log().empty() && m_sim->Log().back().reply.find("0007654321") != std::string::npos);
        QThread::msleep(100);   // the monitor has read the reply and waits to announce it
        QElapsedTimer took;
        took.start();
        const QByteArray reply = m_ctrl->Link().SendTelegramViaMonitor('L', "S0000", 1);
        QCOMPARE(reply.mid(4, 20), QByteArray("0123456789ABCDEF0123"));
        QVERIFY2(took.elapsed() < 2000, qPrintable(QString::number(took.elapsed())));
        QTRY_COMPARE(seen.count(), 1);
        QCOMPARE(seen.first().first().toByteArray(), QByteArray("0007654321"));
    }

    // No thread for the monitor: the user is told, and the link goes offline rather than
    // looking online with nobody serving it.
    void monitorThatCannotStart()
    {
        QVERIFY(StartReader(Sim::Model::Rowan));
        CLinkController::SetThreadStarter([](const char* worker, std::function<void()> body) {
            if (std::strcmp(worker, "monitor") == 0)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            return std::thread(std::move(body));
        });
        ScriptedPrompt prompt;
        QSignalSpy online(m_ctrl.get(), &CLinkController::ReaderOnline);
        QSignalSpy hidden(m_ctrl.get(), &CLinkController::ConnectProgressHide);
        QVERIFY(!Connect());
        QVERIFY(!m_ctrl->IsOnline());
        QCOMPARE(m_ctrl->Link().m_nPortOpen.load(), 0);
        QCOMPARE(m_ctrl->Link().m_nPortInUse.load(), -1);
        QTRY_COMPARE(prompt.Texts(), QStringList{"T107"});
        QCOMPARE(hidden.count(), 1);
        QTest::qWait(50);
        QCOMPARE(online.count(), 0);
    }

    // An attempt that failed keeps its message open while the user starts the next one,
    // which gets online: the old attempt's end does not mark the port as not in use.
    void failedAttemptLeavesTheNextOneAlone()
    {
        HoldingPrompt prompt(QStringLiteral("T107"));
        Settings::WriteAktCom(kCom);   // no reader there yet
        QSignalSpy result(m_ctrl.get(), &CLinkController::ConnectResult);
        QCOMPARE(m_ctrl->StartConnectWorker(), 0);
        QVERIFY(!Result(result, 0));
        QTRY_VERIFY(prompt.Holding());

        QVERIFY(StartReader(Sim::Model::Cedar));
        QCOMPARE(m_ctrl->StartConnectWorker(), 0);
        QVERIFY(Result(result, 1));
        QCOMPARE(m_ctrl->Link().m_nPortInUse.load(), kCom);
        prompt.Release();
        QTRY_VERIFY(prompt.Returned());
        QTest::qWait(200);   // the old worker ends now
        QCOMPARE(m_ctrl->Link().m_nPortInUse.load(), kCom);
        QCOMPARE(prompt.Texts(), QStringList{"T107"});
    }

    // Closing the controller returns promptly whatever its workers are doing: identifying
    // a reader that does not answer at this rate, polling, or waiting to announce a tag to
    // this thread, which does not look at its events.
    void closingReturnsPromptly_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("state");
        QTest::newRow("identifying") << int(Sim::Model::Birch) << "identifying";
        QTest::newRow("polling") << int(Sim::Model::Maple) << "polling";
        QTest::newRow("announcing") << int(Sim::Model::Cedar) << "announcing";
    }
    void closingReturnsPromptly()
    {
        QFETCH(int, model);
        QFETCH(QString, state);
        QVERIFY(StartReader(Sim::Model(model)));
        ScriptedPrompt prompt;
        if (state == "identifying") {
            QCOMPARE(m_ctrl->StartConnectWorker(), 0);
            QTRY_VERIFY(m_sim->Log().size() >= 1);
        } else {
            QVERIFY(Connect());
            QTRY_VERIFY(m_sim->Received('C') > 0);
            if (state == "announcing") {
                m_sim->PresentTag("0001234567");
                const int polls = m_sim->Received('C');
                for (int i = 0; i < 300 && m_sim->Received('C') == polls; ++i)
                    QThread::msleep(10);
                QThread::msleep(100);
            }
        }
        QElapsedTimer took;
        took.start();
        m_ctrl.reset();
        QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(prompt.Texts().isEmpty());
    }

    // The device ID write is tried again only while its reply is empty, and stops at the
    // first reply with ACK; a reply without ACK ends it as done. The clock is tried four
    // times while its reply lacks ACK.
    void writeRetries_data()
    {
        QTest::addColumn<QStringList>("aims");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("writes");
        QTest::addColumn<bool>("connected");
        QTest::newRow("ID: first reply lost") << QStringList{"drop:SS0000:1"} << "S0000" << 2 << true;
        QTest::newRow("ID: first reply without ACK") << QStringList{"nak:SS0000:1"} << "S0000" << 1 << true;
        QTest::newRow("ID: lost, then without ACK") << QStringList{"drop:SS0000:1", "nak:SS0000:1"} << "S0000" << 3 << true;
        QTest::newRow("clock: refused three times") << QStringList{"nak:SU0000:3"} << "U0000" << 4 << true;
        QTest::newRow("clock: refused four times") << QStringList{"nak:SU0000:4"} << "U0000" << 4 << false;
    }
    void writeRetries()
    {
        QFETCH(QStringList, aims);
        QFETCH(QString, prefix);
        QFETCH(int, writes);
        QFETCH(bool, connected);
        QVERIFY(StartReader(Sim::Model::Cedar, [&](Sim::ReaderSim& s) {
            for (const QString& aim : aims)
                s.AimFault(*Sim::ParseAimedFault(aim.toStdString()));
        }));
        ScriptedPrompt prompt;
        QCOMPARE(Connect(), connected);
        QCOMPARE(Heard('S', prefix.toStdString()), writes);
        QVERIFY(m_sim->AimedFaultsPending().empty());
        if (connected) {
            QVERIFY(prompt.Texts().isEmpty());
            QCOMPARE(QByteArray::fromStdString(m_sim->DeviceId()), m_ctrl->NewDeviceId());
        } else {
            QTRY_COMPARE(prompt.Texts(), (QStringList{"T106", "T107"}));
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkRaces)
#include "test_link_races.moc"
