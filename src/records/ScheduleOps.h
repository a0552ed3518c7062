#pragma once
// Time schedules as the program handles them: four window records of one name standing together
// in table order, the first of them (the head window) giving the schedule its identity, the ID
// that transponders keep in ScheduleID.
//
// The changes here are the whole of one user action each: one CStoreTransaction with set-based
// steps, and only after it committed the cached lists are brought in step (patched in place,
// appended to or thinned out in one pass), so a failed action leaves database and cache as they
// were. A failure has been shown to the user already (RecordOps.h) when a result other than
// Done comes back.
//
// Propagation of a schedule change: the head window gets Changed 1, every transponder on the
// schedule gets Changed 1, and every reader whose list holds a transponder with Changed 1 gets
// Changed 1, so the next write to the readers carries the new windows.
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace ScheduleOps {

constexpr int kWindows = 4;   // windows per schedule

// ---- reading the cached windows ----
// Schedules in the cached list; an incomplete last one counts.
int ScheduleCount(const CtblZeitschema* windows);
// List index of the head window with this ID, found only at the head places 0, 4, 8, ...; -1 none.
int HeadIndexOfId(const CtblZeitschema* windows, int32_t scheduleId);
// Name of the schedule with this head ID; empty when there is none.
QString ScheduleNameOf(const CtblZeitschema* windows, int32_t scheduleId);
// List index of the first window with this name (the schedule's head); -1 none.
int HeadIndexByName(const CtblZeitschema* windows, const QString& name);
// The full-access schedule's head window index (by either of its names); -1 none.
int FullAccessHeadIndex(const CtblZeitschema* windows);
// The name a schedule is shown under: the built-in schedule under its name in the language
// (English: "Full access", German: "Vollzugriff"), any other under its own.
QString ShownScheduleName(const QString& name, bool english);
// Switches the cached name of the full-access schedule to the language's ("Vollzugriff" or
// "Full access"); the stored name stays "Vollzugriff". Call after every reload of the windows.
void CacheFullAccessName(CtblZeitschema* windows, bool english);

// ---- window times: "HHMM" ----
bool IsHourText(const QString& text);     // "00" .. "23"
bool IsMinuteText(const QString& text);   // "00" .. "59"
QString WithHours(const QString& hhmm, const QString& hours);      // new hours, old minutes
QString WithMinutes(const QString& hhmm, const QString& minutes);  // old hours, new minutes

// A name no schedule has yet: prefix followed by a random number 0..65534 in "%X" (drawn anew
// while it is taken). The caller seeds the generator.
QString UnusedScheduleName(const CtblZeitschema* windows, const QString& prefix);
// The prefix of new schedules by the language setting: "Timeplan_" in English, else "Zeitplan_".
QString NewSchedulePrefix(bool english);

// ---- changes (one transaction each, caches after the commit) ----
// Edits one window (assign changes the fields that were edited) and propagates the change.
RecordResult EditWindow(CStoreDB_Handler* store, int32_t windowId,
                        const std::function<void(structZeitschema&)>& assign);
// Gives every window of the schedule the new name and propagates the change; transponders keep
// their ScheduleID, the head window's ID stays.
RecordResult RenameSchedule(CStoreDB_Handler* store, const QString& oldName, const QString& newName);
// Every window of the schedule covers nothing ("0000" to "0000", no day) and is marked changed.
RecordResult ResetSchedule(CStoreDB_Handler* store, const QString& name);
// Adds a schedule of these windows (their names are set to name), Changed 0; the new IDs in order.
RecordResult AddSchedule(CStoreDB_Handler* store, const QString& name, const std::vector<structZeitschema>& windows,
                         std::vector<int32_t>* newIds = nullptr);
// Four windows covering the whole day on every day.
std::vector<structZeitschema> DefaultWindows();
// Deletes the schedules with these names (the full-access schedule is never deleted): their
// windows go, their transponders fall back to schedule 1 and are marked changed, and the readers
// holding changed transponders are marked. notFound gets the names of which no window was
// found; removed the number of windows taken out of the cache.
RecordResult DeleteSchedules(CStoreDB_Handler* store, const QStringList& names, QStringList* notFound = nullptr,
                             int* removed = nullptr);
// Deletes every schedule but the full-access one; every transponder not on it moves to
// schedule 1 and is marked changed, and so are the readers holding changed transponders.
RecordResult DeleteAllSchedules(CStoreDB_Handler* store);

} // namespace ScheduleOps
