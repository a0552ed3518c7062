#pragma once
// The one source of clock data and file-name stamps: the local time as
// "%02d-%02d-%04d/%02d:%02d:%02d.%03d" (day, month, year, hours, minutes, seconds, ms).
#include <QByteArray>
#include <QDateTime>

QByteArray LocalTimeText(const QDateTime& now = QDateTime::currentDateTime());
// DDMMYYYY_hhmmss: the text above without its last four characters, ":" and "-" removed,
// "/" replaced by "_".
QString FileTimeStamp(const QDateTime& now = QDateTime::currentDateTime());
