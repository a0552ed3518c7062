#pragma once
// Reading a bus reader's event memory into the event table, and emptying that memory.
//
// CEventReadRun is one read run on a worker thread of its own: it keeps the monitor worker off
// the port (ready flag down, busy flag up), asks for the event pointer (unless the run reads
// the whole memory), asks for each event from number 0 up to the last one, decodes it, applies
// the date filter and stores one event record per accepted event. Each record is stored on its
// own, so what was stored stays stored whatever happens later in the run. At the end it
// reloads the event cache, gives the port back to the monitor worker (ready flag up, mailbox
// empty, busy flag down) and reports. No widget code: the reader table shows the progress and
// the end message, a command-line tool can print them.
//
//     CEventReadRun run(link, store, lang);
//     connect(&run, &CEventReadRun::Finished, ...);
//     run.Start(request);              // returns at once
//
// Threads: Start, Stop and the destructor run on the owner's (GUI) thread; the signals arrive
// there, queued. A run whose owner is destroyed is told to stop; the destructor waits up to
// 1500 ms for it to notice (it notices before the next event), and a worker still inside one
// exchange then finishes it on its own and touches nothing of the owner.
#include "base/ReaderRuns.h"
#include "readers/EventDecoding.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;

struct EventReadRequest {
    int32_t readerId = 0;         // ReaderID of the stored events (0 when no record has the name)
    QString readerName;           // ReaderName of the stored events
    int model = 0;                // model number (ReaderModel): how far to read without the pointer
    bool readToPointer = true;    // read up to the event pointer rather than the whole memory
    bool dateFilter = false;
    QString fromDate, toDate;     // DDMMYY, both included
    // Invalid replies in a row after which the run gives up. Each unanswered query waits 2000 ms,
    // so an unplugged reader ends the run after about 50 s with the default.
    int maxFailures = 25;
};

struct EventReadResult {
    enum Outcome {
        Done,            // read to the end (or stopped by the owner): `stored` events stored
        NoPointer,       // no valid event pointer reply in 5 tries (text 141); nothing read
        Empty,           // the event pointer says the memory is empty (text 190)
        NotStarted,      // the worker could not be started (text 227)
        OpenFailed,      // the event table could not be opened (texts 83 and 84)
        ReaderFailed,    // too many invalid replies in a row (text 169)
        StoreError,      // a store error, already shown with its own text
    };
    Outcome outcome = Done;
    int stored = 0;       // events stored by this run
    int lastEvent = -1;   // number of the last event asked for (-1 before it was known)
    bool stopped = false; // the owner stopped the run before its end
};
Q_DECLARE_METATYPE(EventReadResult)

class CtblLeser;
// The request for the reader of that name (the first record with it, case-sensitive; reader
// ID 0 when none has it), reading up to the event pointer without a date filter.
EventReadRequest EventReadRequestFor(const CtblLeser& readers, const QString& readerName, int model);

class CEventReadRun : public QObject {
    Q_OBJECT
public:
    static constexpr int kPointerTries = 5;
    static constexpr int kStopWaitMs = 1500;

    // link, store and lang must outlive the worker (they live as long as the program).
    CEventReadRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang,
                  QObject* parent = nullptr);
    ~CEventReadRun() override;   // stops a running worker and waits up to kStopWaitMs

    // Starts a run; false when one is running already or the worker thread could not be
    // started (then Finished has been emitted with NotStarted and the flags are restored).
    bool Start(const EventReadRequest& request);
    // Asks the worker to end before the next event.
    void Stop();
    bool IsRunning() const;
    // Waits up to ms for the worker to end; true when it has.
    bool WaitFinished(int ms) const;

    // Shows the end of a run to the user, through the prompt: the failure text (141, 190, 227,
    // 83/84, 169) and, when the worker ran, the self-closing message with text 200 and the count.
    static void Report(const EventReadResult& result, const CLanguageHandler* lang);

signals:
    void LastEventKnown(int lastEvent);     // the run will ask for events 0 .. lastEvent
    void Progress(int position);            // asking for event position - 1
    void Finished(const EventReadResult& result);

private:
    struct Shared;
    static void Worker(const std::shared_ptr<Shared>& shared, EventReadRequest request, ReaderRuns::Token token);

    CSerialLink& m_link;
    CStoreDB_Handler& m_store;
    const CLanguageHandler* m_lang;
    std::shared_ptr<Shared> m_shared;
};

// Emptying the event memory of the bus reader at the port: the event pointer is written as
// FFFF (command 'S', "P0003FFFF") up to 5 times until the reader acknowledges with a reply of
// exactly 7 characters carrying ACK at position 4. The monitor worker keeps off meanwhile. The
// events already in the event table are not touched.
//
// A reader goes on recording while it is read: badges presented during a run land behind the
// pointer the run started from. So the memory is emptied only when the pointer, asked again
// right before the clear telegram, still ends at the last event known, and only once the
// events stored so far are on the disk for good (StoreMaintenance::CommitDurably).
namespace ReaderEvents {
inline constexpr int kClearTries = 5;
// Rounds of reading what came in meanwhile before a clearing gives up and leaves the reader.
inline constexpr int kCatchUpRounds = 3;

bool ClearEventPointer(CSerialLink& link);   // unconditionally; true when the reader acknowledged
bool IsClearAcknowledged(const QByteArray& reply);
// The event pointer (kPointerEmpty: no events); -1 without a valid reply in 5 tries.
int ReadEventPointer(CSerialLink& link);

struct ClearResult {
    enum Outcome {
        Cleared,       // the memory is empty
        Changed,       // the pointer no longer ends at the last event known: left as it is
        NoPointer,     // the pointer was not answered: left as it is
        NotDurable,    // the stored events could not be made durable (why): left as it is
        Failed,        // the clear telegram was not acknowledged (text 161)
        ReaderFailed,  // reading what came in failed: left as it is
        StoreError,    // storing what came in failed (shown already): left as it is
    };
    Outcome outcome = Failed;
    int pointer = -1;   // the pointer last answered
    int stored = 0;     // events read and stored on the way (CatchUpAndClear)
    QString why;
};
// The window's clearing: empties the memory when its pointer is still `expected`, the one the
// user was told about.
ClearResult ClearIfPointerIs(CSerialLink& link, CStoreDB_Handler& store, int expected);
// After a run that stored every event up to lastRead: reads and stores what came in since
// (up to kCatchUpRounds times) and empties the memory once nothing new arrived.
ClearResult CatchUpAndClear(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang,
                            const EventReadRequest& request, int lastRead);
// Shows why the memory was not emptied (texts 301, 141, 302, 161); true when it was.
bool ReportClear(const ClearResult& result, const CLanguageHandler* lang);
} // namespace ReaderEvents
