#include "records/CStoreTable.h"

#include "records/StoreBackend.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

// Collects the rows of a read as records.
template <class R>
class RecordSink final : public StoreRowSink {
public:
    explicit RecordSink(std::vector<R>& rows) : m_rows(rows) {}
    void Row(const StoreCells& cells) override
    {
        R r;
        ReadRecord(cells, r);
        m_rows.push_back(std::move(r));
    }

private:
    std::vector<R>& m_rows;
};

// Sorts records by ID unless they are in that order already (the usual case: one pass).
template <class R>
void InKeyOrder(std::vector<R>& rows)
{
    const auto byId = [](const R& a, const R& b) { return a.ID < b.ID; };
    if (!std::is_sorted(rows.begin(), rows.end(), byId))
        std::sort(rows.begin(), rows.end(), byId);
}

template <class R>
QVariantList ValuesOf(const R& r, bool withId)
{
    QVariantList values;
    values.reserve(qsizetype(TableOf<R>::Columns().size()) + 1);
    AppendValues(r, values, withId);
    return values;
}

} // namespace

// ---------------------------------------------------------------- base

CStoreTableBase::CStoreTableBase(CStoreDB_Handler* store, StoreHost& host, const TableInfo& info)
    : m_store(store), m_host(host), m_info(info), m_table(info.name), m_ownerInbox(CThreadInbox::OfThisThread())
{
}

CStoreTableBase::~CStoreTableBase()
{
    m_ownerInbox.Discard(this);
}

bool CStoreTableBase::IsOwnerThread() const { return m_host.IsOwnerThread(); }

void CStoreTableBase::PostToOwner(std::function<void()> fn)
{
    // Queued to the owner thread's inbox: runs there, in order with whatever the caller
    // reports to that thread afterwards, and not at all once the table is gone.
    m_ownerInbox.Post(this, std::move(fn));
}

StoreConnection& CStoreTableBase::Connection() const
{
    QString error;
    StoreConnection* c = m_host.Connection(&error);
    if (!c)
        throw CDBException(error);
    return *c;
}

int CStoreTableBase::DeleteAllRows()
{
    return Connection().Exec(QStringLiteral("DELETE FROM %1").arg(m_table), {});
}

int CStoreTableBase::DeleteWhereColumn(const QString& column, const QVariant& value)
{
    return Connection().Exec(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(m_table, column), {value});
}

int CStoreTableBase::UpdateColumnWhere(const QString& setColumn, const QVariant& setValue, const QString& whereColumn,
                                       const QVariant& whereValue)
{
    if (whereColumn.isEmpty())
        return Connection().Exec(QStringLiteral("UPDATE %1 SET %2=?").arg(m_table, setColumn), {setValue});
    return Connection().Exec(QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(m_table, setColumn, whereColumn),
                             {setValue, whereValue});
}

// ---------------------------------------------------------------- table

// A blank record per thread, handed out for a slip (index past the end, no cursor open).
template <class R>
static R& Blank()
{
    static thread_local R blank;
    blank = R{};
    return blank;
}

template <class R>
CStoreTable<R>::CStoreTable(CStoreDB_Handler* store, StoreHost& host) : CStoreTableBase(store, host, InfoOf<R>())
{
}

template <class R>
CStoreTable<R>::~CStoreTable() = default;

template <class R>
bool CStoreTable<R>::ReadAll(std::vector<R>& rows, QString* error)
{
    StoreConnection* c = m_host.Connection(error);
    if (!c)
        return false;
    // A reload finds about as many records as last time: room for them saves moving the rows
    // over and over as they come. (The cached list is the owner thread's to look at.)
    if (IsOwnerThread())
        rows.reserve(m_list.size() + m_list.size() / 8);
    RecordSink<R> sink(rows);
    if (!c->ReadAll(m_info, sink, error)) {
        rows.clear();
        return false;
    }
    InKeyOrder(rows);
    return true;
}

template <class R>
const R& CStoreTable<R>::At(int i) const
{
    if (i < 0 || i >= GetCount())
        return Blank<R>();
    return m_list[size_t(i)];
}

template <class R>
R& CStoreTable<R>::PatchAt(int i)
{
    if (i < 0 || i >= GetCount())
        return Blank<R>();
    KeyIndexStale();
    return m_list[size_t(i)];
}

template <class R>
void CStoreTable<R>::Renumber(size_t from)
{
    for (size_t k = from; k < m_list.size(); ++k)
        m_list[k].Position = int32_t(k + 1);
}

template <class R>
int CStoreTable<R>::IndexOf(int32_t id) const
{
    // The list is in ID order: reloads read it so, appends have the highest ID, removals keep it.
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), id, [](const R& r, int32_t v) { return r.ID < v; });
    return it != m_list.end() && it->ID == id ? int(it - m_list.begin()) : -1;
}

