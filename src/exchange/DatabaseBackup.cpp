#include "exchange/DatabaseBackup.h"

#include "base/Paths.h"
#include "base/ReaderRuns.h"
#include "base/Settings.h"
#include "base/TimeStamp.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/RecordOps.h"
#include "texts/CLanguageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DatabaseBackup {

namespace {

const QString kBackupPath = QStringLiteral("BackupPath");

std::function<void(const char*)>& StageHook()
{
    static std::function<void(const char*)> hook;
    return hook;
}

void Stage(const char* stage)
{
    if (const auto& hook = StageHook())
        hook(stage);
}

// Calls busy(1) now and busy(0) when it goes out of scope.
class Busy {
public:
    explicit Busy(const BusyFn& fn) : m_fn(fn) { if (m_fn) m_fn(1); }
    ~Busy() { if (m_fn) m_fn(0); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    const BusyFn& m_fn;
};

QString Text(CLanguageHandler* lang, uint32_t number)
{
    return lang ? lang->GetLangItem(number) : QString();
}

QString Pick(bool german, const char* de, const char* en)
{
    return QString::fromUtf8(german ? de : en);
}

QString SystemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A hidden name beside the target, unique within this process and among processes.
QString TempPathBeside(const QString& target)
{
    static std::atomic<int> serial{0};
    const QFileInfo fi(target);
    return fi.absolutePath() + QStringLiteral("/.") + fi.fileName() +
           QStringLiteral(".%1-%2.tmp").arg(QCoreApplication::applicationPid()).arg(++serial);
}

// The data of a file on the disk before it takes a good file's name, and the new name in its
// folder before the caller goes on.
bool SyncPath(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Puts a finished temporary file in place of target in one step. Empty on success.
QString ReplaceWith(const QString& temp, const QString& target)
{
    if (!SyncPath(temp, O_RDONLY))
        return SystemError();
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0)
        return SystemError();
    SyncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
    return {};
}

// Opens a regular file for reading, else says why not. A FIFO or a device is never read: it
// could block for ever or fill the disk beside the live database. Opened without waiting, so
// that a FIFO cannot hold the program up before it is recognised.
QString OpenRegularFile(const QString& path, QFile& file, CLanguageHandler* lang)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return SystemError();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Text(lang, 305);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return file.errorString();
    }
    return {};
}

QString RegularFileError(const QString& path, CLanguageHandler* lang)
{
    QFile file;
    return OpenRegularFile(path, file, lang);
}

// A plain copy of a regular file's bytes into a new file. Empty on success.
QString CopyBytes(const QString& from, const QString& to, CLanguageHandler* lang)
{
    QFile in;
    if (const QString why = OpenRegularFile(from, in, lang); !why.isEmpty())
        return why;
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return out.errorString();
    bool first = true;
    for (;;) {
        const QByteArray chunk = in.read(16 * 1024);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return in.errorString();
            break;
        }
        if (out.write(chunk) != chunk.size())
            return out.errorString();
        if (first) {
            first = false;
            if (!out.flush())
                return out.errorString();
            Stage("copied");
        }
    }
    if (!out.flush())
        return out.errorString();
    return {};
}

bool SameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

QString StartFolder()
{
    const QString last = Settings::ReadPath(kBackupPath);
    return last.isEmpty() ? QDir::homePath() : QFileInfo(last).absolutePath();
}

// Gives a finished temporary file the first of the names that no file has yet, in one step
// that fails rather than replace one (also one another program made meanwhile). Empty on
// success, with the name in *placed.
QString PlaceUnderNewName(const QString& temp, const std::function<QString(int)>& name, QString* placed)
{
    if (!SyncPath(temp, O_RDONLY))
        return SystemError();
    const QByteArray from = QFile::encodeName(temp);
    for (int n = 1; n < 1000; ++n) {
        const QString target = name(n);
        if (::link(from.constData(), QFile::encodeName(target).constData()) == 0) {
            ::unlink(from.constData());
            SyncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
            *placed = target;
            return {};
        }
        if (errno != EEXIST)
            return SystemError();
    }
    return QString::fromLocal8Bit(std::strerror(EEXIST));
}

