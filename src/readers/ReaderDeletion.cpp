#include "readers/ReaderDeletion.h"

#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "views/IReaderTree.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <algorithm>

namespace ReaderDeletion {
namespace {

QString Text(CStoreDB_Handler& store, uint32_t number)
{
    CLanguageHandler* lang = store.GetLanguageHandler();
    return lang ? lang->GetLangItem(number) : QString();
}

// Deletes the events of a reader, or detaches them (reader ID 0), in the table; all = true
// means every event. false after a store failure (already shown).
bool DeleteOrDetachEvents(CStoreDB_Handler& store, int32_t readerId, bool all, bool deleteEvents,
                          PromptIcon errorIcon)
{
    CtblEvents* tbl = store.Get_Ptr_To_tblEvents();
    RecordResult r;
    if (all)
        r = deleteEvents ? DeleteRecordsWhere(tbl, {}, nullptr, errorIcon)
                         : SetValueWhere(tbl, "ReaderID", 0, nullptr, {}, nullptr, errorIcon);
    else
        r = deleteEvents ? DeleteRecordsWithValue(tbl, "ReaderID", readerId, nullptr, errorIcon)
                         : SetValueWhere(tbl, "ReaderID", 0, "ReaderID", readerId, nullptr, errorIcon);
    return r == RecordResult::Done;
}

// The same in the cache, once the table has it.
void DeleteOrDetachCachedEvents(CStoreDB_Handler& store, int32_t readerId, bool all, bool deleteEvents)
{
    CtblEvents* tbl = store.Get_Ptr_To_tblEvents();
    if (all && deleteEvents) {
        tbl->RemoveAllData();
        return;
    }
    if (deleteEvents) {
        tbl->RemoveWhere([readerId](const structEvents& ev) { return ev.ReaderID == readerId; });
        return;
    }
    const std::vector<int> indices = all ? std::vector<int>() : tbl->IndicesOfReader(readerId);
    if (all)
        for (int i = 0; i < tbl->GetAnz_Events(); ++i)
            tbl->PatchAt(i).ReaderID = 0;
    else
        for (int i : indices)
            tbl->PatchAt(i).ReaderID = 0;
}

QString NewReaderList(const QString& readers, int32_t readerId)
{
    return readerId == 0 ? QStringLiteral("") : RemoveReader(readers, readerId);
}

// Takes the reader out of every transponder's Readers list, or empties every list
// (readerId 0), in the table. false after a store failure.
bool RemoveFromTransponders(CStoreDB_Handler& store, int32_t readerId, PromptIcon errorIcon)
{
    CtblTransponder* tbl = store.Get_Ptr_To_tblTransponder();
    const RecordResult r = EditRecordsWhere(
        tbl, [&](const structTransponder& t) { return NewReaderList(t.Readers, readerId) != t.Readers; },
        [&](structTransponder& t) { t.Readers = NewReaderList(t.Readers, readerId); }, nullptr, errorIcon);
    return r == RecordResult::Done;
}

void RemoveFromCachedTransponders(CStoreDB_Handler& store, int32_t readerId)
{
    CtblTransponder* tbl = store.Get_Ptr_To_tblTransponder();
    for (int i = 0; i < tbl->GetAnz_Transponder(); ++i) {
        const QString list = NewReaderList(tbl->Get_Transponder(i).Readers, readerId);
        if (list != tbl->Get_Transponder(i).Readers)
            tbl->PatchById(tbl->Get_Transponder(i).ID, [&](structTransponder& t) { t.Readers = list; });
    }
}

} // namespace

int DeleteReaders(CStoreDB_Handler& store, std::vector<int> cacheIndices, IReaderTree* tree)
{
    CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    cacheIndices.erase(std::remove_if(cacheIndices.begin(), cacheIndices.end(),
                                      [&](int i) { return i < 0 || i >= readers->GetAnz_Leser(); }),
                       cacheIndices.end());
    if (cacheIndices.empty())
        return 0;
    std::sort(cacheIndices.begin(), cacheIndices.end());
    cacheIndices.erase(std::unique(cacheIndices.begin(), cacheIndices.end()), cacheIndices.end());

    // What the loop needs of each reader, taken before the cache starts shifting.
    struct Victim {
        int index;
        int32_t id;
        QString name;
    };
    std::vector<Victim> victims;
    bool anyBusReader = false;
    for (int i : cacheIndices) {
        const structLeser& r = readers->Get_Leser(i);
        victims.push_back({i, r.ID, r.Name});
        anyBusReader = anyBusReader || ReaderModel::IsBusReaderType(r.Model);
    }

    // A run stores events under a reader ID and clears a reader's "changed" mark.
    if (ReaderRuns::RefuseIfActive(Text(store, 303)) || !AskDestructive(Text(store, victims.size() == 1 ? 69 : 68)))
        return 0;
    // Events of a desk reader were never read by this program; they simply stay.
    const bool deleteEvents = anyBusReader && AskDestructive(Text(store, 70));

    // Each reader with what refers to it is one transaction: a reader is gone with its events
    // and its place in the transponders' lists, or it is all still there.
    int deleted = 0;
    std::vector<int32_t> gone;
    for (const Victim& v : victims) {
        CStoreTransaction tx(&store);
        const RecordResult r = DeleteRecordById(readers, v.id, PromptIcon::Warning);
        if (r == RecordResult::OpenFailed || r == RecordResult::StoreError)
            break;
        if (r == RecordResult::NotFound) {
            ShowWarning(Text(store, 66));
            continue;
        }
        if (!DeleteOrDetachEvents(store, v.id, false, deleteEvents, PromptIcon::Warning)
            || !RemoveFromTransponders(store, v.id, PromptIcon::Warning) || !tx.Commit())
            break;
        ++deleted;
        DeleteOrDetachCachedEvents(store, v.id, false, deleteEvents);
        RemoveFromCachedTransponders(store, v.id);
        gone.push_back(v.id);
        if (tree)
            tree->RemoveReaderNodes(v.name);
    }
    if (readers->RemoveIds(gone) != int(gone.size()))
        ShowWarning(Text(store, 65));
    return deleted;
}

int DeleteAllReaders(CStoreDB_Handler& store, IReaderTree* tree)
{
    if (ReaderRuns::RefuseIfActive(Text(store, 303)) || !AskDestructive(Text(store, 64)))
        return 0;
    const bool deleteEvents = AskDestructive(Text(store, 71));

    CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    CStoreTransaction tx(&store);
    const bool ok = DeleteRecordsWhere(readers, {}) == RecordResult::Done
        && DeleteOrDetachEvents(store, 0, true, deleteEvents, PromptIcon::Exclamation)
        && RemoveFromTransponders(store, 0, PromptIcon::Exclamation) && tx.Commit();
    if (!ok)
        return 0;
    readers->RemoveAllData();
    DeleteOrDetachCachedEvents(store, 0, true, deleteEvents);
    RemoveFromCachedTransponders(store, 0);
    if (tree)
        tree->RemoveAllReaderNodes();
    return 1;
}

int RenameReader(CStoreDB_Handler& store, int cacheIndex, const QString& newName, IReaderTree* tree)
{
    CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    if (cacheIndex < 0 || cacheIndex >= readers->GetAnz_Leser())
        return 0;
    const structLeser& cached = readers->Get_Leser(cacheIndex);
    const QString oldName = cached.Name;
    const int32_t id = cached.ID;
    const RecordResult r = EditRecordById(readers, id, [&](structLeser& rec) { rec.Name = newName; });
    if (r == RecordResult::OpenFailed || r == RecordResult::StoreError)
        return 0;
    // A reader missing from the table keeps its cached name, as the table shows it.
    if (r == RecordResult::NotFound)
        return 0;
    readers->PatchById(id, [&](structLeser& rec) { rec.Name = newName; });
    if (tree)
        tree->RenameReaderNodes(oldName, newName);
    return 1;
}

} // namespace ReaderDeletion