template <class R>
const R* CStoreTable<R>::FindById(int32_t id) const
{
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &m_list[size_t(i)];
}

template <class R>
void CStoreTable<R>::BuildKeyIndex() const
{
    if (!SecondaryKey<R>::kHas || !m_keyStale)
        return;
    m_byKey.clear();
    for (const R& r : m_list)
        m_byKey[SecondaryKey<R>::Of(r)].push_back(r.ID);
    m_keyStale = false;
}

template <class R>
std::vector<int> CStoreTable<R>::IndicesOfKey(const Key& key) const
{
    std::vector<int> out;
    if (!SecondaryKey<R>::kHas)
        return out;
    BuildKeyIndex();
    const auto it = m_byKey.constFind(key);
    if (it == m_byKey.cend())
        return out;
    out.reserve(it->size());
    for (int32_t id : *it) {
        const int i = IndexOf(id);
        if (i >= 0)
            out.push_back(i);
    }
    return out;
}

template <class R>
int CStoreTable<R>::FirstIndexOfKey(const Key& key) const
{
    if (!SecondaryKey<R>::kHas)
        return -1;
    BuildKeyIndex();
    const auto it = m_byKey.constFind(key);
    if (it == m_byKey.cend())
        return -1;
    for (int32_t id : *it) {
        const int i = IndexOf(id);
        if (i >= 0)
            return i;
    }
    return -1;
}

template <class R>
bool CStoreTable<R>::PatchById(int32_t id, const std::function<void(R&)>& fn)
{
    const int i = IndexOf(id);
    if (i < 0)
        return false;
    R& r = m_list[size_t(i)];
    if (!SecondaryKey<R>::kHas || m_keyStale) {
        fn(r);
        r.ID = id;
        return true;
    }
    const Key before = SecondaryKey<R>::Of(r);
    fn(r);
    r.ID = id;
    const Key after = SecondaryKey<R>::Of(r);
    if (!(before == after)) {
        auto it = m_byKey.find(before);
        if (it != m_byKey.end()) {
            it->erase(std::remove(it->begin(), it->end(), id), it->end());
            if (it->empty())
                m_byKey.erase(it);
        }
        std::vector<int32_t>& ids = m_byKey[after];
        ids.insert(std::lower_bound(ids.begin(), ids.end(), id), id);
    }
    return true;
}

template <class R>
void CStoreTable<R>::Append(const R& rec)
{
    if (m_list.empty() || m_list.back().ID < rec.ID) {
        m_list.push_back(rec);
        m_list.back().Position = int32_t(m_list.size());
        if (SecondaryKey<R>::kHas && !m_keyStale)
            m_byKey[SecondaryKey<R>::Of(rec)].push_back(rec.ID);
        return;
    }
    const auto it = std::lower_bound(m_list.begin(), m_list.end(), rec.ID, [](const R& r, int32_t v) { return r.ID < v; });
    if (it != m_list.end() && it->ID == rec.ID) {
        *it = rec;   // already there: the newer values win
        it->Position = int32_t(it - m_list.begin() + 1);
    } else {
        const size_t at = size_t(m_list.insert(it, rec) - m_list.begin());
        Renumber(at);
    }
    KeyIndexStale();
}

template <class R>
int CStoreTable<R>::RemoveIds(const std::vector<int32_t>& ids)
{
    if (ids.empty() || m_list.empty())
        return 0;
    std::vector<int32_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    // One merge-like pass over the list (both in ID order).
    size_t k = 0;
    return RemoveWhere([&](const R& r) {
        while (k < sorted.size() && sorted[k] < r.ID)
            ++k;
        return k < sorted.size() && sorted[k] == r.ID;
    });
}

template <class R>
int CStoreTable<R>::RemoveWhere(const std::function<bool(const R&)>& pred)
{
    const auto first = std::find_if(m_list.begin(), m_list.end(), pred);
    if (first == m_list.end())
        return 0;
    const size_t from = size_t(first - m_list.begin());
    const auto end = std::remove_if(first, m_list.end(), pred);
    const int removed = int(m_list.end() - end);
    m_list.erase(end, m_list.end());
    Renumber(from);
    KeyIndexStale();
    return removed;
}

template <class R>
void CStoreTable<R>::Apply(std::vector<R>&& rows, uint64_t generation)
{
    if (generation < m_listGeneration)
        return;   // a newer reload is already in place
    m_listGeneration = generation;
    m_list = std::move(rows);
    Renumber(0);
    KeyIndexStale();
}

