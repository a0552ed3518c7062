#include "base/TimeStamp.h"

#include <QString>

QByteArray LocalTimeText(const QDateTime& now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    return QString::asprintf("%02d-%02d-%04d/%02d:%02d:%02d.%03d", d.day(), d.month(), d.year(), t.hour(),
                                t.minute(), t.second(), t.msec()).toLatin1();
}

QString FileTimeStamp(const QDateTime& now)
{
    QByteArray text = LocalTimeText(now);
    text.chop(4);
    text.replace(':', "").replace('-', "").replace('/', '_');
    return QString::fromLatin1(text);
}
