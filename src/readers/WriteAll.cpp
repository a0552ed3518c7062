#include "readers/WriteAll.h"

#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "base/ThreadInbox.h"
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "readers/LinkTurn.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"
#include "records/ChangeNotice.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <mutex>
#include <system_error>
#include <thread>

namespace WriteAll {

namespace {

QByteArray Hex4(uint64_t value)
{
    return QByteArray::number(qulonglong(value), 16).toUpper().rightJustified(4, '0');
}

// HHMM as the reader wants it: minutes first.
QByteArray MinutesHours(const QString& hhmm)
{
    return (hhmm.mid(2, 2) + hhmm.left(2)).toLatin1();
}

QString Text(const CLanguageHandler* lang, uint32_t number)
{
    return lang ? lang->GetLangItem(number) : QString();
}

} // namespace

QByteArray CountData(int count)
{
    return "P0002" + Hex4(uint64_t(count));
}

QByteArray SlotData(int slot, const QString& number)
{
    return "T" + Hex4(uint64_t(slot)) + number.toLatin1();
}

QByteArray DayMask(const structZeitschema& w)
{
    // Sunday is the top bit, then Saturday down to Monday; the lowest bit is always clear.
    QString bits;
    for (int day : {0, 6, 5, 4, 3, 2, 1})
        bits += w.Day[day] ? QLatin1Char('1') : QLatin1Char('0');
    bits += QLatin1Char('0');
    return BinTextToHex(bits).toLatin1();
}

QByteArray WindowData(int index, const structZeitschema& w)
{
    return "Z" + Hex4(uint64_t(index)) + DayMask(w) + MinutesHours(w.From) + MinutesHours(w.To);
}

QList<QByteArray> ScheduleWindows(const CtblZeitschema& windows, int32_t scheduleId, int firstIndex)
{
    // A schedule is four consecutive windows and its ID is that of the first: only an ID at
    // a multiple of four heads a schedule.
    const int head = windows.IndexOf(scheduleId);
    if (head < 0 || head % 4 != 0 || head + 3 >= windows.GetAnz_Zeitschema())
        return {};
    QList<QByteArray> out;
    for (int k = 0; k < 4; ++k)
        out << WindowData(firstIndex + k, windows.Get_Zeitschema(head + k));
    return out;
}

QByteArray Param0Data(const QString& params)
{
    uint64_t value = 0;
    HexTextToNumber(params.trimmed(), value);
    return "P0000" + Hex4(value);
}

QByteArray Param1Data(const QString& switchTime)
{
    return "P0001" + Hex4(switchTime.trimmed().toULongLong());
}

Plan Prepare(CStoreDB_Handler& store, const QString& readerName, int model)
{
    // What goes into the reader is what the database holds now, whoever changed it last.
    CChangeNotice::CatchUp(&store);
    Plan plan;
    plan.model = model;
    const CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i) {
        const structLeser& r = readers->Get_Leser(i);
        if (r.Name == readerName) {
            plan.readerId = r.ID;
            plan.params = r.Params;
            plan.switchTime = r.SwitchTime;
            break;
        }
    }

    const CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    const CtblZeitschema* windows = store.Get_Ptr_To_tblZeitschema();
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i) {
        const structTransponder& t = transponders->Get_Transponder(i);
        if (!HasReader(t.Readers, plan.readerId))
            continue;
        plan.transponders << t.Number;
        plan.schedules << t.ScheduleID;
        // A schedule that does not exist takes no window numbers.
        plan.windows << ScheduleWindows(*windows, t.ScheduleID, int(plan.windows.size()));
    }
    return plan;
}

bool CheckCapacity(const Plan& plan, const CLanguageHandler* lang)
{
    const int capacity = ReaderModel::TransponderCapacity(plan.model);
    if (capacity < 0)
        return false;
    if (plan.transponders.size() <= capacity)
        return true;
    const uint32_t text = plan.model == ReaderModel::Cedar ? 214 : plan.model == ReaderModel::Maple ? 215 : 236;
    ShowError(Text(lang, text));
    return false;
}

QString EndText(const CLanguageHandler* lang, int written)
{
    QString text = Text(lang, 240);
    const qsizetype at = text.indexOf(QLatin1String("%d"));
    if (at >= 0)
        text.replace(at, 2, QString::number(written));
    return text;
}

} // namespace WriteAll

// ---------------------------------------------------------------- the run

struct CWriteAllRun::State {
    State(CSerialLink& l, CStoreDB_Handler& s, const CLanguageHandler* t, WriteAll::Plan p)
        : link(l), store(s), lang(t), plan(std::move(p))
    {
    }

    CSerialLink& link;
    CStoreDB_Handler& store;
    const CLanguageHandler* lang;
    const WriteAll::Plan plan;

    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    std::atomic<bool> completed{false};
    std::thread thread;

    // The run object, while it exists. Reports go to it as queued calls made under this lock,
    // so none is posted once the destructor has cleared it (and Qt drops the ones still
    // queued for an object that is gone).
    std::mutex gate;
    CWriteAllRun* owner = nullptr;
    CThreadInbox& inbox = CThreadInbox::OfThisThread();   // the thread that made the run

    template <class F>
    void Report(F&& call)
    {
        std::lock_guard lock(gate);
        if (owner)
            inbox.Post(owner, [o = owner, call = std::forward<F>(call)] { call(o); });
    }

