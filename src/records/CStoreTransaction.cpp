#include "records/CStoreTransaction.h"

#include "records/CStoreDB_Handler.h"

CStoreTransaction::CStoreTransaction(CStoreDB_Handler* store) : m_store(store)
{
    m_started = m_store && m_store->BeginTransaction() == 1;
}

CStoreTransaction::~CStoreTransaction() { Rollback(); }

int CStoreTransaction::Commit()
{
    if (!m_started || m_done)
        return 0;
    m_done = true;
    return m_store->EndTransaction(true);
}

void CStoreTransaction::Rollback()
{
    if (!m_started || m_done)
        return;
    m_done = true;
    m_store->EndTransaction(false);
}

void CStoreTransaction::SetBeforeCommitHook(std::function<void()> hook)
{
    CStoreDB_Handler::SetBeforeCommitHook(std::move(hook));
}
