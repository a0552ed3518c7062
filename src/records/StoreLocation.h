#pragma once
// Where the records live: a SQLite file on this computer (the default, nothing to set up) or a
// PostgreSQL database that several workstations share.
//
// The settings choose: "DBUrl" (postgresql://user@host:port/database) names a shared database;
// without it "DBPath" names the file, and without that the file is "VendrikManagerAIO.mdb" in
// the per-user data folder. A password never stands in a setting: libpq takes it from the user's
// ~/.pgpass by itself, and otherwise the store asks for it when it opens the database.
//
// URL form (that of libpq): postgresql://[user@][host][:port][/database][?name=value&...].
// A host that is a folder (a unix socket's) may be given percent-encoded or as ?host=/folder;
// further parameters (sslmode=require, connect_timeout=5, ...) go to libpq, each value quoted,
// so that nothing in a value can add a parameter of its own. A URL that carries a password
// anywhere (user:password@, ?password=, hidden in another part) or a control character is
// refused, and no message ever shows more of it than DisplayName.
#include <QString>
#include <QStringList>

struct StoreLocation {
    enum class Backend { SQLite, PostgreSQL };
    Backend backend = Backend::SQLite;
    QString file;              // SQLite: absolute path of the database file
    QString user;              // PostgreSQL: empty means the login name
    QString host;              // empty means libpq's default (the local socket)
    int port = -1;             // -1: libpq's default
    QString database;
    QStringList options;       // further "name=value" pairs for libpq, as given
    QString invalid;           // why the text given was no usable location (empty: usable)

    bool IsShared() const { return backend == Backend::PostgreSQL; }
    // The file path, or the URL (never with a password): what messages name.
    QString DisplayName() const;
    // The options as Qt's PostgreSQL driver takes them: "name='value'" pairs joined by ";",
    // each value quoted as libpq reads it.
    QString ConnectOptions() const;
    // Whether to ask the user for a password after a failed connection made with this one
    // (empty: none of ours; libpq still looks in ~/.pgpass): libpq's own verdict from a probing
    // connection, not its message, which speaks the user's language. True also when the server
    // refused the password given.
    bool ServerWantsPassword(const QString& password) const;

    // A postgresql:// or postgres:// URL, or else the path of a database file.
    static StoreLocation Parse(const QString& urlOrFile, bool german = true);
    // From the settings "DBUrl" and "DBPath" (see above).
    static StoreLocation FromSettings();
    static const char* SettingDBUrl() { return "DBUrl"; }
    static const char* SettingDBPath() { return "DBPath"; }
    static const char* DefaultFileName() { return "VendrikManagerAIO.mdb"; }
};
