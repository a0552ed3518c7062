#pragma once
// Fetching all data from a Cedar, Maple or Rowan reader: its transponder list is read and the
// database brought in line with it. Widget-free. The telegrams run on a worker thread while the
// calling (GUI) thread waits in a local event loop that takes no user input, so the window and
// the progress window keep repainting but nothing else can be started meanwhile; the database
// passes then run on the calling thread, which owns the cached lists.
//
//   CFetchAllRun run(link, store, lang);
//   connect(&run, &CFetchAllRun::ProgressStarted, ...);   // label, maximum
//   connect(&run, &CFetchAllRun::Progress, ...);
//   connect(&run, &CFetchAllRun::ProgressEnded, ...);     // before any end message
//   run.Run(readerName);
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;

namespace FetchAll {

inline constexpr int kTries = 10;   // for the count and for every slot

// Valid replies: the count ("FFLP" + 4 hex digits + checksum, 10 characters) and a slot
// ("FFLT" + 10-character number + checksum, 16 characters). The checksum must match: these
// numbers go into the database.
bool ParseCount(const QByteArray& reply, int& count);
bool ParseSlot(const QByteArray& reply, QString& number);

struct Reading {
    enum Outcome { Read, NoCount, Empty, SlotFailed, Stopped };
    Outcome outcome = NoCount;
    QStringList numbers;   // in slot order
};

// Asks the reader for its count and then every slot, each at most kTries times. The caller
// holds the port (LinkTurn). countKnown is called once the count is in (not for 0), slotRead
// with i + 1 before slot i is asked. Any thread.
Reading ReadReader(CSerialLink& link, const std::atomic<bool>& stop, const std::function<void(int)>& countKnown,
                   const std::function<void(int)>& slotAsked);

struct PassCounts {
    int deleted = 0;    // database-only transponders without readers, deleted
    int added = 0;      // numbers only the reader holds, new transponders
    int assigned = 0;   // transponders in both that got this reader in their list
    QStringList refused;   // what the reader held that is no transponder number
};

// The three passes against the reported numbers, then the reader's Changed flag cleared, all
// in one transaction. Numbers are taken upper case; what is not a transponder number is
// refused (counts->refused). New numbers are decided by the database, and only transponders
// that the cached list showed unassigned and that still are unassigned are deleted: a store failure shows its text and leaves the database and the cached
// lists as they were. readerId 0 (no record of that name): new transponders get Readers "0"
// and no list is changed. Owner (GUI) thread. 1 when stored.
int ApplyToDatabase(CStoreDB_Handler& store, int32_t readerId, const QStringList& reported, PassCounts* counts = nullptr);

} // namespace FetchAll

class CFetchAllRun : public QObject {
    Q_OBJECT
public:
    // link may be null (no link: the count query fails at once).
    CFetchAllRun(CSerialLink* link, CStoreDB_Handler& store, const CLanguageHandler* lang, QObject* parent = nullptr);
    ~CFetchAllRun() override;

    enum Result { Declined, Failed, Done };
    // The whole command for the reader of that name (first match): the Changed question
    // (185/186), the reading, the passes, text 173. Failures show 141 (+14 for the count),
    // 230 for an empty reader; the database is then unchanged. Returns when all is over.
    Result Run(const QString& readerName);
    // After a Done run: how many numbers the reader reported and what the passes changed.
    int NumbersRead() const { return m_numbersRead; }
    FetchAll::PassCounts Counts() const { return m_counts; }

signals:
    void ProgressStarted(const QString& label, int maximum);
    void Progress(int position);
    void ProgressEnded();   // emitted before the end message, on every path that reads

private:
    CSerialLink* m_link;
    CStoreDB_Handler& m_store;
    const CLanguageHandler* m_lang;
    int m_numbersRead = 0;
    FetchAll::PassCounts m_counts;
};
