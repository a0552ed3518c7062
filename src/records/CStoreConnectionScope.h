#pragma once
// Keeps the calling thread's database connection for the length of a scope. A worker thread's
// connection is dropped whenever its last cursor closes, and the record change helpers open and
// close the cursor for every record; a worker that stores many records one by one (the events of
// a read run) would otherwise connect anew for each of them.
//
//     CStoreConnectionScope keep(store);   // on the worker, around the loop
//     for (...) AddRecord(events, ...);
#include "records/CStoreDB_Handler.h"

class CStoreConnectionScope {
public:
    explicit CStoreConnectionScope(CStoreDB_Handler* store) : m_store(store)
    {
        QString name;
        m_held = m_store && m_store->ThreadConnection(name, nullptr);
        if (m_held)
            m_store->CursorOpened();   // counts as an open cursor of this thread
    }
    ~CStoreConnectionScope()
    {
        if (m_held)
            m_store->CursorClosed();
    }
    CStoreConnectionScope(const CStoreConnectionScope&) = delete;
    CStoreConnectionScope& operator=(const CStoreConnectionScope&) = delete;

private:
    CStoreDB_Handler* m_store;
    bool m_held = false;
};
