#include "records/CStoreDB_Handler.h"

#include "records/server/ServerBackend.h"
#include "records/sqlite/SqliteBackend.h"
#include "texts/CLanguageHandler.h"

#include <QMutexLocker>
#include <QScopeGuard>
#include <QSqlQuery>

#include <atomic>
#include <functional>
#include <memory>

namespace {

std::function<void()>& BeforeCommitHook()
{
    static std::function<void()> hook;
    return hook;
}
std::atomic<uint64_t> g_handlers{0};

} // namespace

void CStoreDB_Handler::SetBeforeCommitHook(std::function<void()> hook) { BeforeCommitHook() = std::move(hook); }
void CStoreDB_Handler::RunBeforeCommitHook()
{
    if (const auto& hook = BeforeCommitHook())
        hook();
}

CStoreDB_Handler::CStoreDB_Handler(CLanguageHandler* lang) : CStoreDB_Handler(lang, StoreLocation::FromSettings()) {}

CStoreDB_Handler::CStoreDB_Handler(CLanguageHandler* lang, const StoreLocation& where)
    : m_lang(lang), m_loc(where), m_ownerThread(CurrentThreadId()),
      m_prefix(QStringLiteral("vmstore%1_").arg(++g_handlers))
{
    m_path = m_loc.IsShared() ? QString() : m_loc.file;
    if (m_loc.IsShared())
        m_backend = std::make_unique<ServerBackend>(m_loc, lang);
    else
        m_backend = std::make_unique<SqliteBackend>(m_path);
    const QString why = m_loc.invalid.isEmpty() ? OpenDatabase() : m_loc.invalid;
    if (why.isEmpty()) {
        m_open = true;
        LoadAll();
        return;
    }
    m_error = (German() ? QStringLiteral("Die Datenbank \"%1\" kann nicht geöffnet werden:\n%2")
                        : QStringLiteral("The database \"%1\" cannot be opened:\n%2"))
                  .arg(m_loc.DisplayName(), why);
    CloseConnections();
}

std::unique_ptr<CStoreDB_Handler> OpenRecordStore(const QString& urlOrFile, CLanguageHandler* lang)
{
    const bool german = !lang || lang->GetAktivLanguage() == 0;
    return std::make_unique<CStoreDB_Handler>(lang, StoreLocation::Parse(urlOrFile, german));
}

CStoreDB_Handler::~CStoreDB_Handler()
{
    if (m_open)
        FlushDatabaseFile();
    CloseConnections();
}

bool CStoreDB_Handler::German() const { return !m_lang || m_lang->GetAktivLanguage() == 0; }

void CStoreDB_Handler::DropConnection(uint64_t thread)
{
    auto it = m_conns.find(thread);
    if (it == m_conns.end())
        return;
    const QString name = it->second.name;
    // The statements of the connection go first, then the connection itself. Only the calling
    // thread's own connection may be used here; the others are just let go.
    it->second.conn.reset();
    if (thread == CurrentThreadId())
        QSqlDatabase::database(name, false).close();
    m_conns.erase(it);
    QSqlDatabase::removeDatabase(name);
}

void CStoreDB_Handler::CloseConnections()
{
    QMutexLocker lock(&m_connMutex);
    while (!m_conns.empty())
        DropConnection(m_conns.begin()->first);
}

bool CStoreDB_Handler::IsOwnerThread() const { return CurrentThreadId() == m_ownerThread; }

QString CStoreDB_Handler::OpenDatabase()
{
    const bool german = German();
    if (const QString why = m_backend->CheckBeforeOpen(german); !why.isEmpty())
        return StoreReason(why);
    const QString name = m_prefix + QString::number(m_ownerThread);
    QString error;
    std::unique_ptr<StoreConnection> conn = m_backend->Connect(name, true, &error);
    QMutexLocker lock(&m_connMutex);
    ThreadConn& mine = m_conns[m_ownerThread];
    mine.name = name;
    if (!conn)
        return StoreReason(error);
    mine.conn = std::move(conn);
    StoreConnection& c = *mine.conn;
    lock.unlock();
    return m_backend->Prepare(c, german);
}

QString CStoreDB_Handler::CheckDatabaseFile(const QString& path, bool german)
{
    return SqliteBackend::CheckFile(path, german);
}

int CStoreDB_Handler::CopyDatabaseTo(const QString& path, QString* error)
{
    StoreConnection* c = Connection(error);
    if (!c)
        return 0;
    const int ok = m_backend->CopyTo(*c, path, error);
    ReleaseIfIdle();
    return ok;
}

int CStoreDB_Handler::RestoreFrom(const QString& file, QString* error)
{
    QString why = CheckDatabaseFile(file, German());
    StoreConnection* c = nullptr;
    if (why.isEmpty() && !(c = Connection(&why)))
        why = StoreReason(why);
    if (why.isEmpty() && !m_backend->RestoreFrom(*c, file, German(), &why))
        why = StoreReason(why);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        return 0;
    }
    LoadAll();
    return 1;
}

// ---------------------------------------------------------------- transactions

