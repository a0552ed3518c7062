#pragma once
// A site's worth of events with a known shape, for the filter and report tests and benchmarks:
// four Cedar readers "Door 1" to "Door 4", 500 transponders of which the first 100 are carried
// by "Person 0" to "Person 99", and n events whose reader, day, class and transponder follow
// from their number (SiteEventAt), so a test can count what a filter must find.
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"

#include <QDate>
#include <vector>

namespace VmTest {

struct SiteEvent {
    int reader;        // 0..3
    int day;           // days after the first day, 0..27
    int cls;           // 0 access "00", 1 refused "01", 2 alarm "10"
    int transponder;   // 0..499
};

inline SiteEvent SiteEventAt(int i)
{
    return {i % 4, i % 28, i % 3, i % 500};
}

inline QString SiteNumber(int transponder)
{
    return QStringLiteral("%1").arg(0xA00000 + transponder, 10, 16, QLatin1Char('0')).toUpper();
}

// Fills an empty store; returns the readers' IDs in reader order.
inline std::vector<int32_t> FillSite(CStoreDB_Handler& store, int events, const QDate& first)
{
    std::vector<int32_t> readers, transponders;
    AddRecords(store.Get_Ptr_To_tblLeser(), 4, [](int k, structLeser& r) {
        r.Name = QStringLiteral("Door %1").arg(k + 1);
        r.Model = QStringLiteral("Cedar");
        r.Identity = QStringLiteral("CE%1").arg(k, 18, 10, QLatin1Char('0'));
    }, &readers);
    AddRecords(store.Get_Ptr_To_tblTransponder(), 500, [](int k, structTransponder& t) {
        t.Number = SiteNumber(k);
        t.ScheduleID = 1;
    }, &transponders);
    AddRecords(store.Get_Ptr_To_tblPerson(), 100, [&](int k, structPerson& p) {
        p.Name = QStringLiteral("Person %1").arg(k);
        p.TransponderID = transponders[size_t(k)];
    });
    static const char* codes[3] = {"00", "01", "10"};
    static const char* texts[3] = {"Access", "Access denied", "Alarm"};
    AddRecords(store.Get_Ptr_To_tblEvents(), events, [&](int i, structEvents& e) {
        const SiteEvent s = SiteEventAt(i);
        e.TransponderNo = SiteNumber(s.transponder);
        e.Date = first.addDays(s.day).toString(QStringLiteral("ddMMyyyy"));
        e.Time = QStringLiteral("%1%2").arg(7 + i % 12, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
        e.ClassCode = QString::fromLatin1(codes[s.cls]);
        e.ClassText = QString::fromLatin1(texts[s.cls]);
        e.DetailCode = QStringLiteral("---");
        e.DetailText = QStringLiteral("No detail");
        e.ReaderID = readers[size_t(s.reader)];
        e.ReaderName = QStringLiteral("Door %1").arg(s.reader + 1);
    });
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblPerson()->_Requery();
    store.Get_Ptr_To_tblEvents()->_Requery();
    return readers;
}

} // namespace VmTest
