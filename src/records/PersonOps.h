#pragma once
// The person rules: unique names, the link between a person and a transponder as the person
// table sets it, new persons, and deleting persons with their cascade (transponders that named
// the person lose the reference). Widget-free; the person table calls these and tests drive
// them directly. Each change is one transaction; the cached lists follow after the commit.
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"

#include <QString>
#include <vector>

namespace PersonOps {

// Whether a person other than exceptId already has this name.
bool NameTaken(const CtblPerson* persons, const QString& name, int32_t exceptId = 0);

// "Person_" and a number 0..65534 in "%X"; the generator is seeded with the current time on
// every call, so two names drawn within one second are the same.
QString NewPersonName();

// Adds a person with this name and no transponder; appended to the cache. newId: its ID.
RecordResult AddPerson(CStoreDB_Handler* store, const QString& name, int32_t* newId = nullptr);

// Renames the person (no check for duplicates: the caller refuses those first).
RecordResult RenamePerson(CStoreDB_Handler* store, int32_t personId, const QString& name);

// Gives the person the transponder with this number ("---" or an unknown number: none). The
// transponder gets PersonID = the person and the person TransponderID = the transponder; links
// made earlier stay as they are (the transponder the person had keeps its PersonID, another
// person holding the transponder keeps it).
RecordResult LinkTransponder(CStoreDB_Handler* store, int32_t personId, const QString& number);

// The database steps of deleting one person: the record, and PersonID 0 in every transponder
// that named it. Joins the caller's transaction; the cache is left alone.
RecordResult DeletePersonRecord(CStoreDB_Handler* store, int32_t personId);
// The cache after those persons were deleted: out of the person list, their transponders
// without person. The number of persons removed.
int ForgetPersons(CStoreDB_Handler* store, const std::vector<int32_t>& personIds);
// Deletes every person; every transponder loses its person.
RecordResult DeleteAllPersons(CStoreDB_Handler* store);

} // namespace PersonOps
