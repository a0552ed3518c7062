#include "readers/EventReading.h"

#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "base/ThreadInbox.h"
#include "link/CSerialLink.h"
#include "readers/ReaderModel.h"
#include "records/CStoreConnectionScope.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/StoreMaintenance.h"
#include "texts/CLanguageHandler.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// A poll of the monitor worker may still be on the line when the busy flag goes up; its reply
// is over within a few milliseconds, and the first query should not have to share the port.
constexpr auto kSettle = std::chrono::milliseconds(30);

QString Text(const CLanguageHandler* lang, uint32_t number)
{
    return lang ? lang->GetLangItem(number) : QString();
}

// The monitor worker may talk to the bus reader again.
void GiveBackPort(CSerialLink& link)
{
    link.m_nReady = 1;
    link.ClearOutgoing();
    link.m_bBusy = 0;
}

void TakePort(CSerialLink& link)
{
    link.m_nReady = 0;
    link.m_bBusy = 1;
}

// The event pointer, asked up to kPointerTries times; -1 without a valid reply. The caller
// holds the port.
int QueryEventPointer(CSerialLink& link)
{
    int pointer = -1;
    for (int attempt = 0; attempt < CEventReadRun::kPointerTries && pointer < 0; ++attempt)
        pointer = EventDecoding::EventPointerFromReply(link.SendTelegram('L', EventDecoding::kPointerQueryData, 1));
    return pointer;
}

std::optional<EventDecoding::Event> QueryEvent(CSerialLink& link, int number)
{
    return EventDecoding::DecodeEventReply(link.SendTelegram('L', EventDecoding::EventQueryData(number), 1));
}

// One event record for a decoded event; a store error has been shown when it fails.
RecordResult StoreEvent(CtblEvents* events, const CLanguageHandler* lang, const EventReadRequest& request,
                        const EventDecoding::Event& event)
{
    return AddRecord(
        events,
        [&](structEvents& e) {
            e.TransponderNo = event.transponderNo;
            e.Date = event.date;
            e.Time = event.time;
            e.ClassCode = event.eventClass.code;
            e.ClassText = Text(lang, event.eventClass.textNo);
            e.DetailCode = event.detail.code;
            e.DetailText = Text(lang, event.detail.textNo);
            e.ReaderID = request.readerId;
            e.ReaderName = request.readerName;
        },
        nullptr, PromptIcon::Warning);
}

} // namespace

struct CEventReadRun::Shared {
    CSerialLink* link = nullptr;
    CStoreDB_Handler* store = nullptr;
    const CLanguageHandler* lang = nullptr;
    std::atomic<bool> stop{false};

    // The owner, reachable from the worker only through Post; null once the owner is gone.
    // Reports run on the thread that made the run (made there, like the Shared itself).
    std::mutex gateMutex;
    CEventReadRun* owner = nullptr;
    CThreadInbox& inbox = CThreadInbox::OfThisThread();

    mutable std::mutex runMutex;
    mutable std::condition_variable runCond;
    bool running = false;

    // Runs fn(owner) on the owner's thread, if the owner still exists.
    template <class F>
    void Post(F fn)
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        if (CEventReadRun* o = owner)
            inbox.Post(o, [o, fn] { fn(o); });
    }
    void Finish(const EventReadResult& result)
    {
        Post([result](CEventReadRun* o) { emit o->Finished(result); });
        std::lock_guard<std::mutex> lock(runMutex);
        running = false;
        runCond.notify_all();
    }
};

CEventReadRun::CEventReadRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang, QObject* parent)
    : QObject(parent), m_link(link), m_store(store), m_lang(lang)
{
    qRegisterMetaType<EventReadResult>();
}

CEventReadRun::~CEventReadRun()
{
    if (!m_shared)
        return;
    Stop();
    WaitFinished(kStopWaitMs);
    std::lock_guard<std::mutex> lock(m_shared->gateMutex);
    m_shared->owner = nullptr;
    m_shared->inbox.Discard(this);
}

bool CEventReadRun::IsRunning() const
{
    if (!m_shared)
        return false;
    std::lock_guard<std::mutex> lock(m_shared->runMutex);
    return m_shared->running;
}

bool CEventReadRun::WaitFinished(int ms) const
{
    if (!m_shared)
        return true;
    std::unique_lock<std::mutex> lock(m_shared->runMutex);
    return m_shared->runCond.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_shared->running; });
}

void CEventReadRun::Stop()
{
    if (m_shared)
        m_shared->stop = true;
}

