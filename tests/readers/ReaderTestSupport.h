#pragma once
// Shared pieces of the reader tests: texts, a tree that records what it is told, and quick
// ways to fill and read the reader, transponder and event tables.
#include "views/IReaderTree.h"
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
    void AddReaderNodes(const QString& name) override { calls << "add " + name; }
    void RenameReaderNodes(const QString& o, const QString& n) override { calls << "rename " + o + " -> " + n; }
    void RemoveReaderNodes(const QString& name) override { calls << "remove " + name; }
    void RemoveAllReaderNodes() override { calls << "remove all"; }
};

// English texts from the SysFiles folder beside the test program.
inline std::unique_ptr<CLanguageHandler> MakeTexts()
{
    return std::make_unique<CLanguageHandler>(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
}

// Empties the tables the reader operations touch, in the database and in the cache.
inline void ClearTables(CStoreDB_Handler& store)
{
    const auto clear = [](auto* table) { DeleteRecordsWhere(table, {}), table->_Requery(); };
    clear(store.Get_Ptr_To_tblLeser());
    clear(store.Get_Ptr_To_tblTransponder());
    clear(store.Get_Ptr_To_tblEvents());
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
    }, &id);
    return id;
}

// The names in the cache, or (stored) as a fresh reload of the table gives them.
inline QStringList ReaderNames(CStoreDB_Handler& store, bool stored)
{
    QStringList names;
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    if (!stored) {
        for (int i = 0; i < t->GetAnz_Leser(); ++i)
            names << t->Get_Leser(i).Name;
    } else if (t->Open()) {
        for (; !t->IsEOF(); t->MoveNext())
            names << t->Rec().Name;
        t->Close();
    }
    return names;
}

} // namespace ReaderTest
