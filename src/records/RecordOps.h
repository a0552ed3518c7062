#pragma once
// The record change pattern, written once: open the table's cursor (or re-read it when it is
// already open), add / walk to the record by ID and edit or delete it, store, close the cursor.
// Failures are reported to the user here:
//   - the cursor cannot be opened: text 83, a line break and text 84, error icon -> OpenFailed;
//   - the store raises CDBException: its error text, exclamation icon (or the icon given) -> StoreError.
// In every case the cursor is closed afterwards. NotFound shows nothing: the caller shows its
// own text (75, 77, ...). Nothing here touches the cached list; afterwards the caller reloads it
// (_Requery), patches the cached record, or removes it (RemoveAt), as its operation says.
//
// Examples:
//   AddRecord(store->Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; }, &newId);
//   EditRecordById(tblTransponder, id, [](structTransponder& t) { t.Changed = 1; });
//   if (DeleteRecordById(tblPerson, id) == RecordResult::NotFound) ShowExclamation(lang->GetLangItem(77));
//
// May be called from any thread (the cursor used is the calling thread's own).
#include "base/Prompt.h"
#include "records/CStoreTable.h"

#include <functional>
#include <type_traits>
#include <vector>

class CStoreDB_Handler;

enum class RecordResult { Done, NotFound, OpenFailed, StoreError };

namespace RecordOpsDetail {
void ShowOpenFailed(CStoreDB_Handler* store);
void ShowStoreError(const CDBException& e, PromptIcon icon);

// Opens this thread's cursor, or re-reads it when it is open already. false: open failed.
template <class R>
bool OpenOrRequery(CStoreTable<R>* t)
{
    if (t->IsOpen()) {
        t->Requery();   // may throw
        return true;
    }
    return t->Open() != 0;
}
} // namespace RecordOpsDetail

// Adds count records in one transaction, so they stand together in table order (the four
// windows of a time schedule). fill(k, record) assigns the fields of the k-th new record.
// The new IDs are appended to newIds when given.
template <class R>
RecordResult AddRecords(CStoreTable<R>* table, int count,
                        const std::type_identity_t<std::function<void(int, R&)>>& fill,
                        std::vector<int32_t>* newIds = nullptr,
                        PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    if (!table->IsOpen() && !table->Open()) {
        RecordOpsDetail::ShowOpenFailed(table->Store());
        return RecordResult::OpenFailed;
    }
    bool inTransaction = false;
    try {
        inTransaction = count > 1 && table->BeginTransaction();
        for (int k = 0; k < count; ++k) {
            table->AddNew();
            fill(k, table->Rec());
            table->Update();
            if (newIds)
                newIds->push_back(table->GetLastAddedID());
        }
        if (inTransaction)
            table->CommitTransaction();
    } catch (const CDBException& e) {
        if (inTransaction)
            table->RollbackTransaction();
        table->Close();
        RecordOpsDetail::ShowStoreError(e, storeErrorIcon);
        return RecordResult::StoreError;
    }
    table->Close();
    return RecordResult::Done;
}

// Adds one record; fill assigns its fields. newId receives the ID the store gave it.
template <class R>
RecordResult AddRecord(CStoreTable<R>* table, const std::type_identity_t<std::function<void(R&)>>& fill,
                       int32_t* newId = nullptr, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    std::vector<int32_t> ids;
    const RecordResult r = AddRecords<R>(
        table, 1, [&](int, R& rec) { fill(rec); }, &ids, storeErrorIcon);
    if (newId)
        *newId = ids.empty() ? 0 : ids.front();
    return r;
}

namespace RecordOpsDetail {
// The one walk of the change pattern: open (or re-read) the cursor, visit every record that
// match accepts, act on it, close. A store error closes the cursor and is shown.
template <class R>
RecordResult Walk(CStoreTable<R>* table, const std::function<bool(const R&)>& match,
                  const std::function<void(CStoreTable<R>*)>& act, int* count, PromptIcon storeErrorIcon)
{
    int n = 0;
    try {
        if (!OpenOrRequery(table)) {
            ShowOpenFailed(table->Store());
            return RecordResult::OpenFailed;
        }
        for (; !table->IsEOF(); table->MoveNext()) {
            if (match && !match(table->Rec()))
                continue;
            act(table);
            ++n;
        }
    } catch (const CDBException& e) {
        table->Close();
        if (count)
            *count = n;
        ShowStoreError(e, storeErrorIcon);
        return RecordResult::StoreError;
    }
    table->Close();
    if (count)
        *count = n;
    return RecordResult::Done;
}
} // namespace RecordOpsDetail

// Edits every record for which match is true (all when match is empty); assign changes the
// fields. count receives the number edited. Done even when none matched.
template <class R>
RecordResult EditRecordsWhere(CStoreTable<R>* table, const std::type_identity_t<std::function<bool(const R&)>>& match,
                              const std::type_identity_t<std::function<void(R&)>>& assign, int* count = nullptr,
                              PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    return RecordOpsDetail::Walk<R>(
        table, match,
        [&assign](CStoreTable<R>* t) {
            t->Edit();
            assign(t->Rec());
            t->Update();
        },
        count, storeErrorIcon);
}

// Deletes every record for which match is true (all when match is empty). count receives the
// number deleted.
template <class R>
RecordResult DeleteRecordsWhere(CStoreTable<R>* table, const std::type_identity_t<std::function<bool(const R&)>>& match,
                                int* count = nullptr, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    return RecordOpsDetail::Walk<R>(
        table, match, [](CStoreTable<R>* t) { t->Delete(); }, count, storeErrorIcon);
}

// Edits the record with this ID. NotFound when there is none (nothing changed, nothing shown).
template <class R>
RecordResult EditRecordById(CStoreTable<R>* table, int32_t id, const std::type_identity_t<std::function<void(R&)>>& assign,
                            PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = EditRecordsWhere<R>(
        table, [id, &n](const R& rec) { return n == 0 && rec.ID == id; },
        [&](R& rec) { assign(rec); ++n; }, nullptr, storeErrorIcon);
    return r == RecordResult::Done && n == 0 ? RecordResult::NotFound : r;
}

// Deletes the record with this ID. NotFound when there is none.
template <class R>
RecordResult DeleteRecordById(CStoreTable<R>* table, int32_t id, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = DeleteRecordsWhere<R>(
        table, [id, &n](const R& rec) { return n == 0 && rec.ID == id; }, &n, storeErrorIcon);
    return r == RecordResult::Done && n == 0 ? RecordResult::NotFound : r;
}
