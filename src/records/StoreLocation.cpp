#include "records/StoreLocation.h"

#include "base/Paths.h"
#include "base/Settings.h"
#include "records/TextOps.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <libpq-fe.h>

#include <vector>

namespace {

bool IsUrl(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString Decoded(const QString& part) { return QUrl::fromPercentEncoding(part.toUtf8()); }

// libpq's quoting of a value in a connection string: in single quotes, with \ and ' escaped.
QString Quoted(QString value)
{
    value.replace(u'\\', QLatin1String("\\\\"));
    value.replace(u'\'', QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

QString StoreLocation::DisplayName() const
{
    if (!IsShared())
        return QDir::toNativeSeparators(file);
    QString url = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        url += user + u'@';
    url += host.startsWith(u'/') ? QString() : host;
    if (port >= 0)
        url += u':' + QString::number(port);
    url += u'/' + database;
    QStringList query;
    if (host.startsWith(u'/'))
        query << QStringLiteral("host=") + host;
    query << options;
    if (!query.isEmpty())
        url += u'?' + query.join(u'&');
    return url;
}

StoreLocation StoreLocation::Parse(const QString& urlOrFile, bool german)
{
    StoreLocation loc;
    const QString text = urlOrFile.trimmed();
    if (!IsUrl(text)) {
        loc.file = QFileInfo(text).absoluteFilePath();
        return loc;
    }
    loc.backend = Backend::PostgreSQL;
    auto refuse = [&](const char* de, const char* en) {
        loc.invalid = QString::fromUtf8(german ? de : en);
        return loc;
    };
    auto refusePassword = [&] {
        return refuse("Das Kennwort gehört nicht in die Einstellung DBUrl; es steht in ~/.pgpass oder "
                      "wird beim Öffnen erfragt.",
                      "The password does not belong in the DBUrl setting; put it in ~/.pgpass or type it "
                      "when asked.");
    };
    // Looked for in the decoded whole, wherever it hides: "?sslmode=require%20password=x" would
    // otherwise carry one in a value, into the settings file and every message naming the URL.
    const QString decoded = Decoded(text);
    static const QRegularExpression passwordPair(QStringLiteral("password\\s*="),
                                                 QRegularExpression::CaseInsensitiveOption);
    if (decoded.contains(passwordPair))
        return refusePassword();
    if (HasControlCharacter(decoded))
        return refuse("DBUrl enthält ein Steuerzeichen.", "DBUrl contains a control character.");
    // Taken apart by hand rather than with QUrl: libpq's form allows an empty host before a
    // user, a percent-encoded folder as host and several hosts, which QUrl does not all accept.
    QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
    QString query;
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    QString authority = rest;
    if (const qsizetype slash = rest.indexOf(u'/'); slash >= 0) {
        authority = rest.left(slash);
        loc.database = Decoded(rest.mid(slash + 1));
    }
    if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (userInfo.contains(u':'))
            return refusePassword();
        loc.user = Decoded(userInfo);
    }
    // host[:port]; an IPv6 address stands in brackets.
    QString portText;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0)
            return refuse("Die Adresse in DBUrl ist unvollständig.", "The address in DBUrl is incomplete.");
        loc.host = authority.mid(1, close - 1);
        if (authority.mid(close + 1).startsWith(u':'))
            portText = authority.mid(close + 2);
    } else if (const qsizetype colon = authority.lastIndexOf(u':'); colon >= 0) {
        loc.host = Decoded(authority.left(colon));
        portText = authority.mid(colon + 1);
    } else {
        loc.host = Decoded(authority);
    }
    for (const QString& pair : query.split(u'&', Qt::SkipEmptyParts)) {
        const QString name = Decoded(pair.section(u'=', 0, 0));
        const QString value = Decoded(pair.section(u'=', 1));
        // libpq's parameter names are lower-case words; Qt's driver cuts its options at ";".
        static const QRegularExpression keyword(QStringLiteral("^[a-z_]+$"));
        if (!keyword.match(name).hasMatch() || !pair.contains(u'='))
            return refuse("DBUrl enthält eine Angabe, die kein Verbindungsparameter der Form name=wert ist.",
                          "DBUrl holds an option that is no connection parameter of the form name=value.");
        if (value.contains(u';'))
            return refuse("Ein Wert in DBUrl darf kein \";\" enthalten.", "A value in DBUrl may not contain \";\".");
        if (name == QLatin1String("host"))
            loc.host = value;
        else if (name == QLatin1String("port"))
            portText = value;
        else if (name == QLatin1String("user"))
            loc.user = value;
        else if (name == QLatin1String("dbname"))
            loc.database = value;
        else
            loc.options << name + u'=' + value;
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        loc.port = portText.toInt(&ok);
        if (!ok || loc.port < 1 || loc.port > 65535)
            return refuse("Der Port in DBUrl ist keine Zahl von 1 bis 65535.",
                          "The port in DBUrl is not a number from 1 to 65535.");
    }
    if (loc.database.isEmpty())
        return refuse("DBUrl nennt keine Datenbank (…/datenbank am Ende).",
                      "DBUrl names no database (…/database at its end).");
    return loc;
}

QString StoreLocation::ConnectOptions() const
{
    QStringList quoted;
    for (const QString& option : options)
        quoted << option.section(u'=', 0, 0) + u'=' + Quoted(option.section(u'=', 1));
    return quoted.join(u';');
}

bool StoreLocation::ServerWantsPassword(const QString& password) const
{
    // The same parameters as the connection that failed, as keyword and value arrays: no
    // quoting to get wrong.
    std::vector<QByteArray> keys, values;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            keys.emplace_back(key);
            values.push_back(value.toUtf8());
        }
    };
    add("host", host);
    add("port", port >= 0 ? QString::number(port) : QString());
    add("user", user);
    add("dbname", database);
    add("password", password);
    bool timeoutGiven = false;
    for (const QString& option : options) {
        const QString name = option.section(u'=', 0, 0);
        timeoutGiven = timeoutGiven || name == QLatin1String("connect_timeout");
        add(name.toUtf8().constData(), option.section(u'=', 1));
    }
    // A server that cannot be reached has cost one wait already; the probe does not wait long.
    if (!timeoutGiven)
        add("connect_timeout", QStringLiteral("5"));
    std::vector<const char*> k, v;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        k.push_back(keys[i].constData());
        v.push_back(values[i].constData());
    }
    k.push_back(nullptr);
    v.push_back(nullptr);
    PGconn* conn = PQconnectdbParams(k.data(), v.data(), 0);
    const bool failed = PQstatus(conn) != CONNECTION_OK;
    // Needs one and had none; or the server asked for one and did not take the one given.
    const bool wants = failed && (PQconnectionNeedsPassword(conn) ||
                                  (!password.isEmpty() && PQconnectionUsedPassword(conn)));
    PQfinish(conn);
    return wants;
}

StoreLocation StoreLocation::FromSettings()
{
    const bool german = Settings::ReadLanguage() == 0;
    const QString key = QString::fromLatin1(kSettingsKey);
    const QString url = CSettingsStore().ReadString(1, key, QString::fromLatin1(SettingDBUrl())).trimmed();
    if (!url.isEmpty()) {
        StoreLocation loc = Parse(url, german);
        if (!loc.IsShared() && loc.invalid.isEmpty())
            loc.invalid = german ? QStringLiteral("DBUrl ist keine postgresql://-Adresse.")
                                 : QStringLiteral("DBUrl is no postgresql:// address.");
        loc.backend = Backend::PostgreSQL;
        return loc;
    }
    const QString path = CSettingsStore().ReadString(1, key, QString::fromLatin1(SettingDBPath())).trimmed();
    if (!path.isEmpty())
        return Parse(path, german);
    return Parse(QDir(Paths::DataDir()).absoluteFilePath(QString::fromLatin1(DefaultFileName())), german);
}
