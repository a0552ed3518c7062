#include "link/CLinkController.h"

#include "base/Prompt.h"
#include "base/Settings.h"
#include "base/TimeStamp.h"
#include "link/Telegram.h"
#include "texts/CLanguageHandler.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <mutex>
#include <system_error>
#include <utility>

namespace {

using namespace std::chrono_literals;

constexpr int kMonitorStartDelayMs = 500;
constexpr int kPollPauseMs = 500;
// A bus reader counts as lost once this many polls in a row went unanswered, each given up after
// the exchange wait. A noisy RS-232/RS-485 line drops a frame now and then and the next poll gets
// through; three lost in a row by chance is rare (one frame in a hundred lost makes it one in a
// million), while an unplugged reader is still noticed within some 7.5 s: three times the 2 s
// wait and the half-second pause before each poll, about as long as the five seconds of silence
// a single unanswered poll used to wait out. An unanswered mailbox telegram does not count: its
// caller hears "no reply" and has retries of its own, and the polls after it tell.
constexpr int kLostAfterUnanswered = 3;
constexpr int kIdlePassMs = 10;        // a pass that reads nothing waits as long as an idle read
constexpr int kTagDisplayMs = 1500;
constexpr int kWorkerJoinMs = 2500;    // both workers together; each leaves within one short wait
constexpr int kIdentifyTries = 5;
constexpr int kFurtherTries = 3;

std::mutex g_weekdayMutex;
std::function<QByteArray(const QDate&)> g_weekdaySource;

// The weekday's name in the language of LC_TIME, as the C library gives it.
QByteArray LocaleWeekdayName(const QDate& date)
{
    std::tm tm {};
    tm.tm_year = date.year() - 1900;
    tm.tm_mon = date.month() - 1;
    tm.tm_mday = date.day();
    tm.tm_isdst = -1;
    std::mktime(&tm);   // fills in the weekday
    char name[64] = {};
    std::strftime(name, sizeof name, "%A", &tm);
    return QByteArray(name);
}

QByteArray WeekdayName(const QDate& date)
{
    std::function<QByteArray(const QDate&)> source;
    {
        std::lock_guard<std::mutex> lock(g_weekdayMutex);
        source = g_weekdaySource;
    }
    return source ? source(date) : LocaleWeekdayName(date);
}

// Text 103 carries the port number where it says "%d".
QString WithNumber(QString text, uint32_t number)
{
    const qsizetype at = text.indexOf(QLatin1String("%d"));
    if (at >= 0)
        text.replace(at, 2, QString::number(number));
    return text;
}

struct Completion {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

} // namespace

// What the workers share with the controller. The workers hold it by shared_ptr, so it
// outlives the controller for as long as they run; the controller itself is reached only
// through the gate, which the destructor closes first.
struct CLinkController::Shared {
    CSerialLink link;

    mutable std::mutex fieldMutex;
    QByteArray newDeviceId;
    QByteArray deviceId;
    QByteArray masterTransponder;
    QString statusText;
    std::atomic<int> online{0};

    std::atomic<bool> shutdown{false};
    std::atomic<int> monitorGeneration{0};
    std::atomic<int> connectGeneration{0};   // one per connection attempt

    std::recursive_mutex gate;
    CLinkController* owner = nullptr;

    QString Text(uint32_t number)
    {
        std::lock_guard<std::recursive_mutex> lock(gate);
        return owner && owner->m_lang ? owner->m_lang->GetLangItem(number) : QString();
    }

    // Reports from the workers run on the controller's thread through its inbox (a plain
    // mutex and a pipe, so ThreadSanitizer sees the hand-over).
    // A "posted" report: handled later on the controller's thread.
    void Post(std::function<void(CLinkController&)> call)
    {
        std::lock_guard<std::recursive_mutex> lock(gate);
        if (!owner)
            return;
        CLinkController* target = owner;   // queued calls are dropped before the owner goes
        owner->m_inbox.Post(target, [target, call = std::move(call)] { call(*target); });
    }