// Where the safety copies of the store's database go: beside its file, or for a shared
// database in the per-user data folder, named after the database.
QString SafetyCopyBase(CStoreDB_Handler* store)
{
    if (!store->IsShared())
        return store->GetAktDBPath();
    QDir().mkpath(Paths::DataDir());
    return QDir(Paths::DataDir()).filePath(store->Location().database + QStringLiteral(".mdb"));
}

// The safety copy of the database before it is replaced or emptied: through the store when it
// is open (every committed change), else the file's bytes as they are. Named like
// SafetyCopyPath, with "_2", "_3" ... added when a copy of the same second exists: one copy
// never replaces another. Empty on success, with the name in *written.
QString WriteSafetyCopy(CStoreDB_Handler* store, const QString& databasePath, QString* written)
{
    const QString first = SafetyCopyPath(databasePath);
    *written = first;
    const QString temp = TempPathBeside(first);
    QString why;
    if (store && store->IsDatabaseOpen()) {
        if (!store->CopyDatabaseTo(temp, &why) && why.isEmpty())
            why = Text(store->GetLanguageHandler(), 218);
    } else {
        why = CopyBytes(databasePath, temp, store ? store->GetLanguageHandler() : nullptr);
    }
    if (why.isEmpty())
        why = PlaceUnderNewName(
            temp, [&](int n) { return n == 1 ? first : first.chopped(4) + QStringLiteral("_%1.mdb").arg(n); }, written);
    if (!why.isEmpty())
        QFile::remove(temp);
    return why;
}

bool RefusedWhileReaderRun(CLanguageHandler* lang) { return ReaderRuns::RefuseIfActive(Text(lang, 303)); }

// A shared database has no file to replace: the backup file's records take the place of the
// server's in one transaction, after a safety copy of the server's records (when wanted) into
// the per-user data folder, named after the database.
int RestoreShared(CStoreDB_Handler* store, const QString& path, const std::function<int(const QString&)>& refuse)
{
    CLanguageHandler* lang = store->GetLanguageHandler();
    const bool german = Settings::ReadLanguage() == 0;
    if (const QString why = RegularFileError(path, lang); !why.isEmpty())
        return refuse(why);
    if (const QString why = CStoreDB_Handler::CheckDatabaseFile(path, german); !why.isEmpty())
        return refuse(why);
    if (AskYesNo(Text(lang, 221))) {
        QString safety;
        if (const QString why = WriteSafetyCopy(store, SafetyCopyBase(store), &safety); !why.isEmpty()) {
            ShowWarning(Text(lang, 218) + QStringLiteral("\n\n") + QDir::toNativeSeparators(safety) + u'\n' + why);
            return 0;
        }
    }
    Stage("replacing");
    QString why;
    if (!store->RestoreFrom(path, &why))
        return refuse(why);
    return 1;
}

} // namespace

void SetStageHook(std::function<void(const char*)> hook) { StageHook() = std::move(hook); }

QString WithMdbExtension(const QString& path)
{
    // The rule looks at the file name only: a dot in a folder's name is no extension.
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype dot = path.indexOf(u'.', nameStart);
    if (dot < 0)
        return path + QStringLiteral(".mdb");
    if (!path.endsWith(QStringLiteral(".mdb")))
        return path.left(dot) + QStringLiteral(".mdb");
    return path;
}

QString DefaultBackupName(uint32_t language, const QDateTime& now)
{
    return (language == 0 ? QStringLiteral("Backup_Velmora Manager_") : QStringLiteral("Backup_Velmoro Manager_")) +
           FileTimeStamp(now);
}

QString SafetyCopyPath(const QString& databasePath, const QDateTime& now)
{
    return databasePath.left(databasePath.size() - 4) + QStringLiteral("_Backup_") + FileTimeStamp(now) +
           QStringLiteral(".mdb");
}

FileRequest BackupRequest(uint32_t language, const QDateTime& now)
{
    FileRequest r;
    r.save = true;
    r.title = language == 0 ? QStringLiteral("Datenbank backup ...") : QStringLiteral("Database backup ...");
    r.folder = StartFolder();
    r.fileName = DefaultBackupName(language, now);
    r.filter = language == 0 ? QStringLiteral("Access Dateien (*.mdb)") : QStringLiteral("Access files (*.mdb)");
    return r;
}

