#pragma once
// Which events of the database a person looks for: a date range, one reader, a person or a
// transponder number, and the classes access, refused and alarm. The event table's filter row,
// the report and the command line all filter with this one function.
//
// Fast enough for a site's years of events: a reader is found through the events-by-reader
// lookup, the person through one pass over the persons (never per event), and each event's
// date is compared as a number.
#include <QDate>
#include <QString>
#include <cstdint>
#include <vector>

class CStoreDB_Handler;

namespace EventFilter {

enum Class : unsigned { Access = 1, Refused = 2, Alarm = 4, AllClasses = 7 };

// The class of a stored class code: "00" access, "01" refused, "10" alarm; 0 for anything else.
unsigned ClassOf(const QString& classCode);

// A stored date (DDMMYYYY) as the number YYYYMMDD; 0 when it is not one.
int DateNumber(const QString& ddmmyyyy);
inline int DateNumber(const QDate& d) { return d.isValid() ? d.year() * 10000 + d.month() * 100 + d.day() : 0; }

struct Criteria {
    QDate from, to;            // both included; an invalid date leaves that side open
    int32_t readerId = 0;      // 0: every reader
    QString who;               // part of a person's name or of a transponder number, any case; empty: anyone
    unsigned classes = AllClasses;
    // Events of a class outside the three (an unknown code) pass only when no class is left out.
    bool IsEmpty() const { return !from.isValid() && !to.isValid() && readerId == 0 && who.isEmpty() && classes == AllClasses; }
};

// List indices of the cached events that pass, in list order. Owner (GUI) thread.
std::vector<int> Apply(CStoreDB_Handler& store, const Criteria& c);

} // namespace EventFilter