    // A "sent" report: handled on the controller's thread while this thread waits. Returns
    // false when the controller went away first (the report is then dropped with it), or
    // when `stopWaiting` holds before it was handled: the report then stays queued and is
    // handled later all the same.
    bool Send(std::function<void(CLinkController&)> call, const std::function<bool()>& stopWaiting = {})
    {
        auto done = std::make_shared<Completion>();
        {
            std::lock_guard<std::recursive_mutex> lock(gate);
            if (!owner)
                return false;
            if (QThread::currentThread() == owner->thread()) {
                call(*owner);
                return true;
            }
            Post([call, done](CLinkController& c) {
                call(c);
                std::lock_guard<std::mutex> l(done->mutex);
                done->done = true;
                done->cv.notify_all();
            });
        }
        std::unique_lock<std::mutex> l(done->mutex);
        while (!done->done) {
            if (shutdown.load() || (stopWaiting && stopWaiting()))
                return false;
            done->cv.wait_for(l, 20ms);
        }
        return true;
    }

    void ShowWarningUnlessClosing(const QString& text)
    {
        if (!shutdown.load())
            ShowWarning(text);
    }

    // Sleeps, but wakes early for the monitor's stop conditions.
    bool MonitorSleep(int ms, int generation)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            if (MonitorShouldStop(generation))
                return false;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                10ms, until - std::chrono::steady_clock::now()));
        }
        return true;
    }

    // A newer monitor replaces this one; a closed port has nothing left to watch.
    bool MonitorShouldStop(int generation) const
    {
        return link.m_nStopRequest.load() != 0 || shutdown.load() || monitorGeneration.load() != generation ||
               link.m_nPortOpen.load() != 1;
    }
};

CLinkController::CLinkController(const CLanguageHandler* lang, QObject* parent)
    : QObject(parent), m_lang(lang), m_shared(std::make_shared<Shared>())
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_shared->gate);
        m_shared->owner = m_inbox.IsOpen() ? this : nullptr;   // without the pipe nobody is told anything
    }
    m_tagTimer.setSingleShot(true);
    m_tagTimer.setInterval(kTagDisplayMs);
    connect(&m_tagTimer, &QTimer::timeout, this, &CLinkController::OnTagDisplayTimer);
}

CLinkController::~CLinkController()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_shared->gate);
        m_shared->owner = nullptr;
    }
    m_shared->shutdown = true;
    m_shared->link.m_nStopRequest = 1;
    // Reads in flight end at once; the workers then see the shutdown and leave.
    m_shared->link.CloseComPort();
    // One bound for both: closing must not take longer however the workers stand.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerJoinMs);
    const auto left = [until] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        return int(std::max<std::chrono::milliseconds::rep>(0, ms.count()));
    };
    Reap(m_connectWorker, left());
    Reap(m_monitorWorker, left());
    m_inbox.Discard(this);
}

CSerialLink& CLinkController::Link() { return m_shared->link; }

QString CLinkController::Text(uint32_t number) const
{
    return m_lang ? m_lang->GetLangItem(number) : QString();
}

// ---- connection fields ----

QByteArray CLinkController::NewDeviceId() const
{
    std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
    return m_shared->newDeviceId;
}

QByteArray CLinkController::DeviceId() const
{
    std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
    return m_shared->deviceId;
}

QByteArray CLinkController::MasterTransponder() const
{
    std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
    return m_shared->masterTransponder;
}

QString CLinkController::StatusText() const
{
    std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
    return m_shared->statusText;
}

void CLinkController::SetStatusText(const QString& text)
{
    std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
    m_shared->statusText = text;
}

bool CLinkController::IsOnline() const { return m_shared->online.load() != 0; }

// ---- workers' threads ----

void CLinkController::Reap(Worker& slot, int waitMs)
{
    if (!slot.thread.joinable())
        return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!slot.finished->load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    // A worker still busy holds everything it uses by shared_ptr and no longer reaches the
    // controller; letting it run out on its own is safe.
    if (slot.finished->load())
        slot.thread.join();
    else
        slot.thread.detach();
}

namespace {
std::mutex g_starterMutex;
CLinkController::ThreadStarter g_starter;
} // namespace

void CLinkController::SetThreadStarter(ThreadStarter starter)
{
    std::lock_guard<std::mutex> lock(g_starterMutex);
    g_starter = std::move(starter);
}