FileRequest RestoreRequest(uint32_t language)
{
    FileRequest r;
    r.save = false;
    r.title = language == 0 ? QStringLiteral("Datenbank re-backup ...") : QStringLiteral("Database re-backup ...");
    r.folder = StartFolder();
    r.filter = language == 0 ? QStringLiteral("Access Dateien (*.mdb)") : QStringLiteral("Access files (*.mdb)");
    return r;
}

QString WriteBackup(CStoreDB_Handler* store, const QString& target)
{
    const bool german = Settings::ReadLanguage() == 0;
    if (!store || !store->IsDatabaseOpen())
        return store ? store->DatabaseError() : Pick(german, "Keine Datenbank geöffnet.", "No database is open.");
    if (!store->IsShared() && SameFile(target, store->GetAktDBPath()))
        return Pick(german, "Die Sicherung kann nicht die Datenbank selbst ersetzen.",
                    "The backup cannot replace the database itself.");
    if (QFileInfo(target).isDir())
        return Pick(german, "Das Ziel ist ein Ordner.", "The target is a folder.");
    const QString temp = TempPathBeside(target);
    QString why;
    if (!store->CopyDatabaseTo(temp, &why)) {
        QFile::remove(temp);
        return why;
    }
    why = ReplaceWith(temp, target);
    if (!why.isEmpty())
        QFile::remove(temp);
    return why;
}

int Backup(CStoreDB_Handler* store, const BusyFn& busy)
{
    CLanguageHandler* lang = store ? store->GetLanguageHandler() : nullptr;
    if (RefusedWhileReaderRun(lang))
        return 0;
    const uint32_t language = Settings::ReadLanguage();
    const QString chosen = ChooseFile(BackupRequest(language));
    if (chosen.isEmpty())
        return 0;
    const QString path = WithMdbExtension(chosen);
    if (!MayReplaceRenamed(chosen, path, Text(lang, 304)))
        return 0;
    Busy scope(busy);
    Settings::WritePath(kBackupPath, path);
    return BackupFile(store, path);
}

int BackupFile(CStoreDB_Handler* store, const QString& path)
{
    CLanguageHandler* lang = store ? store->GetLanguageHandler() : nullptr;
    if (RefusedWhileReaderRun(lang))
        return 0;
    const QString why = WriteBackup(store, path);
    if (!why.isEmpty()) {
        ShowWarning(Text(lang, 218) + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) + u'\n' + why);
        return 0;
    }
    return 1;
}

int Restore(const StoreOwner& owner, const BusyFn& busy)
{
    CStoreDB_Handler* store = owner.current ? owner.current() : nullptr;
    if (!store || RefusedWhileReaderRun(store->GetLanguageHandler()))
        return 0;
    const QString chosen = ChooseFile(RestoreRequest(Settings::ReadLanguage()));
    if (chosen.isEmpty())
        return 0;
    const QString path = WithMdbExtension(chosen);
    Busy scope(busy);
    Settings::WritePath(kBackupPath, path);
    return RestoreFile(owner, path);
}

