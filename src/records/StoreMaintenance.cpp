#include "records/StoreMaintenance.h"

#include "records/CStoreDB_Handler.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace StoreMaintenance {

namespace {

// fsync works on the file, not on the descriptor: it writes what any connection appended.
// A missing file (no log yet) has nothing to sync.
bool SyncFile(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
    } else {
        const bool ok = ::fsync(fd) == 0;
        ::close(fd);
        if (ok)
            return true;
    }
    if (error)
        *error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool SyncServer(CStoreDB_Handler& store, QString* error)
{
    QString name;
    if (!store.ThreadConnection(name, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery q(db);
        // txid_current() gives the transaction an ID, so that its commit is written and waited for.
        ok = q.exec(QStringLiteral("BEGIN")) && q.exec(QStringLiteral("SET LOCAL synchronous_commit TO on")) &&
             q.exec(QStringLiteral("SELECT txid_current()")) && q.exec(QStringLiteral("COMMIT"));
        if (!ok) {
            if (error)
                *error = q.lastError().text();
            q.exec(QStringLiteral("ROLLBACK"));
        }
    }
    store.ReleaseIfIdle();
    return ok;
}

} // namespace

bool CommitDurably(CStoreDB_Handler& store, QString* error)
{
    if (!store.IsDatabaseOpen()) {
        if (error)
            *error = store.DatabaseError();
        return false;
    }
    if (store.IsShared())
        return SyncServer(store, error);
    const QString path = store.GetAktDBPath();
    return SyncFile(path + QStringLiteral("-wal"), error) && SyncFile(path, error);
}

} // namespace StoreMaintenance