void CLinkController::Launch(Worker& slot, const char* worker, std::function<void()> body)
{
    Reap(slot, 0);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::function<void()> run = [body = std::move(body), finished] {
        body();
        finished->store(true);
    };
    ThreadStarter starter;
    {
        std::lock_guard<std::mutex> lock(g_starterMutex);
        starter = g_starter;
    }
    slot.thread = starter ? starter(worker, std::move(run)) : std::thread(std::move(run));
    slot.finished = finished;
}

// ---- connecting ----

int CLinkController::StartConnectWorker(uint32_t port)
{
    CSerialLink& link = m_shared->link;
    if (link.m_nPortOpen.load() == 1)
        return 1;

    if (port >= 1 && port <= 256)
        link.m_nConfiguredPort = port;
    else
        link.m_nConfiguredPort = Settings::ReadAktCom();   // out-of-range values come back as 256

    // The new device ID: three draws seeded with the same second, each the low 32 bits of
    // r to the fifth power as a double. Each part is filled to eight digits so that the ID
    // always fills the reader's 20-character slot; a short ID would leave stale characters
    // behind it and the reader would no longer be recognised by what it reports.
    QByteArray x[3];
    for (QByteArray& part : x) {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        const double value = std::pow(static_cast<double>(std::rand()), 5.0);
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        part = QByteArray::number(static_cast<uint32_t>(bits & 0xFFFFFFFFu), 16).toUpper().rightJustified(8, '0');
    }
    QByteArray reversed = x[1];
    std::reverse(reversed.begin(), reversed.end());
    {
        std::lock_guard<std::mutex> lock(m_shared->fieldMutex);
        m_shared->newDeviceId = reversed + x[0] + x[2].right(4);
        m_shared->deviceId.clear();
        m_shared->statusText = QStringLiteral("---");
    }

    emit ConnectProgressShow(QString(), 1, 0);

    try {
        std::shared_ptr<Shared> shared = m_shared;
        const int attempt = ++m_shared->connectGeneration;
        Launch(m_connectWorker, "connect", [shared, attempt] { ConnectWorker(shared, attempt); });
    } catch (const std::system_error&) {
        ShowError(Text(101) + QLatin1Char('\n') + Text(102));
        return 1;
    }
    // The worker opens the port later: the caller learns that it is not connected yet.
    return 0;
}

