#pragma once
// The record change pattern, written once and keyed: a change of one record by ID is one
// statement on the calling thread's connection (a delete) or a read of that one record and its
// update (an edit); it never reads the table. Bulk changes run in one transaction.
// Failures are reported to the user here:
//   - the cursor cannot be opened: text 83, a line break and text 84, error icon -> OpenFailed;
//   - the store raises CDBException: its error text, exclamation icon (or the icon given) -> StoreError.
// In every case the cursor is closed afterwards, and a failure inside a CStoreTransaction marks
// it failed, so the whole transaction rolls back; its message waits until it has. NotFound shows nothing: the caller shows its
// own text (75, 77, ...). Nothing here touches the cached list; afterwards the caller patches it
// (PatchById), appends to it (Append), removes from it (RemoveAt, RemoveIds, RemoveWhere) or
// reloads it (_Requery), as its operation says.
//
// Examples:
//   AddRecord(store->Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; }, &newId);
//   EditRecordById(tblTransponder, id, [](structTransponder& t) { t.Changed = 1; });
//   if (DeleteRecordById(tblPerson, id) == RecordResult::NotFound) ShowExclamation(lang->GetLangItem(77));
//   CStoreTransaction tx(store);      // a cascade: all of it or none
//   DeleteRecordById(tblLeser, id); DeleteRecordsWithValue(tblEvents, "ReaderID", id); tx.Commit();
//
// May be called from any thread (the cursor and connection used are the calling thread's own).
#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTable.h"
#include "records/CStoreTransaction.h"

#include <QVariant>
#include <functional>
#include <type_traits>
#include <vector>

enum class RecordResult { Done, NotFound, OpenFailed, StoreError };

namespace RecordOpsDetail {
void ShowOpenFailed(CStoreDB_Handler* store);
void ShowStoreError(const CDBException& e, PromptIcon icon);

// Runs body with this thread's cursor open (and closed afterwards) inside a transaction of its
// own (joining the caller's, if any). body returns the result; a store error is shown.
template <class R>
RecordResult Guarded(CStoreTable<R>* table, PromptIcon storeErrorIcon, const std::function<RecordResult()>& body)
{
    CStoreDB_Handler* store = table->Store();
    if (!table->IsOpen() && !table->Open()) {
        store->FailTransaction();
        store->AfterTransaction([store] { ShowOpenFailed(store); });
        return RecordResult::OpenFailed;
    }
    RecordResult result = RecordResult::StoreError;
    {
        CStoreTransaction tx(store);
        try {
            result = body();
            if (result == RecordResult::Done || result == RecordResult::NotFound) {
                if (tx.Started() && !tx.Commit())
                    throw CDBException(QStringLiteral("The changes to %1 could not be stored.").arg(table->TableName()));
            }
        } catch (const CDBException& e) {
            tx.Rollback();
            table->Close();
            store->FailTransaction();
            store->AfterTransaction([e, storeErrorIcon] { ShowStoreError(e, storeErrorIcon); });
            return RecordResult::StoreError;
        }
    }
    table->Close();
    return result;
}
} // namespace RecordOpsDetail

// Adds count records in one transaction, so they stand together in table order (the four
// windows of a time schedule). fill(k, record) assigns the fields of the k-th new record.
// The new IDs are appended to newIds when given (and only when all were stored).
template <class R>
RecordResult AddRecords(CStoreTable<R>* table, int count,
                        const std::type_identity_t<std::function<void(int, R&)>>& fill,
                        std::vector<int32_t>* newIds = nullptr,
                        PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    std::vector<int32_t> ids;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        for (int k = 0; k < count; ++k) {
            table->AddNew();
            fill(k, table->Rec());
            table->Update();
            ids.push_back(table->GetLastAddedID());
        }
        return RecordResult::Done;
    });
    if (r == RecordResult::Done && newIds)
        newIds->insert(newIds->end(), ids.begin(), ids.end());
    return r;
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

