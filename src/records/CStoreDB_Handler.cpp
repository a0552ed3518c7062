#include "records/CStoreDB_Handler.h"

#include "base/Paths.h"
#include "base/Settings.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <functional>

namespace {

std::atomic<uint64_t> g_threadIds{0};
std::function<void()>& BeforeCommitHook()
{
    static std::function<void()> hook;
    return hook;
}
std::atomic<uint64_t> g_handlers{0};

const char* const kSchema[] = {
    "CREATE TABLE tblLeser (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT NOT NULL DEFAULT '', "
    "Info TEXT NOT NULL DEFAULT '', Identity TEXT NOT NULL DEFAULT '', Changed INTEGER NOT NULL DEFAULT 0, "
    "Model TEXT NOT NULL DEFAULT '', SwitchTime TEXT NOT NULL DEFAULT '', Params TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE tblTransponder (ID INTEGER PRIMARY KEY AUTOINCREMENT, Number TEXT NOT NULL DEFAULT '', "
    "PersonID INTEGER NOT NULL DEFAULT 0, ScheduleID INTEGER NOT NULL DEFAULT 0, "
    "Readers TEXT NOT NULL DEFAULT '', Changed INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE tblPerson (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT NOT NULL DEFAULT '', "
    "TransponderID INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE tblZeitschema (ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT NOT NULL DEFAULT '', "
    "\"From\" TEXT NOT NULL DEFAULT '', \"To\" TEXT NOT NULL DEFAULT '', "
    "Day0 INTEGER NOT NULL DEFAULT 0, Day1 INTEGER NOT NULL DEFAULT 0, Day2 INTEGER NOT NULL DEFAULT 0, "
    "Day3 INTEGER NOT NULL DEFAULT 0, Day4 INTEGER NOT NULL DEFAULT 0, Day5 INTEGER NOT NULL DEFAULT 0, "
    "Day6 INTEGER NOT NULL DEFAULT 0, Changed INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE tblEvents (ID INTEGER PRIMARY KEY AUTOINCREMENT, TransponderNo TEXT NOT NULL DEFAULT '', "
    "Date TEXT NOT NULL DEFAULT '', Time TEXT NOT NULL DEFAULT '', ClassCode TEXT NOT NULL DEFAULT '', "
    "ClassText TEXT NOT NULL DEFAULT '', DetailCode TEXT NOT NULL DEFAULT '', DetailText TEXT NOT NULL DEFAULT '', "
    "ReaderID INTEGER NOT NULL DEFAULT 0, ReaderName TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE tblOnline (ID INTEGER PRIMARY KEY AUTOINCREMENT, Online INTEGER NOT NULL DEFAULT 0)",
};
// Indexes for the columns the program looks records up by. None is UNIQUE: whether a duplicate
// is allowed is the program's decision, made where records are entered.
const char* const kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS idxTransponderNumber ON tblTransponder (Number)",
    "CREATE INDEX IF NOT EXISTS idxTransponderPerson ON tblTransponder (PersonID)",
    "CREATE INDEX IF NOT EXISTS idxTransponderSchedule ON tblTransponder (ScheduleID)",
    "CREATE INDEX IF NOT EXISTS idxPersonTransponder ON tblPerson (TransponderID)",
    "CREATE INDEX IF NOT EXISTS idxScheduleName ON tblZeitschema (Name)",
    "CREATE INDEX IF NOT EXISTS idxEventsReader ON tblEvents (ReaderID)",
};
// Schema versions: 0 the six tables only, 1 with the indexes above.
constexpr int kSchemaVersion = 1;

const char* const kTables[] = {"tblLeser", "tblTransponder", "tblPerson", "tblZeitschema", "tblEvents", "tblOnline"};

// A failure always has a reason, even when the driver gives no text.
QString Reason(const QString& text)
{
    return text.trimmed().isEmpty() ? QStringLiteral("unknown error") : text;
}

bool Exec(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

} // namespace

void CStoreDB_Handler::SetBeforeCommitHook(std::function<void()> hook) { BeforeCommitHook() = std::move(hook); }
void CStoreDB_Handler::RunBeforeCommitHook()
{
    if (const auto& hook = BeforeCommitHook())
        hook();
}

uint64_t CStoreDB_Handler::CurrentThreadId()
{
    // Never reused, unlike thread handles, so a finished worker's name is never taken over.
    thread_local const uint64_t id = ++g_threadIds;
    return id;
}

CStoreDB_Handler::CStoreDB_Handler(CLanguageHandler* lang)
    : m_lang(lang), m_ownerThread(CurrentThreadId()),
      m_prefix(QStringLiteral("vmstore%1_").arg(++g_handlers))
{
    m_path = ResolvePath();
    Open();
}

CStoreDB_Handler::CStoreDB_Handler(CLanguageHandler* lang, const QString& path)
    : m_lang(lang), m_ownerThread(CurrentThreadId()),
      m_prefix(QStringLiteral("vmstore%1_").arg(++g_handlers))
{
    m_path = QFileInfo(path).absoluteFilePath();
    Open();
}

