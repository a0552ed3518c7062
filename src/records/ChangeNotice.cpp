#include "records/ChangeNotice.h"

#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/ScheduleOps.h"
#include "texts/CLanguageHandler.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <atomic>
#include <utility>

namespace {

std::atomic<int> g_intervalMs{1000};

// The watcher of each store handler; owner (GUI) thread only.
QHash<CStoreDB_Handler*, CChangeNotice*>& Watchers()
{
    static QHash<CStoreDB_Handler*, CChangeNotice*> watchers;
    return watchers;
}

// A file: the version moves when another connection committed. The events are read again only
// when their count or highest ID moved (they are added and deleted, never edited), the small
// tables every time: together they take a few milliseconds at a site's sizes.
class FileSource : public ChangeNoticeDetail::Source {
public:
    explicit FileSource(CStoreDB_Handler* store) : m_store(store)
    {
        m_version = Version();
        m_events = EventsMark();
    }

    QStringList Changed() override
    {
        const qint64 version = Version();
        if (version == m_version)
            return {};
        m_version = version;
        QStringList tables = CChangeNotice::SmallTables();
        const QString mark = EventsMark();
        if (mark != m_events) {
            m_events = mark;
            tables << QStringLiteral("tblEvents");
        }
        return tables;
    }

private:
    QSqlDatabase Db() const
    {
        QString name;
        if (!m_store->ThreadConnection(name, nullptr))
            return {};
        return QSqlDatabase::database(name, false);
    }
    qint64 Version() const
    {
        QSqlQuery q(Db());
        if (!q.exec(QStringLiteral("PRAGMA data_version")) || !q.next())
            return m_version;   // not readable now: no news
        return q.value(0).toLongLong();
    }
    QString EventsMark() const
    {
        QSqlQuery q(Db());
        if (!q.exec(QStringLiteral("SELECT count(*), max(ID) FROM tblEvents")) || !q.next())
            return m_events;
        return q.value(0).toString() + QLatin1Char('/') + q.value(1).toString();
    }

    CStoreDB_Handler* m_store;
    qint64 m_version = -1;
    QString m_events;
};

} // namespace

namespace ChangeNoticeDetail {
std::unique_ptr<Source> MakeFileSource(CStoreDB_Handler* store) { return std::make_unique<FileSource>(store); }
} // namespace ChangeNoticeDetail

CChangeNotice::CChangeNotice(CStoreDB_Handler* store, QObject* parent) : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(g_intervalMs.load());
    connect(m_timer, &QTimer::timeout, this, [this] { CheckNow(); });
    // Notices from a server come statement by statement: those that arrive close together are
    // taken in one reload.
    m_soon = new QTimer(this);
    m_soon->setSingleShot(true);
    m_soon->setInterval(100);
    connect(m_soon, &QTimer::timeout, this, [this] { CheckNow(); });
    SetStore(store);
}

CChangeNotice::~CChangeNotice() { Detach(); }

void CChangeNotice::SetIntervalMs(int ms) { g_intervalMs = ms; }

void CChangeNotice::SetStore(CStoreDB_Handler* store)
{
    Detach();
    m_store = store;
    Attach();
}

void CChangeNotice::Attach()
{
    if (!m_store || !m_store->IsDatabaseOpen())
        return;
    Watchers().insert(m_store, this);
    if (m_store->IsShared())
        m_source = ChangeNoticeDetail::MakeServerSource(m_store, this, [this] { Woken(); });
    else
        m_source = ChangeNoticeDetail::MakeFileSource(m_store);
    m_timer->start();
}

void CChangeNotice::Woken()
{
    Collect();
    // New events alone wait for the timer's round: a read run adds them one by one, and the
    // event list is the largest to read again.
    const bool onlyEvents = m_waiting.size() == 1 && m_waiting.front() == QLatin1String("tblEvents");
    if (!m_waiting.isEmpty() && !onlyEvents && !m_soon->isActive())
        m_soon->start();
}

void CChangeNotice::Collect()
{
    if (!m_source || m_store->InTransaction())
        return;
    for (const QString& t : m_source->Changed())
        if (!m_waiting.contains(t))
            m_waiting << t;
}

void CChangeNotice::Detach()
{
    m_timer->stop();
    m_soon->stop();
    m_source.reset();
    m_pending = false;
    m_waiting.clear();
    if (m_store && Watchers().value(m_store) == this)
        Watchers().remove(m_store);
}

QStringList CChangeNotice::CheckNow()
{
    // Inside a transaction of this thread the lists are being worked on: look later.
    if (!m_source || m_store->InTransaction())
        return {};
    Collect();
    if (m_waiting.isEmpty() || (m_hold && m_hold()))
        return {};
    const QStringList tables = std::exchange(m_waiting, {});
    emit AboutToReload(tables);
    ReloadTables(m_store, tables);
    emit TablesReloaded(tables);
    return tables;
}

void CChangeNotice::CatchUp(CStoreDB_Handler* store)
{
    if (!store)
        return;
    if (CChangeNotice* watcher = Watchers().value(store); watcher && watcher->m_source) {
        watcher->m_source->Sync();
        // A reader operation starts only with no editor open; it must not wait for one.
        const auto hold = std::exchange(watcher->m_hold, {});
        watcher->CheckNow();
        watcher->m_hold = hold;
        return;
    }
    ReloadTables(store, SmallTables());
}

QStringList CChangeNotice::AllTables() { return SmallTables() << QStringLiteral("tblEvents"); }

QStringList CChangeNotice::SmallTables()
{
    return {QStringLiteral("tblLeser"), QStringLiteral("tblTransponder"), QStringLiteral("tblPerson"),
            QStringLiteral("tblZeitschema")};
}

void CChangeNotice::ReloadTables(CStoreDB_Handler* store, const QStringList& tables)
{
    if (!store)
        return;
    if (tables.contains(QLatin1String("tblLeser")))
        store->Get_Ptr_To_tblLeser()->_Requery();
    if (tables.contains(QLatin1String("tblTransponder")))
        store->Get_Ptr_To_tblTransponder()->_Requery();
    if (tables.contains(QLatin1String("tblPerson")))
        store->Get_Ptr_To_tblPerson()->_Requery();
    if (tables.contains(QLatin1String("tblZeitschema"))) {
        store->Get_Ptr_To_tblZeitschema()->_Requery();
        const CLanguageHandler* lang = store->GetLanguageHandler();
        const uint32_t language = lang ? lang->GetAktivLanguage() : Settings::ReadLanguage();
        ScheduleOps::CacheFullAccessName(store->Get_Ptr_To_tblZeitschema(), language == 1);
    }
    if (tables.contains(QLatin1String("tblEvents")))
        store->Get_Ptr_To_tblEvents()->_Requery();
}