void CLinkController::ConnectWorker(const std::shared_ptr<Shared>& shared, int attempt)
{
    CSerialLink& link = shared->link;
    // A message box this worker asks for is given up once the controller goes away: the
    // program is closing, and nobody may be left to answer it.
    const PromptAbandonScope giveUp([shared] { return shared->shutdown.load(); });
    link.m_nReady = 0;
    {
        std::lock_guard<std::mutex> lock(shared->fieldMutex);
        shared->masterTransponder.clear();
    }

    const uint32_t port = link.m_nConfiguredPort.load();
    const QString label = QLatin1Char('\n') + WithNumber(shared->Text(103), port) + QLatin1Char('\n') +
                          shared->Text(104);
    const int maximum = port == 256 ? 5 : 1;
    // Handed over as plain bytes: the signal's text is made on the controller's thread and
    // shares no reference count with this one.
    const std::string labelText = label.toStdString();
    shared->Post([labelText, maximum](CLinkController& c) {
        emit c.ConnectProgressShow(QString::fromStdString(labelText), maximum, 1);
    });

    const QByteArray name = "COM" + QByteArray::number(port);
    link.m_nPortInUse = int(port);
    link.m_nInterfaceType = -1;

    bool connected = false;
    bool failed = false;   // a failure already reported (the port is closed)
    auto fail = [&](uint32_t text) {
        shared->ShowWarningUnlessClosing(shared->Text(text));
        link.CloseComPort();
        connected = false;
        link.m_nPortInUse = -1;
        failed = true;
    };

    if (!link.OpenComPort(name, 1)) {
        link.m_nPortInUse = -1;
        failed = true;   // no message of its own: text 107 says it all
    }

    if (!failed) {
        link.m_bBusy = 1;
        QByteArray reply;
        bool accepted = false;
        for (int i = 0; i < kIdentifyTries && !accepted && !shared->shutdown.load(); ++i) {
            reply = link.SendTelegram('H', {}, 1);
            accepted = reply.size() == 8 && reply.startsWith("KTMQ");
        }

        if (shared->shutdown.load()) {
            // The program is closing: no second try at the other rate.
            link.CloseComPort();
            link.m_nPortInUse = -1;
            failed = true;
        } else if (!accepted) {
            // Perhaps a desk reader, which listens at 9600 bit/s only.
            link.CloseComPort();
            if (!link.OpenComPort(name, 2)) {
                fail(105);
            } else {
                const QByteArray desk = link.SendTelegram('H', {}, 2);
                if (desk == "KTMQ32") {
                    link.m_nPortInUse = int(port);
                    link.m_nInterfaceType = 0;
                    const QByteArray master = link.SendTelegram('G', "00", 2);
                    if (master.size() == 10) {
                        std::lock_guard<std::mutex> lock(shared->fieldMutex);
                        shared->masterTransponder = master;
                    }
                    connected = true;
                } else if (desk == "KTMQ31") {
                    link.m_nPortInUse = int(port);
                    link.m_nInterfaceType = 3;
                    connected = true;
                } else {
                    link.CloseComPort();
                }
            }
        } else {
            const QByteArray identity = reply.left(reply.size() - 2);   // checksum not examined
            int type = -1;
            if (identity == "KTMQ18")
                type = 1;
            else if (identity == "KTMQ17")
                type = 2;
            else if (identity == "KTMQ27")
                type = 4;
            if (type < 0) {
                // An unknown bus device: nothing to talk to. Closing the port lets the next
                // start try again instead of finding the port still open.
                link.CloseComPort();
            } else {
                connected = true;
                link.m_nInterfaceType = type;
            }
        }

        // A bus reader: its device ID and its clock.
        const int type = link.m_nInterfaceType.load();
        if (connected && (type == 1 || type == 2 || type == 4)) {
            QByteArray idReply = link.SendTelegram('L', "S0000", 1);
            for (int i = 0; i < kFurtherTries && (idReply.isEmpty() || !link.IsTelegramChecksumOK(idReply)) &&
                            !shared->shutdown.load();
                 ++i)
                idReply = link.SendTelegram('L', "S0000", 1);
            if (idReply.isEmpty() || !link.IsTelegramChecksumOK(idReply)) {
                fail(108);
            } else {
                const QByteArray newId = [&] {
                    std::lock_guard<std::mutex> lock(shared->fieldMutex);
                    shared->deviceId = idReply.mid(4, 20);
                    return shared->newDeviceId;
                }();
                if (idReply.contains("FFFFFFFFFF")) {
                    // A blank slot: the reader gets the ID made for this start.
                    QByteArray w = link.SendTelegram('S', "S0000" + newId, 1);
                    if (w.isEmpty()) {
                        for (int i = 0; i < kFurtherTries && !shared->shutdown.load(); ++i) {
                            w = link.SendTelegram('S', "S0000" + newId, 1);
                            if (Telegram::IsAck(w))
                                break;
                        }
                    }
                    if (w.isEmpty()) {
                        fail(106);
                    } else {
                        std::lock_guard<std::mutex> lock(shared->fieldMutex);
                        shared->deviceId = newId;
                    }
                }
            }
            if (!failed) {
                QByteArray clock = BuildClockData();
                if (clock.isEmpty()) {
                    fail(105);
                } else {
                    QByteArray r = link.SendTelegram('S', clock, 1);
                    for (int i = 0; i < kFurtherTries && !Telegram::IsAck(r) && !shared->shutdown.load(); ++i) {
                        clock = BuildClockData();
                        if (clock.isEmpty())
                            break;
                        r = link.SendTelegram('S', clock, 1);
                    }
                    if (clock.isEmpty())
                        fail(105);
                    else if (!Telegram::IsAck(r))
                        fail(106);
                }
            }
        }
        if (!failed)
            link.PurgePort();
    }
    if (failed)
        connected = false;

    link.m_nReady = 1;
    shared->Send([connected](CLinkController& c) { c.OnConnectResult(connected); });
    if (!connected) {
        // Only while no newer attempt has begun: the message below may stay open for long,
        // and the user may have started the next attempt meanwhile.
        if (shared->connectGeneration.load() == attempt)
            link.m_nPortInUse = -1;
        shared->ShowWarningUnlessClosing(shared->Text(107));
    }
}

