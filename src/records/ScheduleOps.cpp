#include "records/ScheduleOps.h"

#include "records/TextOps.h"

#include <QSet>
#include <cstdlib>

namespace ScheduleOps {

using TransponderMatch = std::function<bool(const structTransponder&)>;

int ScheduleCount(const CtblZeitschema* windows)
{
    return (windows->GetAnz_Zeitschema() + kWindows - 1) / kWindows;
}

int HeadIndexOfId(const CtblZeitschema* windows, int32_t scheduleId)
{
    const int index = windows->IndexOf(scheduleId);
    return index >= 0 && index % kWindows == 0 ? index : -1;
}

QString ScheduleNameOf(const CtblZeitschema* windows, int32_t scheduleId)
{
    const int index = HeadIndexOfId(windows, scheduleId);
    return index < 0 ? QString() : windows->Get_Zeitschema(index).Name;
}

int HeadIndexByName(const CtblZeitschema* windows, const QString& name)
{
    for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
        if (windows->Get_Zeitschema(i).Name == name)
            return i;
    return -1;
}

int FullAccessHeadIndex(const CtblZeitschema* windows)
{
    for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
        if (IsFullAccessName(windows->Get_Zeitschema(i).Name))
            return i;
    return -1;
}

QString ShownScheduleName(const QString& name, bool english)
{
    if (IsFullAccessName(name))
        return english ? kFullAccessEn : kFullAccessDe;
    return name;
}

static bool IsTwoDigits(const QString& text, int max)
{
    if (text.size() != 2 || !text[0].isDigit() || !text[1].isDigit())
        return false;
    return text.toInt() <= max;
}

bool IsHourText(const QString& text) { return IsTwoDigits(text, 23); }
bool IsMinuteText(const QString& text) { return IsTwoDigits(text, 59); }

QString WithHours(const QString& hhmm, const QString& hours) { return hours + hhmm.mid(2); }
QString WithMinutes(const QString& hhmm, const QString& minutes) { return hhmm.left(2) + minutes; }

QString UnusedScheduleName(const CtblZeitschema* windows, const QString& prefix)
{
    // Two schedules of one name would become one: draw again while the name is taken.
    for (;;) {
        const QString name = prefix + QString::number(std::rand() % 65535, 16).toUpper();
        if (HeadIndexByName(windows, name) < 0)
            return name;
    }
}

QString NewSchedulePrefix(bool english)
{
    return english ? QStringLiteral("Timeplan_") : QStringLiteral("Zeitplan_");
}

std::vector<structZeitschema> DefaultWindows()
{
    structZeitschema w;
    w.From = QStringLiteral("0000");
    w.To = QStringLiteral("2359");
    for (int32_t& day : w.Day)
        day = 1;
    return std::vector<structZeitschema>(kWindows, w);
}

// ---------------------------------------------------------------- the steps

namespace {

// Ends the action's transaction; a failed commit is shown like any store error.
bool Finish(CStoreTransaction& tx, RecordResult result)
{
    if (result != RecordResult::Done)
        return false;
    if (tx.Started() && !tx.Commit()) {
        RecordOpsDetail::ShowStoreError(CDBException(QStringLiteral("The changes to the time schedules could not be stored.")),
                                        PromptIcon::Exclamation);
        return false;
    }
    return true;
}

// Inside the change's transaction: the transponder and reader lists as the database holds them
// now (another station may have assigned a transponder since they were read), so that the
// readers marked below are the right ones.
void ReadListsInTransaction(CStoreDB_Handler* store)
{
    store->Get_Ptr_To_tblTransponder()->_Requery();
    store->Get_Ptr_To_tblLeser()->_Requery();
}

// The readers to be marked once the transponders that match are marked changed: every reader
// in the list of a transponder that is or will be changed. Read from the cache before it is
// patched (and after ReadListsInTransaction).
QSet<int32_t> ReadersOfChanged(CStoreDB_Handler* store, const TransponderMatch& becomesChanged)
{
    QSet<int32_t> readers;
    const CtblTransponder* t = store->Get_Ptr_To_tblTransponder();
    for (int i = 0; i < t->GetAnz_Transponder(); ++i) {
        const structTransponder& rec = t->Get_Transponder(i);
        if (rec.Changed == 1 || becomesChanged(rec))
            for (int32_t id : ReaderIDs(rec.Readers))
                readers.insert(id);
    }
    // Readers already marked need no change.
    const CtblLeser* l = store->Get_Ptr_To_tblLeser();
    for (int i = 0; i < l->GetAnz_Leser(); ++i)
        if (l->Get_Leser(i).Changed == 1)
            readers.remove(l->Get_Leser(i).ID);
    return readers;
}

RecordResult MarkReaders(CStoreDB_Handler* store, const QSet<int32_t>& readers)
{
    if (readers.isEmpty())
        return RecordResult::Done;
    return EditRecordsWhere(store->Get_Ptr_To_tblLeser(), [&](const structLeser& r) { return readers.contains(r.ID); },
                            [](structLeser& r) { r.Changed = 1; });
}

void MarkReadersInCache(CStoreDB_Handler* store, const QSet<int32_t>& readers)
{
    for (int32_t id : readers)
        store->Get_Ptr_To_tblLeser()->PatchById(id, [](structLeser& r) { r.Changed = 1; });
}

// Changes the cached transponders that match in one pass.
void PatchTransponders(CStoreDB_Handler* store, const TransponderMatch& match,
                       const std::function<void(structTransponder&)>& assign)
{
    CtblTransponder* t = store->Get_Ptr_To_tblTransponder();
    for (int i = 0; i < t->GetAnz_Transponder(); ++i)
        if (match(t->Get_Transponder(i)))
            assign(t->PatchAt(i));
}

// The propagation of a change of schedule S, in the database: head window, its transponders,
// their readers.
RecordResult MarkChanged(CStoreDB_Handler* store, int32_t scheduleId, const QSet<int32_t>& readers)
{
    RecordResult r = EditRecordById(store->Get_Ptr_To_tblZeitschema(), scheduleId, [](structZeitschema& w) { w.Changed = 1; });
    if (r == RecordResult::NotFound)
        r = RecordResult::Done;   // the head window went meanwhile: nothing to mark there
    if (r == RecordResult::Done)
        r = SetValueWhere(store->Get_Ptr_To_tblTransponder(), "Changed", 1, "ScheduleID", scheduleId);
    if (r == RecordResult::Done)
        r = MarkReaders(store, readers);
    return r;
}

void MarkChangedInCache(CStoreDB_Handler* store, int32_t scheduleId, const QSet<int32_t>& readers)
{
    store->Get_Ptr_To_tblZeitschema()->PatchById(scheduleId, [](structZeitschema& w) { w.Changed = 1; });
    PatchTransponders(store, [&](const structTransponder& t) { return t.ScheduleID == scheduleId && t.Changed != 1; },
                      [](structTransponder& t) { t.Changed = 1; });
    MarkReadersInCache(store, readers);
}

// The head ID of the schedule with this name, from the cache; 0 none.
int32_t HeadIdByName(CStoreDB_Handler* store, const QString& name)
{
    const CtblZeitschema* w = store->Get_Ptr_To_tblZeitschema();
    const int head = HeadIndexByName(w, name);
    return head < 0 ? 0 : w->Get_Zeitschema(head).ID;
}

// Runs a change of the schedule called name: the propagation, then change (database), and
// after the commit the propagation and cacheChange in the cache.
RecordResult ChangeSchedule(CStoreDB_Handler* store, const QString& name, const std::function<RecordResult()>& change,
                            const std::function<void()>& cacheChange)
{
    const int32_t scheduleId = HeadIdByName(store, name);
    CStoreTransaction tx(store);
    ReadListsInTransaction(store);
    const QSet<int32_t> readers =
        ReadersOfChanged(store, [&](const structTransponder& t) { return t.ScheduleID == scheduleId; });
    RecordResult r = scheduleId ? MarkChanged(store, scheduleId, readers) : RecordResult::Done;
    if (r == RecordResult::Done)
        r = change();
    if (!Finish(tx, r))
        return r == RecordResult::Done ? RecordResult::StoreError : r;
    if (scheduleId)
        MarkChangedInCache(store, scheduleId, readers);
    cacheChange();
    return RecordResult::Done;
}

} // namespace

// ---------------------------------------------------------------- changes

RecordResult EditWindow(CStoreDB_Handler* store, int32_t windowId, const std::function<void(structZeitschema&)>& assign)
{
    CtblZeitschema* windows = store->Get_Ptr_To_tblZeitschema();
    const structZeitschema* window = windows->FindById(windowId);
    if (!window)
        return RecordResult::NotFound;
    return ChangeSchedule(
        store, window->Name, [&] { return EditRecordById(windows, windowId, assign); },
        [&] { windows->PatchById(windowId, assign); });
}

RecordResult RenameSchedule(CStoreDB_Handler* store, const QString& oldName, const QString& newName)
{
    CtblZeitschema* windows = store->Get_Ptr_To_tblZeitschema();
    return ChangeSchedule(
        store, oldName, [&] { return SetValueWhere(windows, "Name", newName, "Name", oldName); },
        [&] {
            for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
                if (windows->Get_Zeitschema(i).Name == oldName)
                    windows->PatchAt(i).Name = newName;
        });
}

RecordResult ResetSchedule(CStoreDB_Handler* store, const QString& name)
{
    CtblZeitschema* windows = store->Get_Ptr_To_tblZeitschema();
    const auto reset = [](structZeitschema& w) {
        w.From = QStringLiteral("0000");
        w.To = QStringLiteral("0000");
        for (int32_t& day : w.Day)
            day = 0;
        w.Changed = 1;
    };
    return ChangeSchedule(
        store, name,
        [&] { return EditRecordsWhere(windows, [&](const structZeitschema& w) { return w.Name == name; }, reset); },
        [&] {
            for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
                if (windows->Get_Zeitschema(i).Name == name)
                    reset(windows->PatchAt(i));
        });
}

RecordResult AddSchedule(CStoreDB_Handler* store, const QString& name, const std::vector<structZeitschema>& windows,
                         std::vector<int32_t>* newIds)
{
    CtblZeitschema* table = store->Get_Ptr_To_tblZeitschema();
    std::vector<structZeitschema> records = windows;
    for (structZeitschema& w : records) {
        w.Name = name;
        w.Changed = 0;
    }
    std::vector<int32_t> ids;
    const RecordResult r = AddRecords(
        table, int(records.size()),
        [&](int k, structZeitschema& w) {
            const structZeitschema& from = records[size_t(k)];
            w.Name = from.Name;
            w.From = from.From;
            w.To = from.To;
            std::copy(std::begin(from.Day), std::end(from.Day), std::begin(w.Day));
            w.Changed = 0;
        },
        &ids);
    if (r != RecordResult::Done)
        return r;
    for (size_t k = 0; k < ids.size(); ++k) {
        records[k].ID = ids[k];
        table->Append(records[k]);
    }
    if (newIds)
        *newIds = ids;
    return RecordResult::Done;
}

RecordResult DeleteSchedules(CStoreDB_Handler* store, const QStringList& names, QStringList* notFound, int* removed)
{
    CtblZeitschema* windows = store->Get_Ptr_To_tblZeitschema();
    QSet<int32_t> heads;
    QSet<QString> gone;
    for (const QString& name : names) {
        if (IsFullAccessName(name))
            continue;
        if (const int32_t head = HeadIdByName(store, name))
            heads.insert(head);
        gone.insert(name);
    }
    const TransponderMatch onDeleted = [&](const structTransponder& t) { return heads.contains(t.ScheduleID); };
    QStringList missing;
    CStoreTransaction tx(store);
    ReadListsInTransaction(store);
    const QSet<int32_t> readers = ReadersOfChanged(store, onDeleted);
    RecordResult r = RecordResult::Done;
    for (const QString& name : gone) {
        int count = 0;
        r = DeleteRecordsWithValue(windows, "Name", name, &count);
        if (r != RecordResult::Done)
            break;
        if (count == 0)
            missing << name;
    }
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    for (int32_t head : heads) {
        if (r == RecordResult::Done)
            r = SetValueWhere(transponders, "Changed", 1, "ScheduleID", head);
        if (r == RecordResult::Done)
            r = SetValueWhere(transponders, "ScheduleID", 1, "ScheduleID", head);
    }
    if (r == RecordResult::Done)
        r = MarkReaders(store, readers);
    if (!Finish(tx, r))
        return r == RecordResult::Done ? RecordResult::StoreError : r;

    const int n = windows->RemoveWhere([&](const structZeitschema& w) { return gone.contains(w.Name); });
    PatchTransponders(store, onDeleted, [](structTransponder& t) {
        t.ScheduleID = 1;
        t.Changed = 1;
    });
    MarkReadersInCache(store, readers);
    if (notFound)
        *notFound = missing;
    if (removed)
        *removed = n;
    return RecordResult::Done;
}

RecordResult DeleteAllSchedules(CStoreDB_Handler* store)
{
    CtblZeitschema* windows = store->Get_Ptr_To_tblZeitschema();
    const int full = FullAccessHeadIndex(windows);
    const int32_t fullId = full < 0 ? 0 : windows->Get_Zeitschema(full).ID;
    const TransponderMatch moves = [&](const structTransponder& t) { return t.ScheduleID != fullId; };
    CStoreTransaction tx(store);
    ReadListsInTransaction(store);
    const QSet<int32_t> readers = ReadersOfChanged(store, moves);
    RecordResult r = DeleteRecordsWhere(windows, [](const structZeitschema& w) { return !IsFullAccessName(w.Name); });
    if (r == RecordResult::Done)
        r = EditRecordsWhere(store->Get_Ptr_To_tblTransponder(), moves, [](structTransponder& t) {
            t.ScheduleID = 1;
            t.Changed = 1;
        });
    if (r == RecordResult::Done)
        r = MarkReaders(store, readers);
    if (!Finish(tx, r))
        return r == RecordResult::Done ? RecordResult::StoreError : r;

    windows->RemoveWhere([](const structZeitschema& w) { return !IsFullAccessName(w.Name); });
    PatchTransponders(store, moves, [](structTransponder& t) {
        t.ScheduleID = 1;
        t.Changed = 1;
    });
    MarkReadersInCache(store, readers);
    return RecordResult::Done;
}

void CacheFullAccessName(CtblZeitschema* windows, bool english)
{
    for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i) {
        const QString& name = windows->Get_Zeitschema(i).Name;
        if (!english && name == kFullAccessEn)
            windows->PatchAt(i).Name = kFullAccessDe;
        else if (english && name == kFullAccessDe)
            windows->PatchAt(i).Name = kFullAccessEn;
    }
}

} // namespace ScheduleOps
