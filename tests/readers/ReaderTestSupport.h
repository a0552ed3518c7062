#pragma once
// Shared pieces of the reader, transponder and write-all tests: texts, a tree that records what
// it is told and carries a link whose state the test sets, quick ways to fill the tables, and
// records read back as a fresh read of the database gives them.
#include "link/CSerialLink.h"
#include "views/IReaderTree.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QStringList>
#include <memory>

namespace ReaderTest {

// The link is never opened: tests set its interface type and port.
class RecordingTree : public IReaderTree {
public:
    QStringList calls;
    CSerialLink link;
    void AddReaderNodes(const QString& name) override { calls << "add " + name; }
    void RenameReaderNodes(const QString& o, const QString& n) override { calls << "rename " + o + " -> " + n; }
    void RemoveReaderNodes(const QString& name) override { calls << "remove " + name; }
    void RemoveAllReaderNodes() override { calls << "remove all"; }
    CSerialLink* Link() const override { return const_cast<CSerialLink*>(&link); }
};

// English texts from the SysFiles folder beside the test program.
inline std::unique_ptr<CLanguageHandler> MakeTexts()
{
    return std::make_unique<CLanguageHandler>(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
}

// A private home, English texts and the store there; false when the store did not open.
inline bool OpenPrivateStore(std::unique_ptr<CLanguageHandler>& texts, std::unique_ptr<CStoreDB_Handler>& store)
{
    VmTest::IsolateHome();
    texts = MakeTexts();
    store = std::make_unique<CStoreDB_Handler>(texts.get());
    return store->IsDatabaseOpen();
}

// Empties every table these tests fill, in the database and in the cache; of the schedules
// only full access stays.
inline void ClearTables(CStoreDB_Handler& store)
{
    const auto clear = [](auto* table) { DeleteRecordsWhere(table, {}), table->_Requery(); };
    clear(store.Get_Ptr_To_tblLeser());
    clear(store.Get_Ptr_To_tblTransponder());
    clear(store.Get_Ptr_To_tblEvents());
    clear(store.Get_Ptr_To_tblPerson());
    CtblZeitschema* windows = store.Get_Ptr_To_tblZeitschema();
    DeleteRecordsWhere(windows, [](const structZeitschema& z) { return !IsFullAccessName(z.Name); });
    windows->_Requery();
}

inline int32_t AddReader(CStoreDB_Handler& store, const QString& name, const QString& model,
                         const QString& identity = QStringLiteral("---"), const QString& params = QString())
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) {
        r.Name = name;
        r.Model = model;
        r.Identity = identity;
        r.Info = identity.left(2);
        r.Params = params;
    }, &id);
    return id;
}

inline int32_t AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers,
                              int32_t scheduleId = 1)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number;
        t.Readers = readers;
        t.ScheduleID = scheduleId;
    }, &id);
    return id;
}

inline int32_t AddPerson(CStoreDB_Handler& store, const QString& name, int32_t transponderId = 0)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) {
        p.Name = name;
        p.TransponderID = transponderId;
    }, &id);
    return id;
}

// One window: from, to (HHMM) and the days as "SMTWTFS" flags (Sunday first, as Day0..Day6).
struct Window {
    const char* from;
    const char* to;
    const char* days;
};

// Adds a schedule of four windows (windows missing from the list are 0000-0000, no days);
// returns its head window's ID.
inline int32_t AddSchedule(CStoreDB_Handler& store, const QString& name, const QList<Window>& windows = {})
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

inline void ReloadAll(CStoreDB_Handler& store)
{
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblPerson()->_Requery();
    store.Get_Ptr_To_tblZeitschema()->_Requery();
}

// The record as the database holds it (a blank one with ID 0 when there is none).
template <class R>
R Stored(CStoreTable<R>* table, int32_t id)
{
    R rec;
    if (table->Open()) {
        if (table->Seek(id))
            rec = table->Rec();
        table->Close();
    }
    return rec;
}

// What f makes of each record: from the cache, or (stored) as a fresh read of the table gives it.
template <class R, class F>
QStringList Each(CStoreTable<R>* table, bool stored, F f)
{
    QStringList out;
    if (!stored) {
        for (int i = 0; i < table->GetCount(); ++i)
            out << f(table->At(i));
    } else if (table->Open()) {
        for (; !table->IsEOF(); table->MoveNext())
            out << f(table->Rec());
        table->Close();
    }
    return out;
}

inline QStringList ReaderNames(CStoreDB_Handler& store, bool stored)
{
    return Each(store.Get_Ptr_To_tblLeser(), stored, [](const structLeser& r) { return r.Name; });
}

// The transponders as "number=readers", sorted.
inline QStringList Transponders(CStoreDB_Handler& store, bool stored)
{
    QStringList out = Each(store.Get_Ptr_To_tblTransponder(), stored,
                           [](const structTransponder& t) { return t.Number + '=' + t.Readers; });
    out.sort();
    return out;
}

// A ten-digit transponder number.
inline QString Number(int i)
{
    return QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper();
}

} // namespace ReaderTest