bool CEventReadRun::Start(const EventReadRequest& request)
{
    if (IsRunning())
        return false;
    if (m_shared) {
        // The previous worker has ended; it keeps its own state, this run gets a new one.
        std::lock_guard<std::mutex> lock(m_shared->gateMutex);
        m_shared->owner = nullptr;
    }
    auto shared = std::make_shared<Shared>();
    shared->link = &m_link;
    shared->store = &m_store;
    shared->lang = m_lang;
    shared->owner = this;
    shared->running = true;
    m_shared = shared;

    TakePort(m_link);
    try {
        std::thread(&CEventReadRun::Worker, shared, request, ReaderRuns::Begin()).detach();
    } catch (const std::system_error&) {
        GiveBackPort(m_link);
        {
            std::lock_guard<std::mutex> lock(shared->runMutex);
            shared->running = false;
        }
        EventReadResult result;
        result.outcome = EventReadResult::NotStarted;
        emit Finished(result);
        return false;
    }
    return true;
}

void CEventReadRun::Worker(const std::shared_ptr<Shared>& shared, EventReadRequest request, ReaderRuns::Token token)
{
    CSerialLink& link = *shared->link;
    CtblEvents* events = shared->store->Get_Ptr_To_tblEvents();
    // One connection for the whole run, not one per stored event.
    std::optional<CStoreConnectionScope> keepConnection(std::in_place, shared->store);
    EventReadResult result;
    const auto end = [&](EventReadResult::Outcome outcome) {
        result.outcome = outcome;
        result.stopped = shared->stop.load();
        if (outcome != EventReadResult::NoPointer && outcome != EventReadResult::Empty)
            events->_Requery();   // the new list reaches the owner's thread before Finished does
        keepConnection.reset();
        token.Release();          // the store is no longer used
        GiveBackPort(link);
        shared->Finish(result);
    };

    TakePort(link);
    std::this_thread::sleep_for(kSettle);

    // How far to read.
    int last = -1;
    if (request.readToPointer) {
        last = QueryEventPointer(link);
        if (last < 0)
            return end(EventReadResult::NoPointer);
    } else {
        last = ReaderModel::LastEventNumber(request.model);
    }
    if (last < 0 || last == EventDecoding::kPointerEmpty)
        return end(EventReadResult::Empty);
    result.lastEvent = last;
    shared->Post([last](CEventReadRun* o) { emit o->LastEventKnown(last); });

    // The table must be there before the reader is asked for anything.
    if (!events->Open())
        return end(EventReadResult::OpenFailed);
    events->Close();

    const bool filter = request.dateFilter;
    int failures = 0;
    for (int i = 0; i <= last && !shared->stop.load();) {
        TakePort(link);
        const int position = i + 1;
        shared->Post([position](CEventReadRun* o) { emit o->Progress(position); });

        const std::optional<EventDecoding::Event> event = QueryEvent(link, i);
        if (!event) {
            // The same event is asked for again, up to the limit.
            if (++failures >= request.maxFailures)
                return end(EventReadResult::ReaderFailed);
            continue;
        }
        failures = 0;
        ++i;
        if (filter && !EventDecoding::PassesDateFilter(*event, request.fromDate, request.toDate))
            continue;

        if (StoreEvent(events, shared->lang, request, *event) != RecordResult::Done)
            return end(EventReadResult::StoreError);   // AddRecord has shown why
        ++result.stored;
    }
    end(EventReadResult::Done);
}

void CEventReadRun::Report(const EventReadResult& result, const CLanguageHandler* lang)
{
    switch (result.outcome) {
    case EventReadResult::NoPointer:
        ShowError(Text(lang, 141));
        return;
    case EventReadResult::Empty:
        ShowError(Text(lang, 190));
        return;
    case EventReadResult::NotStarted:
        ShowError(Text(lang, 227));
        return;
    case EventReadResult::OpenFailed:
        ShowError(Text(lang, 83) + QLatin1Char('\n') + Text(lang, 84));
        break;
    case EventReadResult::ReaderFailed:
        ShowError(Text(lang, 169));
        break;
    case EventReadResult::StoreError:
    case EventReadResult::Done:
        break;
    }
    // After a failure of the reader the count is 0, as the reader gave no complete account;
    // the events stored before it stay in the table all the same.
    const int count = result.outcome == EventReadResult::ReaderFailed || result.outcome == EventReadResult::OpenFailed
                          ? 0 : result.stored;
    Prompt().ShowMessage(Text(lang, 200).replace(QLatin1String("%d"), QString::number(count)));
}

EventReadRequest EventReadRequestFor(const CtblLeser& readers, const QString& readerName, int model)
{
    EventReadRequest request;
    for (int i = 0; i < readers.GetAnz_Leser(); ++i)
        if (readers.Get_Leser(i).Name == readerName) {
            request.readerId = readers.Get_Leser(i).ID;
            break;
        }
    request.readerName = readerName;
    request.model = model;
    return request;
}