    enum class Sent { Acked, Unacked, Stopped };
    Sent SendUntilAck(LinkTurn& turn, const QByteArray& data, bool patient);
    Sent SendParameter(LinkTurn& turn, const QByteArray& data);
    int Work();
};

CWriteAllRun::State::Sent CWriteAllRun::State::SendUntilAck(LinkTurn& turn, const QByteArray& data, bool patient)
{
    for (int i = 0; i < WriteAll::kTries; ++i) {
        if (stop.load())
            return Sent::Stopped;
        turn.Hold();
        if (Telegram::IsAck(link.SendTelegram('S', data, 1)))
            return Sent::Acked;
    }
    if (!patient)
        return Sent::Unacked;
    // A reader busy storing what it got may need a moment before it takes more.
    for (int i = 0; i < WriteAll::kPatientTries; ++i) {
        for (int waited = 0; waited < WriteAll::kPatientPauseMs && !stop.load(); waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (stop.load())
            return Sent::Stopped;
        turn.Hold();
        if (Telegram::IsAck(link.SendTelegram('S', data, 1)))
            return Sent::Acked;
    }
    return Sent::Unacked;
}

CWriteAllRun::State::Sent CWriteAllRun::State::SendParameter(LinkTurn& turn, const QByteArray& data)
{
    // Always the full number of sends: the readers take a parameter reliably only that way.
    bool acked = false;
    for (int i = 0; i < WriteAll::kParamSends; ++i) {
        if (stop.load())
            return Sent::Stopped;
        turn.Hold();
        const QByteArray reply = link.SendTelegram('S', data, 1);
        if (reply.size() == 7 && Telegram::IsAck(reply))
            acked = true;
    }
    return acked ? Sent::Acked : Sent::Unacked;
}

int CWriteAllRun::State::Work()
{
    LinkTurn turn(link);
    const int n = int(plan.transponders.size());
    const int m = int(plan.windows.size());
    const auto failed = [this](Sent sent) {
        if (sent == Sent::Unacked)
            ShowError(lang ? lang->GetLangItem(141) : QString());
        return 0;
    };

    Sent sent = SendUntilAck(turn, WriteAll::CountData(n), false);
    if (sent != Sent::Acked)
        return failed(sent);

    for (int i = 0; i < n; ++i) {
        Report([i](CWriteAllRun* o) { emit o->Progress(i + 1); });
        sent = SendUntilAck(turn, WriteAll::SlotData(i, plan.transponders[i]), true);
        if (sent != Sent::Acked)
            return failed(sent);
    }

    const QString label = QLatin1Char('\n') + (lang ? lang->GetLangItem(187) : QString());
    Report([label](CWriteAllRun* o) { emit o->LabelChanged(label); });
    for (int j = 0; j < m; ++j) {
        Report([n, j](CWriteAllRun* o) { emit o->Progress(n + j); });
        sent = SendUntilAck(turn, plan.windows[j], true);
        if (sent != Sent::Acked)
            return failed(sent);
    }

    for (const QByteArray& data : {WriteAll::Param0Data(plan.params), WriteAll::Param1Data(plan.switchTime)}) {
        sent = SendParameter(turn, data);
        if (sent != Sent::Acked)
            return failed(sent);
    }

    // Everything is in the reader: only now is it no longer "changed".
    const RecordResult stored = EditRecordById(
        store.Get_Ptr_To_tblLeser(), plan.readerId, [](structLeser& r) { r.Changed = 0; }, PromptIcon::Warning);
    if (stored == RecordResult::OpenFailed || stored == RecordResult::StoreError)
        return 0;
    store.Get_Ptr_To_tblLeser()->_Requery();
    completed = true;
    return n;
}

CWriteAllRun::CWriteAllRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang,
                           WriteAll::Plan plan, QObject* parent)
    : QObject(parent)
    , m_state(std::make_shared<State>(link, store, lang, std::move(plan)))
{
    m_state->owner = this;
}

CWriteAllRun::~CWriteAllRun()
{
    {
        std::lock_guard lock(m_state->gate);
        m_state->owner = nullptr;
        m_state->inbox.Discard(this);
    }
    m_state->stop = true;
    if (!m_state->thread.joinable())
        return;
    // The worker leaves at its next telegram; one exchange with a silent reader takes up to
    // two seconds, and the window that closes does not wait that long for it.
    for (int waited = 0; waited < 1500 && m_state->running.load(); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (m_state->running.load())
        m_state->thread.detach();   // it holds its own reference to the state
    else
        m_state->thread.join();
}

bool CWriteAllRun::Start()
{
    if (m_state->thread.joinable())
        return false;
    m_state->stop = false;
    m_state->completed = false;
    m_state->running = true;
    std::shared_ptr<State> state = m_state;
    try {
        m_state->thread = std::thread([state, token = ReaderRuns::Begin()]() mutable {
            const int written = state->Work();
            token.Release();   // the store is no longer used
            state->running = false;
            state->Report([written](CWriteAllRun* o) { emit o->Finished(written); });
        });
    } catch (const std::system_error&) {
        m_state->running = false;
        ShowError(m_state->lang ? m_state->lang->GetLangItem(238) : QString());
        return false;
    }
    return true;
}

void CWriteAllRun::RequestStop()
{
    m_state->stop = true;
}

bool CWriteAllRun::IsRunning() const
{
    return m_state->running.load();
}

bool CWriteAllRun::Completed() const
{
    return m_state->completed.load();
}

int CWriteAllRun::Total() const
{
    return int(m_state->plan.transponders.size() + m_state->plan.windows.size());
}
