#pragma once
// The record store in one SQLite database file (see CStoreDB_Handler.h for its journal mode and
// durability). The tables' statements run on SQLite's own handle behind each Qt SQL connection,
// prepared once per connection; the rest goes through Qt SQL.
#include "records/StoreBackend.h"

// A connection of its own to a database file for a short job (checking a backup, copying to or
// from one), closed and let go when it goes out of scope.
class SqliteFileConnection {
public:
    SqliteFileConnection(const QString& path, bool readOnly);
    ~SqliteFileConnection();
    SqliteFileConnection(const SqliteFileConnection&) = delete;
    SqliteFileConnection& operator=(const SqliteFileConnection&) = delete;

    bool IsOpen() const { return m_error.isEmpty(); }
    const QString& Error() const { return m_error; }   // why it could not be opened
    QSqlDatabase& Db() { return m_db; }

private:
    QString m_name;
    QSqlDatabase m_db;
    QString m_error;
};

class SqliteBackend : public StoreBackend {
public:
    explicit SqliteBackend(QString path) : m_path(std::move(path)) {}

    // Whether the file at path is a sound database of this program (see CStoreDB_Handler.h).
    static QString CheckFile(const QString& path, bool german);

    QString CheckBeforeOpen(bool german) override;
    std::unique_ptr<StoreConnection> Connect(const QString& name, bool mayAsk, QString* error) override;
    QString Prepare(StoreConnection& c, bool german) override;
    int Flush(StoreConnection& c) override;
    int CopyTo(StoreConnection& c, const QString& path, QString* error) override;
    int RestoreFrom(StoreConnection& c, const QString& file, bool german, QString* error) override;

    QString KeyType() const override { return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"); }
    QString TableNamesSql() const override { return QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"); }
    int ReadVersion(QSqlDatabase& db, QString* error) const override;
    bool WriteVersion(QSqlDatabase& db, int version, QString* error) const override;
    QStringList OwnUpgradeStep(int) const override { return {}; }
    bool ResyncKeys(QSqlDatabase&, QString*) const override { return true; }   // AUTOINCREMENT follows by itself
    QString BookkeepingTable() const override { return QStringLiteral("sqlite_sequence"); }
    QString NoTablesText(bool german) const override;

private:
    QString m_path;
    bool m_existed = false;
};
