#pragma once
// Comparing a reader with the database, changing neither: does the reader hold what writing
// all data would write now? The reader's transponder count and slots are read with the very
// exchanges of fetching all data, parameters 0 and 1 with the same read telegram; the
// database's side is the plan that writing all data builds, from lists reloaded for the
// purpose, so the answer is about the database as it is at that moment, whoever changed it.
//
//   CCompareRun run(link, store, lang);
//   connect(&run, &CCompareRun::ProgressStarted, ...);    // label, maximum
//   if (run.Run(readerName, model) == CCompareRun::Done && !run.Differences().Same()) ...
#include "readers/WriteAll.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;

namespace ReaderComparison {

// A parameter that differs: its number (0 or 1) and the four hex digits on each side.
struct ParamDiff {
    int index = 0;
    QString inReader;
    QString inDatabase;
    bool operator==(const ParamDiff&) const = default;
};

struct Differences {
    QStringList onlyInReader;     // still open the door although the database says no
    QStringList onlyInDatabase;   // not written yet
    bool orderDiffers = false;    // the numbers both hold stand in another slot order
    QList<ParamDiff> params;
    int inReader = 0;             // slots the reader reported
    int inDatabase = 0;           // transponders writing all data would write

    bool Same() const { return onlyInReader.isEmpty() && onlyInDatabase.isEmpty() && !orderDiffers && params.isEmpty(); }
};

// What the reader holds: its numbers in slot order and, for a bus reader, parameters 0 and 1
// as four hex digits (empty where not read: a desk reader's parameters are not compared).
struct ReaderContents {
    QStringList numbers;
    QString param0, param1;
};

// The comparison itself. A number held twice on one side and once on the other counts once
// as a difference.
Differences Compare(const WriteAll::Plan& plan, const ReaderContents& reader);

// The plan writing all data would send to the reader of that name now: the reader, transponder
// and schedule lists are reloaded from the database first. Owner (GUI) thread.
WriteAll::Plan PlanNow(CStoreDB_Handler& store, const QString& readerName, int model);

enum class Outcome { Read, Failed, Stopped };

// Reads a Cedar, Maple or Rowan: count and slots as fetching all data reads them, then
// parameters 0 and 1. The caller holds the port (LinkTurn). Any thread.
Outcome ReadBusReader(CSerialLink& link, const std::atomic<bool>& stop, ReaderContents& out,
                      const std::function<void(int)>& countKnown, const std::function<void(int)>& slotAsked);

// The differences as lines of text, the risk first (texts 343-349), for the result dialog
// and the command line.
QStringList DescribeLines(const Differences& d, const CLanguageHandler* lang);

} // namespace ReaderComparison

// One comparison of the Cedar, Maple or Rowan at the port with the database. The telegrams run
// on a worker thread while the calling (GUI) thread waits in a local event loop that takes no
// user input; nothing is written to the reader or the database.
class CCompareRun : public QObject {
    Q_OBJECT
public:
    CCompareRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang, QObject* parent = nullptr);

    enum Result { Failed, Done };
    // A reader that stops answering shows text 141 and gives Failed.
    Result Run(const QString& readerName, int model);
    const ReaderComparison::Differences& Differences() const { return m_diff; }

signals:
    void ProgressStarted(const QString& label, int maximum);
    void Progress(int position);
    void ProgressEnded();

private:
    CSerialLink& m_link;
    CStoreDB_Handler& m_store;
    const CLanguageHandler* m_lang;
    ReaderComparison::Differences m_diff;
};