template <class R>
int CStoreTable<R>::_Requery()
{
    const uint64_t generation = ++m_generations;
    std::vector<R> rows;
    const bool ok = ReadAll(rows, nullptr);
    if (IsOwnerThread()) {
        if (ok)
            Apply(std::move(rows), generation);
        return ok ? 1 : 0;
    }
    m_host.ReleaseIfIdle();
    if (!ok)
        return 0;
    PostToOwner([this, rows = std::move(rows), generation]() mutable { Apply(std::move(rows), generation); });
    return 1;
}

template <class R>
int CStoreTable<R>::RemoveAt(int i)
{
    if (i < 0 || i >= GetCount())
        return 0;
    m_list.erase(m_list.begin() + i);
    Renumber(size_t(i));
    KeyIndexStale();
    return 1;
}

template <class R>
void CStoreTable<R>::RemoveAllData()
{
    m_list.clear();
    KeyIndexStale();
}

// ---------------------------------------------------------------- cursor

template <class R>
typename CStoreTable<R>::Cursor* CStoreTable<R>::Find() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_cursors.find(StoreThreadId());
    return it == m_cursors.end() ? nullptr : const_cast<Cursor*>(&it->second);
}

template <class R>
typename CStoreTable<R>::Cursor& CStoreTable<R>::Need(const char* what)
{
    Cursor* c = Find();
    if (!c)
        throw CDBException(QStringLiteral("%1: the record set of %2 is not open.").arg(QLatin1String(what), m_table));
    return *c;
}

template <class R>
bool CStoreTable<R>::IsOpen() const
{
    return Find() != nullptr;
}

template <class R>
int CStoreTable<R>::Open()
{
    const uint64_t me = StoreThreadId();
    if (IsOpen())
        Close();
    // The table must be there and readable; its rows are read when the cursor is walked.
    QString error;
    StoreConnection* conn = m_host.Connection(&error);
    const bool ok = conn && conn->Probe(m_info, &error);
    QMutexLocker lock(&m_cursorMutex);
    if (!ok) {
        m_openErrors[me] = error;
        lock.unlock();
        m_host.ReleaseIfIdle();
        return 0;
    }
    m_openErrors.erase(me);
    m_cursors[me] = Cursor{};
    lock.unlock();
    m_host.CursorOpened();
    return 1;
}

template <class R>
QString CStoreTable<R>::OpenError() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_openErrors.find(StoreThreadId());
    return it == m_openErrors.end() ? QString() : it->second;
}

template <class R>
void CStoreTable<R>::Close()
{
    {
        QMutexLocker lock(&m_cursorMutex);
        if (m_cursors.erase(StoreThreadId()) == 0)
            return;
    }
    m_host.CursorClosed();
}

template <class R>
void CStoreTable<R>::Load(Cursor& c)
{
    if (c.loaded)
        return;
    std::vector<R> rows;
    QString error;
    if (!ReadAll(rows, &error))
        throw CDBException(error);
    c.rows = std::move(rows);
    c.loaded = true;
    c.cur = 0;
    c.deletedHere = false;
    if (c.mode == Cursor::None)
        Show(c);
}

template <class R>
void CStoreTable<R>::Show(Cursor& c)
{
    c.buf = c.cur < c.rows.size() ? c.rows[c.cur] : R{};
}

template <class R>
void CStoreTable<R>::Requery()
{
    Cursor& c = Need("Requery");
    c.loaded = false;
    c.mode = Cursor::None;
    Load(c);
}

template <class R>
bool CStoreTable<R>::IsEOF()
{
    Cursor* c = Find();
    if (!c)
        return true;
    Load(*c);
    return c->cur >= c->rows.size();
}

template <class R>
bool CStoreTable<R>::IsBOF()
{
    Cursor* c = Find();
    if (!c)
        return true;
    Load(*c);
    return c->rows.empty();
}

