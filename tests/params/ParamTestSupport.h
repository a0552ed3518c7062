#pragma once
// Shared pieces of the parameter tests: texts that name their own number ("T141"), a store with
// one reader.
#include "base/Prompt.h"
#include "params/ParamSupport.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/OnlineFixture.h"
#include "texts/CLanguageHandler.h"

#include <memory>

namespace ParamTest {

inline QString T(int n)
{
    return QStringLiteral("T%1").arg(n);
}

inline structLeser AddReader(CStoreDB_Handler& store, const QString& model, const QString& identity,
                             const QString& params, const QString& switchTime, int changed = 0)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) {
        r.Name = model + QStringLiteral("_1");
        r.Model = model;
        r.Identity = identity;
        r.Params = params;
        r.SwitchTime = switchTime;
        r.Changed = changed;
    }, &id);
    store.Get_Ptr_To_tblLeser()->_Requery();
    return *store.Get_Ptr_To_tblLeser()->FindById(id);
}

inline int32_t AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers)
{
    int32_t id = 0;
    AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number;
        t.Readers = readers;
        t.ScheduleID = 1;
    }, &id);
    store.Get_Ptr_To_tblTransponder()->_Requery();
    return id;
}

// The record as stored (not as cached).
inline structLeser StoredReader(CStoreDB_Handler& store, int32_t id)
{
    CtblLeser* t = store.Get_Ptr_To_tblLeser();
    structLeser r;
    if (t->Open() && t->Seek(id))
        r = t->Rec();
    t->Close();
    return r;
}

inline const structTransponder* StoredTransponder(CStoreDB_Handler& store, const QString& number)
{
    CtblTransponder* t = store.Get_Ptr_To_tblTransponder();
    t->_Requery();
    const int i = t->IndexOfNumber(number);
    return i >= 0 ? &t->Get_Transponder(i) : nullptr;
}

// Ten numbers 000000A001 .. 000000A010 (or count of them).
inline QStringList Numbers(int count, const QString& prefix = QStringLiteral("000000A"))
{
    QStringList n;
    for (int i = 1; i <= count; ++i)
        n << prefix + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
    return n;
}

} // namespace ParamTest
