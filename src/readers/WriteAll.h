#pragma once
// Writing all data into a Cedar, Maple or Rowan reader: its transponder count, transponder
// list, the time windows of each transponder's schedule and two parameters. Widget-free: the
// reader table prepares a plan on the GUI thread and starts a CWriteAllRun, which sends the
// telegrams on a worker thread and reports progress and its end by signals, so the same run
// works under a progress window, in a test or in a command-line tool.
//
//   WriteAll::Plan plan = WriteAll::Prepare(store, readerName, model);
//   if (!WriteAll::CheckCapacity(plan, lang)) return;          // text 214/215/236 shown
//   auto run = std::make_unique<CWriteAllRun>(link, store, lang, plan);
//   connect(run.get(), &CWriteAllRun::Finished, ...);          // written, 0 after a failure
//   run->Start();
#include "records/Records.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class CLanguageHandler;
class CSerialLink;
class CStoreDB_Handler;
class CtblZeitschema;

namespace WriteAll {

// Everything a run sends, gathered from the database before it starts.
struct Plan {
    int32_t readerId = 0;         // 0 when no reader record has the name
    int model = -1;               // reader model number (ReaderModel)
    QString params;               // the reader's Params, sent as parameter 0
    QString switchTime;           // the reader's SwitchTime, sent as parameter 1
    QStringList transponders;     // numbers, in transponder cache order
    QList<int32_t> schedules;     // each transponder's ScheduleID, same order
    QList<QByteArray> windows;    // data of the "Z" telegrams, numbered from 0
};

// The plan for the reader with this name (first match, case-sensitive), from the cached
// lists, brought up to date first (CChangeNotice::CatchUp): every transponder whose Readers list holds the reader, and four windows for each
// of them whose schedule exists. GUI thread.
Plan Prepare(CStoreDB_Handler& store, const QString& readerName, int model);

// Telegram data (what follows the command letter 'S').
QByteArray CountData(int count);                              // "P0002" + %04X
QByteArray SlotData(int slot, const QString& number);         // "T" + %04X + number
QByteArray DayMask(const structZeitschema& window);           // Monday to Friday: "3E"
// "Z" + index %04X + day mask + from-time and to-time as MMHH.
QByteArray WindowData(int index, const structZeitschema& window);
// The four window telegrams of the schedule whose head window has this ID, numbered from
// firstIndex; empty when no schedule starts with that ID.
QList<QByteArray> ScheduleWindows(const CtblZeitschema& windows, int32_t scheduleId, int firstIndex);
QByteArray Param0Data(const QString& params);                 // Params read as hex
QByteArray Param1Data(const QString& switchTime);             // SwitchTime read as decimal

// Whether the plan fits the model: shows text 214, 215 or 236 (error icon) and returns false
// when there are more transponders than the model holds; false without a message for a model
// other than Cedar, Maple or Rowan.
bool CheckCapacity(const Plan& plan, const CLanguageHandler* lang);

// Text 240 with the number of transponders written.
QString EndText(const CLanguageHandler* lang, int written);

// How often each telegram is tried.
inline constexpr int kTries = 10;              // count, and the first stage of slots and windows
inline constexpr int kPatientTries = 10;       // second stage of slots and windows ...
inline constexpr int kPatientPauseMs = 200;    // ... each after this pause
inline constexpr int kParamSends = 10;         // parameter telegrams, always sent this often

} // namespace WriteAll

// One write-all run on a worker thread. The link's ready flag is cleared and its busy flag set
// for the whole run; at its end (also after a failure or a stop) the outgoing telegram is
// emptied and the port handed back to the monitor. Failures show text 141 (error icon) from the
// worker; a store failure shows its own text. The reader's Changed flag is cleared only after
// every telegram was acknowledged; then the reader cache is reloaded before Finished arrives.
class CWriteAllRun : public QObject {
    Q_OBJECT
public:
    // link, store and lang must outlive the worker (they live for the whole program).
    CWriteAllRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang, WriteAll::Plan plan,
                 QObject* parent = nullptr);
    // Stops the run at its next telegram and waits up to 1500 ms for the worker; signals that
    // were still on their way are dropped.
    ~CWriteAllRun() override;

    // Starts the worker. false when the thread could not be started (text 238 shown).
    bool Start();
    // Ends the run before its next telegram; Finished then reports 0.
    void RequestStop();
    bool IsRunning() const;
    // The run has ended with every telegram acknowledged and the Changed flag cleared (Finished
    // reports 0 for a reader with no transponders as well as after a failure).
    bool Completed() const;
    int Total() const;   // progress range: transponders + window telegrams

signals:
    void Progress(int position);
    void LabelChanged(const QString& text);
    // The run is over: the number of transponders written, 0 after a failure or a stop.
    void Finished(int written);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