template <class R>
void CStoreTable<R>::MoveFirst()
{
    Cursor& c = Need("MoveFirst");
    Load(c);
    c.cur = 0;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::MoveNext()
{
    Cursor& c = Need("MoveNext");
    Load(c);
    if (c.deletedHere)
        c.deletedHere = false;   // the record after the deleted one is already current
    else if (c.cur < c.rows.size())
        ++c.cur;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::MoveLast()
{
    Cursor& c = Need("MoveLast");
    Load(c);
    c.cur = c.rows.empty() ? 0 : c.rows.size() - 1;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
void CStoreTable<R>::AddNew()
{
    Cursor& c = Need("AddNew");
    c.mode = Cursor::Adding;
    c.buf = R{};
}

template <class R>
void CStoreTable<R>::Edit()
{
    Cursor& c = Need("Edit");
    Load(c);
    if (c.cur >= c.rows.size() || c.deletedHere)
        throw CDBException(QStringLiteral("Edit: no current record in %1.").arg(m_table));
    c.mode = Cursor::Editing;
    c.buf = c.rows[c.cur];
}

template <class R>
R& CStoreTable<R>::Rec()
{
    Cursor* c = Find();
    if (!c)
        return Blank<R>();
    if (c->mode == Cursor::None && !c->loaded)
        Load(*c);
    return c->buf;
}

template <class R>
void CStoreTable<R>::CancelUpdate()
{
    Cursor* c = Find();
    if (!c || c->mode == Cursor::None)
        return;
    c->mode = Cursor::None;
    if (c->loaded)
        Show(*c);
}

template <class R>
int CStoreTable<R>::Update()
{
    Cursor& c = Need("Update");
    if (c.mode == Cursor::None)
        throw CDBException(QStringLiteral("Update: neither AddNew nor Edit was called for %1.").arg(m_table));
    StoreConnection& conn = Connection();
    if (c.mode == Cursor::Adding) {
        c.buf.ID = conn.Insert(m_info, ValuesOf(c.buf, false));
        if (c.buf.ID == 0)
            throw CDBException(QStringLiteral("Update: %1 gave the new record no ID.").arg(m_table));
        {
            QMutexLocker lock(&m_cursorMutex);
            m_lastAdded[StoreThreadId()] = c.buf.ID;
        }
        if (c.loaded)
            c.rows.push_back(c.buf);   // the highest ID so far: its place in table order is last
    } else {
        QVariantList values = ValuesOf(c.buf, false);
        values.append(c.buf.ID);
        if (conn.Update(m_info, values) == 0)
            throw CDBException(QStringLiteral("Update: record %1 of %2 no longer exists.").arg(c.buf.ID).arg(m_table));
        if (c.cur < c.rows.size())
            c.rows[c.cur] = c.buf;
    }
    c.mode = Cursor::None;
    if (c.loaded)
        Show(c);
    return 1;
}

template <class R>
void CStoreTable<R>::Delete()
{
    Cursor& c = Need("Delete");
    Load(c);
    if (c.cur >= c.rows.size() || c.deletedHere)
        throw CDBException(QStringLiteral("Delete: no current record in %1.").arg(m_table));
    DeleteById(c.rows[c.cur].ID);
    c.rows.erase(c.rows.begin() + long(c.cur));
    c.deletedHere = true;
    c.mode = Cursor::None;
    Show(c);
}

template <class R>
int CStoreTable<R>::Seek(int32_t id)
{
    Cursor& c = Need("Seek");
    c.rows.clear();
    RecordSink<R> sink(c.rows);
    // Inside a transaction the record stays locked until it ends, so another workstation cannot
    // delete it between this read and the update.
    Connection().Seek(m_info, id, m_host.InTransaction(), sink);
    c.loaded = true;
    c.cur = 0;
    c.deletedHere = false;
    c.mode = Cursor::None;
    Show(c);
    return c.rows.empty() ? 0 : 1;
}

template <class R>
int CStoreTable<R>::DeleteById(int32_t id)
{
    if (!Find())
        return DeleteWhereColumn(QStringLiteral("ID"), id) > 0 ? 1 : 0;
    return Connection().Delete(m_info, id) > 0 ? 1 : 0;
}

template <class R>
int CStoreTable<R>::UpdateRecords(const std::vector<R>& recs)
{
    Cursor& c = Need("UpdateRecords");
    if (recs.empty())
        return 0;
    std::vector<QVariantList> rows;
    rows.reserve(recs.size());
    for (const R& r : recs)
        rows.push_back(ValuesOf(r, true));
    // The records as the cursor last read them, in key order.
    const auto before = [&c](int32_t id, QVariantList& values) {
        const auto old = std::lower_bound(c.rows.begin(), c.rows.end(), id, [](const R& b, int32_t v) { return b.ID < v; });
        if (old == c.rows.end() || old->ID != id)
            return false;
        AppendValues(*old, values, true);
        return true;
    };
    return Connection().UpdateMany(m_info, rows, before);
}

template <class R>
int32_t CStoreTable<R>::GetLastAddedID() const
{
    QMutexLocker lock(&m_cursorMutex);
    auto it = m_lastAdded.find(StoreThreadId());
    return it == m_lastAdded.end() ? 0 : it->second;
}

template class CStoreTable<structLeser>;
template class CStoreTable<structTransponder>;
template class CStoreTable<structPerson>;
template class CStoreTable<structZeitschema>;
template class CStoreTable<structEvents>;
template class CStoreTable<structOnline>;
