#pragma once
// A connection of its own to the store's database, as another program (or workstation) would
// make; for the tests and the benchmarks. Needs only Qt SQL.
#include "records/StoreLocation.h"

#include <QSqlDatabase>
#include <QString>

namespace VmTest {

// Opened already; check isOpen() (a failed open leaves the reason in lastError()).
inline QSqlDatabase OutsideConnection(const StoreLocation& loc, const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(loc.IsShared() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
    if (loc.IsShared()) {
        if (!loc.host.isEmpty())
            db.setHostName(loc.host);
        if (loc.port >= 0)
            db.setPort(loc.port);
        db.setUserName(loc.user);
        db.setDatabaseName(loc.database);
    } else {
        db.setDatabaseName(loc.file);
    }
    db.open();
    return db;
}

} // namespace VmTest
