#include "readers/ReaderDeletion.h"

#include "base/Prompt.h"
#include "readers/IReaderTree.h"
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

// Deletes the events of a reader, or detaches them (reader ID 0), in the table and in the
// cache; all = true means every event. false after a store failure (already shown).
bool DeleteOrDetachEvents(CStoreDB_Handler& store, int32_t readerId, bool all, bool deleteEvents,
                          PromptIcon errorIcon)
{
    CtblEvents* tbl = store.Get_Ptr_To_tblEvents();
    auto match = [readerId, all](const structEvents& ev) { return all || ev.ReaderID == readerId; };
    const RecordResult r = deleteEvents
        ? DeleteRecordsWhere(tbl, match, nullptr, errorIcon)
        : EditRecordsWhere(tbl, match, [](structEvents& ev) { ev.ReaderID = 0; }, nullptr, errorIcon);
    if (r != RecordResult::Done)
        return false;

    if (all && deleteEvents) {
        tbl->RemoveAllData();
        return true;
    }
    for (int i = tbl->GetAnz_Events() - 1; i >= 0; --i) {
        structEvents& ev = tbl->Get_Event(i);
        if (!match(ev))
            continue;
        if (deleteEvents)
            tbl->RemoveAt(i);
        else
            ev.ReaderID = 0;
    }
    return true;
}

// Takes the reader out of every transponder's Readers list, or empties every list
// (readerId 0), in the table and in the cache. false after a store failure.
bool RemoveFromTransponders(CStoreDB_Handler& store, int32_t readerId, PromptIcon errorIcon)
{
    auto newList = [readerId](const QString& readers) {
        return readerId == 0 ? QStringLiteral("") : RemoveReader(readers, readerId);
    };
    CtblTransponder* tbl = store.Get_Ptr_To_tblTransponder();
    const RecordResult r = EditRecordsWhere(
        tbl, [&](const structTransponder& t) { return newList(t.Readers) != t.Readers; },
        [&](structTransponder& t) { t.Readers = newList(t.Readers); }, nullptr, errorIcon);
    if (r != RecordResult::Done)
        return false;
    for (int i = 0; i < tbl->GetAnz_Transponder(); ++i) {
        structTransponder& t = tbl->Get_Transponder(i);
        t.Readers = newList(t.Readers);
    }
    return true;
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

    if (!AskYesNo(Text(store, victims.size() == 1 ? 69 : 68)))
        return 0;
    // Events of a desk reader were never read by this program; they simply stay.
    const bool deleteEvents = anyBusReader && AskYesNo(Text(store, 70));

    int deleted = 0;
    int removed = 0;   // records already taken out of the cache: later indices shift by this
    for (const Victim& v : victims) {
        const RecordResult r = DeleteRecordById(readers, v.id, PromptIcon::Warning);
        if (r == RecordResult::OpenFailed || r == RecordResult::StoreError)
            break;
        if (r == RecordResult::NotFound) {
            ShowWarning(Text(store, 66));
            continue;
        }
        ++deleted;
        if (!DeleteOrDetachEvents(store, v.id, false, deleteEvents, PromptIcon::Warning)
            || !RemoveFromTransponders(store, v.id, PromptIcon::Warning))
            break;
        if (readers->RemoveAt(v.index - removed))
            ++removed;
        else
            ShowWarning(Text(store, 65));
        if (tree)
            tree->RemoveReaderNodes(v.name);
    }
    return deleted;
}

int DeleteAllReaders(CStoreDB_Handler& store, IReaderTree* tree)
{
    if (!AskYesNo(Text(store, 64)))
        return 0;
    const bool deleteEvents = AskYesNo(Text(store, 71));

    CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    if (DeleteRecordsWhere(readers, {}) != RecordResult::Done)
        return 0;
    readers->RemoveAllData();
    const bool ok = DeleteOrDetachEvents(store, 0, true, deleteEvents, PromptIcon::Exclamation)
        && RemoveFromTransponders(store, 0, PromptIcon::Exclamation);
    if (tree)
        tree->RemoveAllReaderNodes();
    return ok ? 1 : 0;
}

int RenameReader(CStoreDB_Handler& store, int cacheIndex, const QString& newName, IReaderTree* tree)
{
    CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    if (cacheIndex < 0 || cacheIndex >= readers->GetAnz_Leser())
        return 0;
    structLeser& cached = readers->Get_Leser(cacheIndex);
    const QString oldName = cached.Name;
    const RecordResult r = EditRecordById(readers, cached.ID, [&](structLeser& rec) { rec.Name = newName; });
    if (r == RecordResult::OpenFailed || r == RecordResult::StoreError)
        return 0;
    // A reader missing from the table keeps its cached name, as the table shows it.
    if (r == RecordResult::NotFound)
        return 0;
    readers->Get_Leser(cacheIndex).Name = newName;
    if (tree)
        tree->RenameReaderNodes(oldName, newName);
    return 1;
}

} // namespace ReaderDeletion
