#pragma once
// Shared pieces of the transponder tests: a store with a small set of readers, persons and
// schedules, a tree that carries a link whose state the test sets, and the stored form of a
// record as a fresh read of the table gives it.
#include "link/CSerialLink.h"
#include "views/IReaderTree.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <memory>

namespace TransponderTest {

// A tree without nodes whose link is never opened: tests set its interface type and port.
class LinkTree : public IReaderTree {
public:
    CSerialLink link;
    void AddReaderNodes(const QString&) override {}
    void RenameReaderNodes(const QString&, const QString&) override {}
    void RemoveReaderNodes(const QString&) override {}
    void RemoveAllReaderNodes() override {}
    CSerialLink* Link() const override { return const_cast<CSerialLink*>(&link); }
};

inline std::unique_ptr<CLanguageHandler> MakeTexts()
{
    return std::make_unique<CLanguageHandler>(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
}

// Empties every table but the schedules, whose windows beyond the full-access schedule go.
inline void ClearTables(CStoreDB_Handler& store)
{
    const auto clear = [](auto* table) { DeleteRecordsWhere(table, {}), table->_Requery(); };
    clear(store.Get_Ptr_To_tblLeser());
    clear(store.Get_Ptr_To_tblTransponder());
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
        r.Params = params;
    }, &id);
    return id;
}

inline int32_t AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers,
                              int32_t personId = 0, int32_t scheduleId = 1)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number;
        t.Readers = readers;
        t.PersonID = personId;
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

// A schedule of four windows; returns the head window's ID.
inline int32_t AddSchedule(CStoreDB_Handler& store, const QString& name)
{
    std::vector<int32_t> ids;
    AddRecords(store.Get_Ptr_To_tblZeitschema(), 4, [&](int, structZeitschema& z) {
        z.Name = name;
        z.From = QStringLiteral("0600");
        z.To = QStringLiteral("1400");
    }, &ids);
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

// Runs SQL on the database file from outside the store (to plant a fault).
inline bool Outside(const QString& path, const QString& sql)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return ok;
}

} // namespace TransponderTest
