#include "records/PersonOps.h"

#include <QSet>
#include <cstdlib>
#include <ctime>

namespace PersonOps {

bool NameTaken(const CtblPerson* persons, const QString& name, int32_t exceptId)
{
    for (int i = 0; i < persons->GetAnz_Person(); ++i) {
        const structPerson& p = persons->Get_Person(i);
        if (p.ID != exceptId && p.Name == name)
            return true;
    }
    return false;
}

QString NewPersonName()
{
    std::srand(unsigned(std::time(nullptr)));
    return QStringLiteral("Person_") + QString::number(std::rand() % 65535, 16).toUpper();
}

RecordResult AddPerson(CStoreDB_Handler* store, const QString& name, int32_t* newId)
{
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();
    structPerson rec;
    rec.Name = name;
    const RecordResult r = AddRecord(persons, [&](structPerson& p) {
        p.Name = name;
        p.TransponderID = 0;
    }, &rec.ID);
    if (r == RecordResult::Done)
        persons->Append(rec);
    if (newId)
        *newId = rec.ID;
    return r;
}

RecordResult RenamePerson(CStoreDB_Handler* store, int32_t personId, const QString& name)
{
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();
    const RecordResult r = EditRecordById(persons, personId, [&](structPerson& p) { p.Name = name; });
    if (r == RecordResult::Done)
        persons->PatchById(personId, [&](structPerson& p) { p.Name = name; });
    return r;
}

RecordResult LinkTransponder(CStoreDB_Handler* store, int32_t personId, const QString& number)
{
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    CtblPerson* persons = store->Get_Ptr_To_tblPerson();
    const int index = number == QLatin1String("---") ? -1 : transponders->IndexOfNumber(number);
    const int32_t transponderId = index < 0 ? 0 : transponders->Get_Transponder(index).ID;

    RecordResult r = RecordResult::Done;
    {
        CStoreTransaction tx(store);
        if (transponderId)
            r = EditRecordById(transponders, transponderId, [&](structTransponder& t) { t.PersonID = personId; });
        if (r == RecordResult::Done)
            r = EditRecordById(persons, personId, [&](structPerson& p) { p.TransponderID = transponderId; });
        if (r == RecordResult::Done && tx.Started() && !tx.Commit())
            r = RecordResult::StoreError;
    }
    if (r != RecordResult::Done)
        return r;
    if (transponderId)
        transponders->PatchById(transponderId, [&](structTransponder& t) { t.PersonID = personId; });
    persons->PatchById(personId, [&](structPerson& p) { p.TransponderID = transponderId; });
    return RecordResult::Done;
}

RecordResult DeletePersonRecord(CStoreDB_Handler* store, int32_t personId)
{
    CStoreTransaction tx(store);
    RecordResult r = DeleteRecordById(store->Get_Ptr_To_tblPerson(), personId);
    if (r == RecordResult::Done)
        r = SetValueWhere(store->Get_Ptr_To_tblTransponder(), "PersonID", 0, "PersonID", personId);
    if (r == RecordResult::Done && tx.Started() && !tx.Commit())
        r = RecordResult::StoreError;
    return r;
}

int ForgetPersons(CStoreDB_Handler* store, const std::vector<int32_t>& personIds)
{
    const int removed = store->Get_Ptr_To_tblPerson()->RemoveIds(personIds);
    const QSet<int32_t> gone(personIds.begin(), personIds.end());
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i)
        if (gone.contains(transponders->Get_Transponder(i).PersonID))
            transponders->PatchAt(i).PersonID = 0;
    return removed;
}

RecordResult DeleteAllPersons(CStoreDB_Handler* store)
{
    RecordResult r = RecordResult::Done;
    {
        CStoreTransaction tx(store);
        r = DeleteRecordsWhere(store->Get_Ptr_To_tblPerson(), {});
        if (r == RecordResult::Done)
            r = SetValueWhere(store->Get_Ptr_To_tblTransponder(), "PersonID", 0, nullptr, QVariant());
        if (r == RecordResult::Done && tx.Started() && !tx.Commit())
            r = RecordResult::StoreError;
    }
    if (r != RecordResult::Done)
        return r;
    store->Get_Ptr_To_tblPerson()->RemoveAllData();
    CtblTransponder* transponders = store->Get_Ptr_To_tblTransponder();
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i)
        if (transponders->Get_Transponder(i).PersonID != 0)
            transponders->PatchAt(i).PersonID = 0;
    return RecordResult::Done;
}

} // namespace PersonOps
