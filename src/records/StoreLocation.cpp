#include "records/StoreLocation.h"

#include "base/Paths.h"
#include "base/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

bool IsUrl(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString Decoded(const QString& part) { return QUrl::fromPercentEncoding(part.toUtf8()); }

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
            return refuse("Das Kennwort gehört nicht in die Einstellung DBUrl; es steht in ~/.pgpass oder "
                          "wird beim Öffnen erfragt.",
                          "The password does not belong in the DBUrl setting; put it in ~/.pgpass or type it "
                          "when asked.");
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
        if (name == QLatin1String("password"))
            return refuse("Das Kennwort gehört nicht in die Einstellung DBUrl; es steht in ~/.pgpass oder "
                          "wird beim Öffnen erfragt.",
                          "The password does not belong in the DBUrl setting; put it in ~/.pgpass or type it "
                          "when asked.");
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