// ---------------------------------------------------------------- emptying the reader's memory

namespace ReaderEvents {

bool IsClearAcknowledged(const QByteArray& reply)
{
    return reply.size() == 7 && reply.at(4) == '\x06';
}

namespace {

bool SendClear(CSerialLink& link)
{
    bool acknowledged = false;
    for (int attempt = 0; attempt < kClearTries && !acknowledged; ++attempt)
        acknowledged = IsClearAcknowledged(link.SendTelegram('S', QByteArrayLiteral("P0003FFFF"), 1));
    return acknowledged;
}

// The last step of every clearing, with the port held: the events stored so far made durable,
// the pointer asked once more, and the memory emptied only when it still ends at `expected`.
// Nothing happens between the pointer's reply and the clear telegram but the telegram itself.
ClearResult ClearHeldIfPointerIs(CSerialLink& link, CStoreDB_Handler& store, int expected)
{
    ClearResult result;
    if (!StoreMaintenance::CommitDurably(store, &result.why)) {
        result.outcome = ClearResult::NotDurable;
        return result;
    }
    result.pointer = QueryEventPointer(link);
    if (result.pointer < 0)
        result.outcome = ClearResult::NoPointer;
    else if (result.pointer != expected)
        result.outcome = ClearResult::Changed;
    else
        result.outcome = SendClear(link) ? ClearResult::Cleared : ClearResult::Failed;
    return result;
}

} // namespace

bool ClearEventPointer(CSerialLink& link)
{
    TakePort(link);
    std::this_thread::sleep_for(kSettle);
    const bool acknowledged = SendClear(link);
    link.m_nReady = 1;
    link.m_bBusy = 0;
    return acknowledged;
}

int ReadEventPointer(CSerialLink& link)
{
    TakePort(link);
    std::this_thread::sleep_for(kSettle);
    const int pointer = QueryEventPointer(link);
    GiveBackPort(link);
    return pointer;
}

ClearResult ClearIfPointerIs(CSerialLink& link, CStoreDB_Handler& store, int expected)
{
    TakePort(link);
    std::this_thread::sleep_for(kSettle);
    const ClearResult result = ClearHeldIfPointerIs(link, store, expected);
    GiveBackPort(link);
    return result;
}

ClearResult CatchUpAndClear(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang,
                            const EventReadRequest& request, int lastRead)
{
    TakePort(link);
    std::this_thread::sleep_for(kSettle);
    CtblEvents* events = store.Get_Ptr_To_tblEvents();
    ClearResult result;
    for (int round = 0;; ++round) {
        const int stored = result.stored;
        result = ClearHeldIfPointerIs(link, store, lastRead);
        result.stored = stored;
        // Only events that came in after the last one read can be fetched: a pointer that went
        // back (or an emptied memory) means someone else changed the reader.
        if (result.outcome != ClearResult::Changed || result.pointer < lastRead ||
            result.pointer == EventDecoding::kPointerEmpty || round == kCatchUpRounds)
            break;
        int failures = 0;
        for (int i = lastRead + 1; i <= result.pointer;) {
            TakePort(link);
            const std::optional<EventDecoding::Event> event = QueryEvent(link, i);
            if (!event) {
                if (++failures >= request.maxFailures) {
                    result.outcome = ClearResult::ReaderFailed;
                    break;
                }
                continue;
            }
            failures = 0;
            if (StoreEvent(events, lang, request, *event) != RecordResult::Done) {
                result.outcome = ClearResult::StoreError;
                break;
            }
            ++result.stored;
            lastRead = i++;
        }
        if (result.outcome != ClearResult::Changed)
            break;
    }
    if (result.stored > 0)
        events->_Requery();
    GiveBackPort(link);
    return result;
}

bool ReportClear(const ClearResult& result, const CLanguageHandler* lang)
{
    switch (result.outcome) {
    case ClearResult::Cleared:
        return true;
    case ClearResult::Changed:
        ShowWarning(Text(lang, 301));
        break;
    case ClearResult::NoPointer:
    case ClearResult::ReaderFailed:
        ShowError(Text(lang, 141));
        break;
    case ClearResult::NotDurable:
        ShowError(Text(lang, 302) + QStringLiteral("\n\n") + result.why);
        break;
    case ClearResult::Failed:
        ShowError(Text(lang, 161));
        break;
    case ClearResult::StoreError:
        break;   // shown by the store already
    }
    return false;
}

} // namespace ReaderEvents
