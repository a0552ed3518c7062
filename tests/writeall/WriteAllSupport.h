#pragma once
// Shared pieces of the write-all and fetch-all tests: schedules and transponders in the store,
// and the transponder table read back as "number=readers" lines.
#include "readers/ReaderTestSupport.h"
#include "records/RecordOps.h"

#include <QStringList>
#include <algorithm>

namespace WriteAllTest {

// One window: from, to (HHMM) and the days as "SMTWTFS" flags (Sunday first, as Day0..Day6).
struct Window {
    const char* from;
    const char* to;
    const char* days;
};

// Adds a schedule of four windows (windows missing from the list are 0000-0000, no days);
// returns its head window's ID.
inline int32_t AddSchedule(CStoreDB_Handler& store, const QString& name, const QList<Window>& windows)
{
    std::vector<int32_t> ids;
    AddRecords(store.Get_Ptr_To_tblZeitschema(), 4, [&](int k, structZeitschema& z) {
        const Window w = k < windows.size() ? windows[k] : Window{"0000", "0000", "0000000"};
        z.Name = name;
        z.From = QString::fromLatin1(w.from);
        z.To = QString::fromLatin1(w.to);
        for (int d = 0; d < 7; ++d)
            z.Day[d] = w.days[d] == '1' ? 1 : 0;
    }, &ids);
    store.Get_Ptr_To_tblZeitschema()->_Requery();
    return ids.empty() ? 0 : ids.front();
}

inline int32_t AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers,
                              int32_t scheduleId = 1, int32_t personId = 0)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number;
        t.Readers = readers;
        t.ScheduleID = scheduleId;
        t.PersonID = personId;
        t.Changed = 1;
    }, &id);
    return id;
}

// Empties the tables these tests fill; the full-access schedule (the first four windows) stays.
inline void ClearAll(CStoreDB_Handler& store)
{
    ReaderTest::ClearTables(store);
    DeleteRecordsWhere(store.Get_Ptr_To_tblPerson(), {});
    DeleteRecordsWhere(store.Get_Ptr_To_tblZeitschema(), [](const structZeitschema& z) { return z.ID > 4; });
    store.Get_Ptr_To_tblPerson()->_Requery();
    store.Get_Ptr_To_tblZeitschema()->_Requery();
}

// The transponders as "number=readers", sorted: from the cache, or as a reload reads them.
inline QStringList Transponders(CStoreDB_Handler& store, bool stored)
{
    CtblTransponder* t = store.Get_Ptr_To_tblTransponder();
    QStringList out;
    if (stored) {
        if (t->Open()) {
            for (; !t->IsEOF(); t->MoveNext())
                out << t->Rec().Number + '=' + t->Rec().Readers;
            t->Close();
        }
    } else {
        for (int i = 0; i < t->GetAnz_Transponder(); ++i)
            out << t->Get_Transponder(i).Number + '=' + t->Get_Transponder(i).Readers;
    }
    out.sort();
    return out;
}

inline QString Number(int i)
{
    return QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper();
}

} // namespace WriteAllTest