int CStoreDB_Handler::BeginTransaction()
{
    StoreConnection* c = Connection(nullptr);
    if (!c)
        return 0;
    const uint64_t me = CurrentThreadId();
    {
        QMutexLocker lock(&m_connMutex);
        TxState& tx = m_tx[me];
        if (tx.depth > 0) {
            ++tx.depth;
            return 1;
        }
    }
    const bool ok = c->Begin();
    QMutexLocker lock(&m_connMutex);
    if (!ok) {
        m_tx.erase(me);
        lock.unlock();
        ReleaseIfIdle();
        return 0;
    }
    m_tx[me] = TxState{1, false, {}};
    lock.unlock();
    // An open transaction holds a worker's connection as an open cursor does: dropping the
    // connection when the helpers close their cursors would throw the transaction away.
    CursorOpened();
    return 1;
}

void CStoreDB_Handler::FailTransaction()
{
    QMutexLocker lock(&m_connMutex);
    auto it = m_tx.find(CurrentThreadId());
    if (it != m_tx.end())
        it->second.failed = true;
}

bool CStoreDB_Handler::InTransaction() const
{
    QMutexLocker lock(&m_connMutex);
    auto it = m_tx.find(CurrentThreadId());
    return it != m_tx.end() && it->second.depth > 0;
}

void CStoreDB_Handler::AfterTransaction(std::function<void()> show)
{
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_tx.find(CurrentThreadId());
        if (it != m_tx.end() && it->second.depth > 0) {
            it->second.after.push_back(std::move(show));
            return;
        }
    }
    show();
}

int CStoreDB_Handler::EndTransaction(bool commit)
{
    const uint64_t me = CurrentThreadId();
    bool outermost = false;
    bool failed = false;
    std::vector<std::function<void()>> after;
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_tx.find(me);
        if (it == m_tx.end() || it->second.depth == 0)
            return 0;
        if (!commit)
            it->second.failed = true;
        failed = it->second.failed;
        outermost = --it->second.depth == 0;
        if (outermost) {
            after = std::move(it->second.after);
            m_tx.erase(it);
        }
    }
    if (!outermost)
        return failed ? 0 : 1;
    const auto showAfter = qScopeGuard([&after] {
        for (const auto& show : after)
            show();
    });
    // The connection as it is: made anew here, a broken one would take the COMMIT of a
    // transaction that is gone and report it stored.
    StoreConnection* c = nullptr;
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_conns.find(me);
        if (it != m_conns.end())
            c = it->second.conn.get();
    }
    if (!c)
        return 0;
    int committed = 0;
    {
        QSqlQuery q(c->Db());
        if (!failed) {
            RunBeforeCommitHook();
            committed = q.exec(QStringLiteral("COMMIT")) ? 1 : 0;
        }
        if (!committed)
            q.exec(QStringLiteral("ROLLBACK"));
    }
    CursorClosed();   // the transaction no longer holds the connection
    return committed;
}

void CStoreDB_Handler::LoadAll()
{
    m_leser._Requery();
    m_transponder._Requery();
    m_person._Requery();
    m_zeitschema._Requery();
    m_events._Requery();
    m_online._Requery();
}

int CStoreDB_Handler::FlushDatabaseFile()
{
    if (m_loc.IsShared())
        return 1;   // a server keeps its own files
    StoreConnection* c = Connection(nullptr);
    if (!c)
        return 0;
    const int ok = m_backend->Flush(*c);
    ReleaseIfIdle();
    return ok;
}

// ---------------------------------------------------------------- connections

bool CStoreDB_Handler::ThreadConnection(QString& name, QString* error)
{
    StoreConnection* c = Connection(error);
    if (c)
        name = c->Name();
    return c != nullptr;
}

StoreConnection* CStoreDB_Handler::Connection(QString* error)
{
    if (!m_open) {
        if (error)
            *error = m_error;
        return nullptr;
    }
    const uint64_t me = CurrentThreadId();
    QString name;
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_conns.find(me);
        if (it != m_conns.end() && it->second.conn) {
            StoreConnection* c = it->second.conn.get();
            const auto tx = m_tx.find(me);
            const bool inTransaction = tx != m_tx.end() && tx->second.depth > 0;
            lock.unlock();
            if (!inTransaction)
                c->Recover();   // only this thread uses its connection
            return c;
        }
        name = m_prefix + QString::number(me);
    }
    // Only this thread makes or drops its own connection, so nothing else changes it meanwhile.
    std::unique_ptr<StoreConnection> conn = m_backend->Connect(name, false, error);
    QMutexLocker lock(&m_connMutex);
    if (!conn) {
        m_conns.erase(me);
        QSqlDatabase::removeDatabase(name);
        return nullptr;
    }
    ThreadConn& mine = m_conns[me];
    mine.name = name;
    mine.conn = std::move(conn);
    return mine.conn.get();
}

void CStoreDB_Handler::CursorOpened()
{
    QMutexLocker lock(&m_connMutex);
    auto it = m_conns.find(CurrentThreadId());
    if (it != m_conns.end())
        ++it->second.cursors;
}

void CStoreDB_Handler::CursorClosed()
{
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_conns.find(CurrentThreadId());
        if (it != m_conns.end() && it->second.cursors > 0)
            --it->second.cursors;
    }
    ReleaseIfIdle();
}

void CStoreDB_Handler::ReleaseIfIdle()
{
    const uint64_t me = CurrentThreadId();
    if (me == m_ownerThread)
        return;   // the owner keeps its connection for the life of the handler
    QMutexLocker lock(&m_connMutex);
    auto it = m_conns.find(me);
    if (it != m_conns.end() && it->second.cursors == 0)
        DropConnection(me);
}