QByteArray CLinkController::WeekdayCode(const QByteArray& weekdayName)
{
    static const char* const names[7][2] = {
        {"Monday", "Montag"}, {"Tuesday", "Dienstag"}, {"Wednesday", "Mittwoch"}, {"Thursday", "Donnerstag"},
        {"Friday", "Freitag"}, {"Saturday", "Samstag"}, {"Sunday", "Sonntag"},
    };
    for (int day = 0; day < 7; ++day)
        for (const char* name : names[day])
            if (weekdayName.contains(name))
                return QByteArray::number(day + 1).rightJustified(2, '0');
    return {};
}

QByteArray CLinkController::BuildClockData(const QDateTime& now, const QByteArray& weekdayName)
{
    const QByteArray text = LocalTimeText(now);   // DD-MM-YYYY/hh:mm:ss.mmm
    const qsizetype n = text.size();
    const QByteArray weekday = WeekdayCode(weekdayName);
    if (weekday.isEmpty())
        return {};
    return "U0000" + text.mid(n - 6, 2) + text.mid(n - 9, 2) + text.mid(n - 12, 2) + weekday + text.mid(0, 2) +
           text.mid(3, 2) + text.mid(8, 2);
}

QByteArray CLinkController::BuildClockData()
{
    const QDateTime now = QDateTime::currentDateTime();
    return BuildClockData(now, WeekdayName(now.date()));
}

void CLinkController::SetWeekdayNameSource(std::function<QByteArray(const QDate&)> source)
{
    std::lock_guard<std::mutex> lock(g_weekdayMutex);
    g_weekdaySource = std::move(source);
}

void CLinkController::OnConnectResult(bool connected)
{
    if (connected) {
        const int generation = ++m_shared->monitorGeneration;
        std::shared_ptr<Shared> shared = m_shared;
        try {
            Launch(m_monitorWorker, "monitor", [shared, generation] { MonitorWorker(shared, generation); });
        } catch (const std::system_error&) {
            // Nobody would serve the mailbox or notice the reader going away: a link that
            // only looked online. Say so and go offline.
            CSerialLink& link = m_shared->link;
            link.CloseComPort();
            link.m_bBusy = 0;
            m_shared->online = 0;
            ShowWarning(Text(107));
            emit ConnectProgressHide();
            emit ConnectResult(false);
            return;
        }
        m_shared->link.m_bBusy = 0;
        m_shared->online = 1;
        QMetaObject::invokeMethod(this, [this] { emit ReaderOnline(); }, Qt::QueuedConnection);
    } else {
        m_shared->online = 0;
    }
    emit ConnectProgressHide();
    emit ConnectResult(connected);
}

// ---- online ----

