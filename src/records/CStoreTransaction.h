#pragma once
// One transaction on the calling thread's connection, so that a cascade or a bulk change is
// all or nothing: a process killed in the middle leaves the database as it was before or after
// it, never a mix.
//
//     CStoreTransaction tx(store);
//     if (DeleteRecordById(readers, id) != RecordResult::Done) return;   // tx rolls back
//     ... more steps ...
//     tx.Commit();
//
// Scopes nest: an inner scope joins the outer one and only the outermost commits. A record
// change helper (records/RecordOps.h) that fails inside a scope marks it failed, so the
// outermost Commit() rolls everything back and returns 0. A scope left without Commit() rolls
// back. Cached lists are not touched: callers change them after a successful Commit().
#include <functional>

class CStoreDB_Handler;

class CStoreTransaction {
public:
    explicit CStoreTransaction(CStoreDB_Handler* store);
    ~CStoreTransaction();
    CStoreTransaction(const CStoreTransaction&) = delete;
    CStoreTransaction& operator=(const CStoreTransaction&) = delete;

    bool Started() const { return m_started; }   // false: the database is not open
    int Commit();                                 // 1 when the changes are stored (or joined)
    void Rollback();

    // Test seam: called on the committing thread right before the outermost COMMIT.
    static void SetBeforeCommitHook(std::function<void()> hook);

private:
    CStoreDB_Handler* m_store;
    bool m_started = false;
    bool m_done = false;
};