void CStoreDB_Handler::Open()
{
    const QString why = OpenDatabase();
    if (why.isEmpty()) {
        m_open = true;
        LoadAll();
        return;
    }
    const bool german = !m_lang || m_lang->GetAktivLanguage() == 0;
    m_error = (german ? QStringLiteral("Die Datenbank \"%1\" kann nicht geöffnet werden:\n%2")
                      : QStringLiteral("The database \"%1\" cannot be opened:\n%2"))
                  .arg(QDir::toNativeSeparators(m_path), why);
    CloseConnections();
}

CStoreDB_Handler::~CStoreDB_Handler()
{
    if (m_open)
        FlushDatabaseFile();
    CloseConnections();
}

void CStoreDB_Handler::CloseConnections()
{
    QMutexLocker lock(&m_connMutex);
    for (auto& [thread, conn] : m_conns) {
        {
            // Only the owner's connection may be used here; the others are just let go.
            if (thread == m_ownerThread) {
                QSqlDatabase db = QSqlDatabase::database(conn.name, false);
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(conn.name);
    }
    m_conns.clear();
}

bool CStoreDB_Handler::IsOwnerThread() const { return CurrentThreadId() == m_ownerThread; }

QString CStoreDB_Handler::ResolvePath() const
{
    const QString configured =
        CSettingsStore().ReadString(1, QString::fromLatin1(kSettingsKey), QString::fromLatin1(SettingDBPath())).trimmed();
    if (!configured.isEmpty())
        return QFileInfo(configured).absoluteFilePath();
    return QDir(Paths::DataDir()).absoluteFilePath(QString::fromLatin1(DefaultFileName()));
}

bool CStoreDB_Handler::Connect(const QString& name, QString* error)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_path);
    // A second writer waits for the first instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    // Per connection: commits go to the log without waiting for the disk (see the header).
    if (!Exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), error))
        return false;
    return true;
}

QString CStoreDB_Handler::OpenDatabase()
{
    const bool german = !m_lang || m_lang->GetAktivLanguage() == 0;

    const QFileInfo fi(m_path);
    const bool existed = fi.exists();
    if (existed && !fi.isFile())
        return Reason(german ? QStringLiteral("Der Pfad ist keine Datei.") : QStringLiteral("The path is not a file."));
    if (!existed && !QDir().mkpath(fi.absolutePath()))
        return Reason(german ? QStringLiteral("Der Ordner kann nicht angelegt werden.")
                           : QStringLiteral("The folder cannot be created."));
    if (existed && !fi.isReadable())
        return Reason(german ? QStringLiteral("Die Datei ist nicht lesbar.") : QStringLiteral("The file is not readable."));

    const QString name = m_prefix + QString::number(m_ownerThread);
    {
        QMutexLocker lock(&m_connMutex);
        m_conns[m_ownerThread].name = name;
    }
    QString error;
    if (!Connect(name, &error))
        return Reason(error);

    QSqlDatabase db = QSqlDatabase::database(name, false);   // released before any removal
    // Read first, change nothing until the file has proved to be a sound database.
    QStringList missing;
    if (const QString why = InspectDatabase(db, existed, german, &missing); !why.isEmpty())
        return why;
    const bool fresh = missing.size() == int(std::size(kTables));

    if (!Exec(db, QStringLiteral("PRAGMA journal_mode=WAL"), &error))
        return Reason(error);
    if (!missing.isEmpty()) {
        // A new database, or one that lacks a table: add what is missing in one go.
        if (!db.transaction())
            return Reason(db.lastError().text());
        bool ok = true;
        for (size_t i = 0; ok && i < std::size(kTables); ++i)
            if (missing.contains(QString::fromLatin1(kTables[i])))
                ok = Exec(db, QString::fromLatin1(kSchema[i]), &error);
        if (ok && fresh) {
            // The full-access schedule: new transponders refer to its head window, ID 1.
            for (int w = 0; ok && w < 4; ++w)
                ok = Exec(db,
                          QStringLiteral("INSERT INTO tblZeitschema (ID, Name, \"From\", \"To\", Day0, Day1, Day2, "
                                         "Day3, Day4, Day5, Day6, Changed) VALUES (%1, '%2', '0000', '2359', "
                                         "1, 1, 1, 1, 1, 1, 1, 0)")
                              .arg(w + 1)
                              .arg(kFullAccessDe),
                          &error);
        }
        if (!ok) {
            db.rollback();
            return Reason(error);
        }
        if (!db.commit())
            return Reason(db.lastError().text());
    }
    return UpgradeSchema(db);
}

// Reads the tables and, for an existing file, checks its pages; changes nothing. Empty when
// the file is a sound database that is either new (no tables at all) or one of this program;
// missing receives the program's tables it lacks.
QString CStoreDB_Handler::InspectDatabase(QSqlDatabase& db, bool existed, bool german, QStringList* missing)
{
    QStringList tables;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
            return Reason(q.lastError().text());
        while (q.next())
            tables << q.value(0).toString();
    }
    if (existed) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
            return Reason(q.lastError().text());
        if (q.value(0).toString() != QStringLiteral("ok"))
            return Reason(q.value(0).toString());
    }
    missing->clear();
    for (const char* t : kTables)
        if (!tables.contains(QString::fromLatin1(t)))
            *missing << QString::fromLatin1(t);
    const bool fresh = missing->size() == int(std::size(kTables));
    const bool foreign = fresh && tables.size() > (tables.contains(QStringLiteral("sqlite_sequence")) ? 1 : 0);
    if (foreign)
        return Reason(german ? QStringLiteral("Die Datei enthält keine Tabellen dieses Programms.")
                             : QStringLiteral("The file holds no tables of this program."));
    return {};
}