// Edits the record with this ID: reads it, lets assign change the fields, stores it. NotFound
// when there is none (nothing changed, nothing shown). stored receives the record as stored.
template <class R>
RecordResult EditRecordById(CStoreTable<R>* table, int32_t id, const std::type_identity_t<std::function<void(R&)>>& assign,
                            PromptIcon storeErrorIcon = PromptIcon::Exclamation, R* stored = nullptr)
{
    return RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        if (!table->Seek(id))
            return RecordResult::NotFound;
        table->Edit();
        assign(table->Rec());
        table->Rec().ID = id;
        if (stored)
            *stored = table->Rec();
        table->Update();
        return RecordResult::Done;
    });
}

// Deletes the record with this ID: one statement. NotFound when there is none.
template <class R>
RecordResult DeleteRecordById(CStoreTable<R>* table, int32_t id, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    return RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        return table->DeleteById(id) ? RecordResult::Done : RecordResult::NotFound;
    });
}

// Deletes the records with these IDs in one transaction; the IDs not found go to notFound.
// Done when every store call succeeded (also when some were not found).
template <class R>
RecordResult DeleteRecordsByIds(CStoreTable<R>* table, const std::vector<int32_t>& ids,
                                std::vector<int32_t>* notFound = nullptr,
                                PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    std::vector<int32_t> missing;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        for (int32_t id : ids)
            if (!table->DeleteById(id))
                missing.push_back(id);
        return RecordResult::Done;
    });
    if (notFound)
        *notFound = std::move(missing);
    return r;
}

// Edits every record for which match is true (all when match is empty); assign changes the
// fields. count receives the number edited. One read of the table, one transaction. Done even
// when none matched.
template <class R>
RecordResult EditRecordsWhere(CStoreTable<R>* table, const std::type_identity_t<std::function<bool(const R&)>>& match,
                              const std::type_identity_t<std::function<void(R&)>>& assign, int* count = nullptr,
                              PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        std::vector<R> edited;
        table->Requery();
        for (; !table->IsEOF(); table->MoveNext()) {
            if (match && !match(table->Rec()))
                continue;
            R rec = table->Rec();
            assign(rec);
            rec.ID = table->Rec().ID;
            edited.push_back(std::move(rec));
        }
        // All at once: on a server one statement for all of them.
        table->UpdateRecords(edited);
        n = int(edited.size());
        return RecordResult::Done;
    });
    if (count)
        *count = r == RecordResult::Done ? n : 0;
    return r;
}

// Deletes every record for which match is true (all when match is empty: one statement).
// count receives the number deleted. One transaction.
template <class R>
RecordResult DeleteRecordsWhere(CStoreTable<R>* table, const std::type_identity_t<std::function<bool(const R&)>>& match,
                                int* count = nullptr, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        if (!match) {
            n = table->DeleteAllRows();
            return RecordResult::Done;
        }
        std::vector<int32_t> ids;
        table->Requery();
        for (; !table->IsEOF(); table->MoveNext())
            if (match(table->Rec()))
                ids.push_back(table->Rec().ID);
        for (int32_t id : ids)
            n += table->DeleteById(id);
        return RecordResult::Done;
    });
    if (count)
        *count = r == RecordResult::Done ? n : 0;
    return r;
}

// Deletes every record whose column holds value: one statement (a cascade by reference).
template <class R>
RecordResult DeleteRecordsWithValue(CStoreTable<R>* table, const char* column, const QVariant& value,
                                    int* count = nullptr, PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        n = table->DeleteWhereColumn(QString::fromLatin1(column), value);
        return RecordResult::Done;
    });
    if (count)
        *count = r == RecordResult::Done ? n : 0;
    return r;
}

// Sets setColumn to setValue in every record whose whereColumn holds whereValue (every record
// when whereColumn is null): one statement.
template <class R>
RecordResult SetValueWhere(CStoreTable<R>* table, const char* setColumn, const QVariant& setValue,
                           const char* whereColumn, const QVariant& whereValue, int* count = nullptr,
                           PromptIcon storeErrorIcon = PromptIcon::Exclamation)
{
    int n = 0;
    const RecordResult r = RecordOpsDetail::Guarded<R>(table, storeErrorIcon, [&] {
        n = table->UpdateColumnWhere(QString::fromLatin1(setColumn), setValue,
                                     whereColumn ? QString::fromLatin1(whereColumn) : QString(), whereValue);
        return RecordResult::Done;
    });
    if (count)
        *count = r == RecordResult::Done ? n : 0;
    return r;
}