int RestoreFile(const StoreOwner& owner, const QString& path)
{
    CStoreDB_Handler* store = owner.current ? owner.current() : nullptr;
    if (!store)
        return 0;
    CLanguageHandler* lang = store->GetLanguageHandler();
    // The store handler is about to be deleted: no worker may be using it.
    if (RefusedWhileReaderRun(lang))
        return 0;
    const bool german = Settings::ReadLanguage() == 0;
    auto refuse = [&](const QString& why) {
        ShowWarning(Text(lang, 222) + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) + u'\n' + why);
        return 0;
    };
    if (store->IsShared())
        return RestoreShared(store, path, refuse);
    const QString databasePath = store->GetAktDBPath();
    if (SameFile(path, databasePath))
        return refuse(Pick(german, "Die Datei ist die geöffnete Datenbank selbst.", "The file is the open database itself."));

    // The new content goes beside the database and is checked there, so what is checked is
    // exactly what will be put in place.
    const QString temp = TempPathBeside(databasePath);
    QString why = CopyBytes(path, temp, lang);
    if (why.isEmpty())
        why = CStoreDB_Handler::CheckDatabaseFile(temp, german);
    if (!why.isEmpty()) {
        QFile::remove(temp);
        return refuse(why);
    }

    if (QFileInfo::exists(databasePath) && AskYesNo(Text(lang, 221))) {
        QString safety;
        why = WriteSafetyCopy(store, databasePath, &safety);
        if (!why.isEmpty()) {
            QFile::remove(temp);
            ShowWarning(Text(lang, 218) + QStringLiteral("\n\n") + QDir::toNativeSeparators(safety) + u'\n' + why);
            return 0;
        }
    }

    // An open database takes the new content through its own connection, inside SQLite's
    // locking: another program with the file open sees it at its next read and goes on writing
    // into it (a file renamed over the database would leave that program on the old one).
    if (store->IsDatabaseOpen()) {
        Stage("replacing");
        why.clear();
        const bool ok = store->RestoreFrom(temp, &why);
        QFile::remove(temp);
        return ok ? 1 : refuse(why);
    }

    // A database that could not be opened is replaced as a file: no program works on it.
    // Deleting the handler closes every connection; the last one to close writes the log into
    // the file and removes it. A log left behind anyway would be replayed into the new file,
    // so it goes before the file is replaced.
    store->FlushDatabaseFile();
    owner.release();
    store = nullptr;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(databasePath + QString::fromLatin1(suffix));
    Stage("replacing");
    why = ReplaceWith(temp, databasePath);
    if (!why.isEmpty())
        QFile::remove(temp);

    store = owner.recreate ? owner.recreate() : nullptr;
    if (!why.isEmpty()) {
        ShowWarning(Text(lang, 222) + QStringLiteral("\n\n") + why);
        return 0;
    }
    if (store && !store->IsDatabaseOpen()) {
        ShowError(store->DatabaseError());
        return 0;
    }
    return 1;
}

int ClearAll(CStoreDB_Handler* store, const BusyFn& busy)
{
    if (!store)
        return 0;
    CLanguageHandler* lang = store->GetLanguageHandler();
    if (RefusedWhileReaderRun(lang) || !AskDestructive(Text(lang, 223)))
        return 0;
    Busy scope(busy);

    // Nothing is emptied that cannot be had back.
    QString safety;
    if (const QString why = WriteSafetyCopy(store, SafetyCopyBase(store), &safety); !why.isEmpty()) {
        ShowWarning(Text(lang, 218) + QStringLiteral("\n\n") + QDir::toNativeSeparators(safety) + u'\n' + why);
        return 0;
    }

    CtblLeser* readers = store->Get_Ptr_To_tblLeser();
    CtblEvents* events = store->Get_Ptr_To_tblEvents();
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    CtblZeitschema* schedules = store->Get_Ptr_To_tblZeitschema();

    // All of it or nothing: a half-cleared database would hold transponders of deleted persons.
    bool ok = false;
    {
        CStoreTransaction tx(store);
        if (!tx.Started()) {
            ShowError(Text(lang, 83) + u'\n' + Text(lang, 84));
            return 0;
        }
        ok = DeleteRecordsWhere(readers, {}) == RecordResult::Done &&
             DeleteRecordsWhere(events, {}) == RecordResult::Done &&
             DeleteRecordsWhere(persons, {}) == RecordResult::Done &&
             DeleteRecordsWhere(transponders, {}) == RecordResult::Done &&
             DeleteRecordsWhere(schedules, [](const structZeitschema& z) { return !IsFullAccessName(z.Name); }) ==
                 RecordResult::Done;
        // A failed step has shown its message already; only a failed commit is new.
        if (ok && !tx.Commit()) {
            ok = false;
            ShowExclamation(Pick(Settings::ReadLanguage() == 0, "Die Änderungen konnten nicht gespeichert werden.",
                                 "The changes could not be stored."));
        }
    }
    readers->_Requery();
    events->_Requery();
    persons->_Requery();
    transponders->_Requery();
    schedules->_Requery();
    if (ok)
        ShowInfo(Text(lang, 306) + QStringLiteral("\n\n") + QDir::toNativeSeparators(safety));
    return ok ? 1 : 0;
}

} // namespace DatabaseBackup