QString CStoreDB_Handler::CheckDatabaseFile(const QString& path, bool german)
{
    const QFileInfo fi(path);
    if (!fi.isFile())
        return german ? QStringLiteral("Die Datei fehlt.") : QStringLiteral("The file does not exist.");
    if (!fi.isReadable())
        return german ? QStringLiteral("Die Datei ist nicht lesbar.") : QStringLiteral("The file is not readable.");
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("vmcheck_%1").arg(++serial);
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            why = Reason(db.lastError().text());
        } else {
            QStringList missing;
            why = InspectDatabase(db, true, german, &missing);
            // An empty file is a new database to the store, but nothing to put in place of one.
            if (why.isEmpty() && missing.size() == int(std::size(kTables)))
                why = german ? QStringLiteral("Die Datei enthält keine Tabellen dieses Programms.")
                             : QStringLiteral("The file holds no tables of this program.");
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return why;
}

int CStoreDB_Handler::CopyDatabaseTo(const QString& path, QString* error)
{
    QString name;
    if (!ThreadConnection(name, error))
        return 0;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        // VACUUM INTO reads one snapshot through the log, so the copy holds every committed
        // change, and writers are not held up meanwhile.
        ok = q.prepare(QStringLiteral("VACUUM INTO ?"));
        if (ok) {
            q.addBindValue(path);
            ok = q.exec();
        }
        if (!ok && error)
            *error = Reason(q.lastError().text());
    }
    ReleaseIfIdle();
    return ok ? 1 : 0;
}

QString CStoreDB_Handler::UpgradeSchema(QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return Reason(q.lastError().text());
    const int version = q.value(0).toInt();
    q.finish();
    if (version >= kSchemaVersion)
        return {};
    // In place and in one go: an upgrade that fails leaves the file as it was.
    QString error;
    if (!db.transaction())
        return Reason(db.lastError().text());
    bool ok = true;
    for (const char* sql : kIndexes)
        ok = ok && Exec(db, QString::fromLatin1(sql), &error);
    ok = ok && Exec(db, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), &error);
    if (!ok) {
        db.rollback();
        return Reason(error);
    }
    if (!db.commit())
        return Reason(db.lastError().text());
    return {};
}

// ---------------------------------------------------------------- transactions

int CStoreDB_Handler::BeginTransaction()
{
    QString name;
    if (!ThreadConnection(name, nullptr))
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
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        // IMMEDIATE takes the write lock now, so a second writer waits here rather than failing later.
        ok = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    QMutexLocker lock(&m_connMutex);
    if (!ok) {
        m_tx.erase(me);
        lock.unlock();
        ReleaseIfIdle();
        return 0;
    }
    m_tx[me] = TxState{1, false};
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

int CStoreDB_Handler::EndTransaction(bool commit)
{
    const uint64_t me = CurrentThreadId();
    bool outermost = false;
    bool failed = false;
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_tx.find(me);
        if (it == m_tx.end() || it->second.depth == 0)
            return 0;
        if (!commit)
            it->second.failed = true;
        failed = it->second.failed;
        outermost = --it->second.depth == 0;
        if (outermost)
            m_tx.erase(it);
    }
    if (!outermost)
        return failed ? 0 : 1;
    QString name;
    if (!ThreadConnection(name, nullptr))
        return 0;
    int committed = 0;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
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
    QString name;
    if (!ThreadConnection(name, nullptr))
        return 0;
    int ok = 0;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        // The first column is 1 when another connection kept the checkpoint from finishing.
        ok = q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && q.next() && q.value(0).toInt() == 0;
    }
    ReleaseIfIdle();
    return ok;
}

bool CStoreDB_Handler::ThreadConnection(QString& name, QString* error)
{
    if (!m_open) {
        if (error)
            *error = m_error;
        return false;
    }
    const uint64_t me = CurrentThreadId();
    {
        QMutexLocker lock(&m_connMutex);
        auto it = m_conns.find(me);
        if (it != m_conns.end()) {
            name = it->second.name;
            return true;
        }
        name = m_prefix + QString::number(me);
        m_conns[me].name = name;
    }
    if (Connect(name, error))
        return true;
    QMutexLocker lock(&m_connMutex);
    m_conns.erase(me);
    QSqlDatabase::removeDatabase(name);
    return false;
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
    if (it == m_conns.end() || it->second.cursors > 0)
        return;
    const QString name = it->second.name;
    m_conns.erase(it);
    { QSqlDatabase::database(name, false).close(); }
    QSqlDatabase::removeDatabase(name);
}
