#pragma once
// Shared pieces of the reader tests: a store with texts, a tree that records what it is told,
// and quick ways to fill the tables.
#include "readers/IReaderTree.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "texts/CLanguageHandler.h"

#include <QDir>
#include <QStringList>
#include <memory>

namespace ReaderTest {

class RecordingTree : public IReaderTree {
public:
    QStringList calls;
    void AddReaderNodes(const QString& name) override { calls << QStringLiteral("add ") + name; }
    void RenameReaderNodes(const QString& o, const QString& n) override
    {
        calls << QStringLiteral("rename %1 -> %2").arg(o, n);
    }
    void RemoveReaderNodes(const QString& name) override { calls << QStringLiteral("remove ") + name; }
    void RemoveAllReaderNodes() override { calls << QStringLiteral("remove all"); }
};

// English texts from the SysFiles folder beside the test program.
inline std::unique_ptr<CLanguageHandler> MakeTexts()
{
    return std::make_unique<CLanguageHandler>(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
}

// Empties the tables the reader operations touch, in the database and in the cache.
inline void ClearTables(CStoreDB_Handler& store)
{
    DeleteRecordsWhere(store.Get_Ptr_To_tblLeser(), {});
    DeleteRecordsWhere(store.Get_Ptr_To_tblTransponder(), {});
    DeleteRecordsWhere(store.Get_Ptr_To_tblEvents(), {});
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblEvents()->_Requery();
}

inline int32_t AddReader(CStoreDB_Handler& store, const QString& name, const QString& model,
                         const QString& identity = QStringLiteral("---"))
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) {
        r.Name = name;
        r.Model = model;
        r.Identity = identity;
        r.Info = identity.left(2);
        r.SwitchTime = QStringLiteral("3");
        r.Params = QStringLiteral("00");
    }, &id);
    return id;
}

inline int32_t AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number;
        t.Readers = readers;
        t.ScheduleID = 1;
    }, &id);
    return id;
}

inline void AddEvent(CStoreDB_Handler& store, int32_t readerId, const QString& readerName)
{
    AddRecord(store.Get_Ptr_To_tblEvents(), [&](structEvents& e) {
        e.TransponderNo = QStringLiteral("0000ABCDEF");
        e.ReaderID = readerId;
        e.ReaderName = readerName;
        e.Date = QStringLiteral("01022026");
        e.Time = QStringLiteral("1200");
        e.ClassCode = QStringLiteral("00");
        e.ClassText = QStringLiteral("-");
        e.DetailCode = QStringLiteral("---");
        e.DetailText = QStringLiteral("-");
    });
}

inline QStringList CachedReaderNames(CStoreDB_Handler& store)
{
    QStringList names;
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < t->GetAnz_Leser(); ++i)
        names << t->Get_Leser(i).Name;
    return names;
}

// The names as a fresh reload of the table gives them.
inline QStringList StoredReaderNames(CStoreDB_Handler& store)
{
    QStringList names;
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    if (t->Open()) {
        for (; !t->IsEOF(); t->MoveNext())
            names << t->Rec().Name;
        t->Close();
    }
    return names;
}

} // namespace ReaderTest