void CLinkController::MonitorWorker(const std::shared_ptr<Shared>& shared, int generation)
{
    CSerialLink& link = shared->link;
    const QByteArray& poll = Telegram::PollTelegram();
    // The stop request of the closing that came before this start still stands here; only a
    // shutdown or a newer monitor cut the first wait short.
    for (int waited = 0; waited < kMonitorStartDelayMs; waited += 10) {
        if (shared->shutdown.load() || shared->monitorGeneration.load() != generation)
            return;
        std::this_thread::sleep_for(10ms);
    }
    int unanswered = 0;      // polls in a row given up without a reply
    bool awaiting = false;   // the monitor wrote a telegram whose reply has not come yet
    std::chrono::steady_clock::time_point answerBy;
    bool readPending = false;
    link.m_nStopRequest = 0;
    link.m_nReady = 1;

    // The GUI thread may be waiting in the mailbox for this very worker: a caller waiting
    // there goes first, and the announcement is shown once the GUI thread is free again.
    auto announce = [&](const QByteArray& number) {
        shared->Send([number](CLinkController& c) { c.OnTransponderSeen(number); },
                     [&link] { return link.MailboxWaiters() > 0; });
    };
    uint64_t inFlight = 0;   // ticket of the mailbox frame written last and not yet answered
    uint32_t holdsSeen = link.m_bBusy.TimesRaised();

    Telegram::FrameCollector frame;
    bool longWait = false;   // the port waits 2 s for each byte: a frame is open
    while (!shared->MonitorShouldStop(generation)) {
        frame.Clear();
        bool readSomething = false;

        // Reads bytes until a frame is complete, a read fails or no byte comes; the bus
        // reader's pass also keeps the lost-connection count and the ready flag.
        // A frame given up half-read must not leave the long wait of an open frame behind:
        // every empty read would then take 2 s, and a reader that fell silent would be given
        // up for lost only after many minutes.
        auto dropFrame = [&] {
            if (longWait)
                link.SetReadTotalConstant(10);
            longWait = false;
            frame.Clear();
        };
        auto receive = [&](bool bus) {
            uint8_t byte = 0;
            const uint32_t holdsBefore = link.m_bBusy.TimesRaised();
            for (;;) {
                // A reader operation holds the port for its own exchanges: its replies are not
                // the monitor's to read, and a byte taken from one would leave the monitor
                // waiting for the rest of a frame that never comes.
                if (bus && link.m_bBusy.load() != 0) {
                    dropFrame();
                    return;
                }
                const int r = link.ReadByte(byte);
                if (r < 0)
                    return;
                readSomething = true;
                // The read may have begun before an operation's hold and ended after it: the
                // byte can be the tail of that operation's reply.
                if (bus && (link.m_bBusy.load() != 0 || link.m_bBusy.TimesRaised() != holdsBefore)) {
                    dropFrame();
                    return;
                }
                if (bus) {
                    if (link.m_nPause.load() == 1)
                        return;
                    link.m_nReady = 0;
                }
                if (r == 0) {
                    // A frame that stopped for the whole wait within it will not be completed.
                    if (longWait)
                        dropFrame();
                    return;
                }
                switch (frame.Feed(byte)) {
                case Telegram::FrameCollector::Byte::Start:
                    link.SetReadTotalConstant(2000);
                    longWait = true;
                    break;
                case Telegram::FrameCollector::Byte::End:
                case Telegram::FrameCollector::Byte::StrayEnd:
                    link.SetReadTotalConstant(10);
                    longWait = false;
                    return;
                case Telegram::FrameCollector::Byte::Dropped:
                    link.SetReadTotalConstant(10);   // no frame is open any more
                    longWait = false;
                    break;
                case Telegram::FrameCollector::Byte::Data:
                    break;
                }
                // Bytes that never make a frame (noise) do not keep an unanswered telegram alive.
                if (bus && awaiting && !longWait && std::chrono::steady_clock::now() >= answerBy)
                    return;
            }
        };
        auto wrote = [&](uint64_t ticket) {
            inFlight = ticket;
            awaiting = true;
            answerBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(link.ExchangeWaitMs());
        };

        const int type = link.m_nInterfaceType.load();
        if (type == 0 || type == 3) {
            // A desk reader talks by itself; the mailbox needs no turn.
            uint64_t ticket = 0;
            const QByteArray out = link.TakeOutgoing(&ticket);
            if (!out.isEmpty()) {
                link.PurgeReceive();
                link.WritePort(out);
                inFlight = ticket;
            }
            receive(false);
            if (frame.Complete()) {
                const QByteArray& text = frame.Text();
                // An 11-character frame is the reader's own tag frame, never a reply.
                const QByteArray tag = Telegram::DeskFrameTag(text);
                if (!tag.isEmpty() && link.m_nCapture.load() == 0)
                    announce(tag);
                link.StoreFrame(text, tag.isEmpty() ? std::exchange(inFlight, 0) : 0);
            }
        } else if ((type == 1 || type == 2 || type == 4) && link.m_bBusy.load() == 0) {
            // A reader operation held the port since the last pass. If a poll or mailbox frame
            // was still unanswered, its reply went to that operation (or the operation's own
            // purge): waiting on would only run the lost-connection count up, so the monitor
            // starts afresh. A mailbox caller still waiting runs into its own time-out.
            if (const uint32_t holds = link.m_bBusy.TimesRaised(); holds != holdsSeen) {
                holdsSeen = holds;
                dropFrame();
                // The operation's own exchanges tell whether the reader is there.
                unanswered = 0;
                if (awaiting || link.m_nReady.load() == 0) {
                    awaiting = false;
                    readPending = false;
                    inFlight = 0;
                    link.m_nReady = 1;
                }
                continue;   // the busy flag may be up again; look at it first
            }
            const bool queued = link.HasOutgoing();
            // A mailbox caller lowers the ready flag so that its frame follows the reply to the
            // poll in progress; with nothing in progress it goes out at once.
            const bool mayWrite = link.m_nReady.load() == 1 || !awaiting;
            if (queued && mayWrite) {
                uint64_t ticket = 0;
                const QByteArray out = link.TakeOutgoing(&ticket);
                if (out.mid(3, 2) == "LT")
                    readPending = true;   // its reply is a stored transponder, not a tag
                link.m_nReady = 0;
                link.PurgeReceive();
                link.WritePort(out);
                wrote(ticket);
            } else if (!queued && mayWrite) {
                if (!shared->MonitorSleep(kPollPauseMs, generation))
                    continue;
                // A reader operation may have taken the port during the pause; a poll now
                // would mix its reply into that operation's exchange.
                if (link.m_bBusy.load() != 0)
                    continue;
                link.PurgeReceive();
                link.m_nReady = 0;
                link.WritePort(poll);
                wrote(0);
            }
            if (link.m_nPause.load() == 0) {
                receive(true);
                if (frame.Complete()) {
                    const QByteArray& text = frame.Text();
                    awaiting = false;
                    unanswered = 0;
                    // A poll reply echoes "CT"; it answers no mailbox caller.
                    const bool pollReply = text.mid(2, 2) == "CT";
                    const uint64_t answers = pollReply ? 0 : std::exchange(inFlight, 0);
                    switch (Telegram::CheckBusReply(text)) {
                    case Telegram::BusReply::NoTag:
                        break;   // no transponder in the field
                    case Telegram::BusReply::Accepted: {
                        const QByteArray tag = Telegram::BusReplyTag(text);
                        if (!tag.isEmpty() && !readPending && !link.HasOutgoing())
                            announce(tag);
                        link.StoreFrame(text, answers);
                        if (!pollReply)
                            readPending = false;
                        break;
                    }
                    case Telegram::BusReply::ChecksumError:
                        link.StoreFrame("CRC_ERROR", answers);
                        break;
                    }
                    link.m_nReady = 1;
                } else if (awaiting && !longWait && std::chrono::steady_clock::now() >= answerBy) {
                    // Given up: a waiting mailbox caller hears "no reply" now, and the monitor
                    // writes the next telegram; only several polls in a row lose the reader.
                    awaiting = false;
                    readPending = false;
                    link.m_nReady = 1;
                    if (inFlight != 0)
                        link.StoreNoReply(std::exchange(inFlight, 0));
                    else if (++unanswered == kLostAfterUnanswered)
                        shared->Post([](CLinkController& c) { c.OnConnectionLost(); });
                }
            } else if (awaiting) {
                // Nothing is read while paused: the wait for the reply begins when reading does.
                answerBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(link.ExchangeWaitMs());
            }
        }
        if (!readSomething)
            shared->MonitorSleep(kIdlePassMs, generation);
    }
}

void CLinkController::OnTransponderSeen(const QByteArray& number)
{
    QString display = Text(201) + QString::fromLatin1(number);
    if (number == MasterTransponder())
        display += QStringLiteral(" ==> MASTER");
    emit TagDisplayChanged(display);
    m_tagTimer.start();
    emit TransponderSeen(number);
}

void CLinkController::OnTagDisplayTimer()
{
    m_tagTimer.stop();
    emit TagDisplayChanged(Text(201));
}

void CLinkController::OnConnectionLost()
{
    CSerialLink& link = m_shared->link;
    link.m_nStopRequest = 1;
    link.CloseComPort();
    link.m_nInterfaceType = -1;
    link.m_nPortInUse = -1;
    m_shared->online = 0;
    ShowWarning(Text(114) + Text(14));
    emit ConnectionLost();
}
