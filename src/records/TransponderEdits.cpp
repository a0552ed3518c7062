#include "records/TransponderEdits.h"

#include "records/CStoreTransaction.h"
#include "records/ScheduleOps.h"
#include "records/TextOps.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <functional>

namespace TransponderEdits {

namespace {

const QString kNoPerson = QStringLiteral("---");

// Marks these readers changed in the table (inside the caller's transaction).
bool MarkReadersChanged(CStoreDB_Handler& store, const QList<int32_t>& readerIds)
{
    for (int32_t id : readerIds)
        if (SetValueWhere(store.Get_Ptr_To_tblLeser(), "Changed", 1, "ID", id) != RecordResult::Done)
            return false;
    return true;
}

// The same in the reader cache, once the transaction has committed.
void PatchReadersChanged(CStoreDB_Handler& store, const QList<int32_t>& readerIds)
{
    for (int32_t id : readerIds)
        store.Get_Ptr_To_tblLeser()->PatchById(id, [](structLeser& r) { r.Changed = 1; });
}

// Unticking a reader: the remaining pieces joined by ";", without a trailing ";" left behind.
QString WithoutReader(const QString& readers, int32_t readerId)
{
    QString list = RemoveReader(readers, readerId);
    if (list.endsWith(QLatin1Char(';')))
        list.chop(1);
    return list;
}

// Commits the scope; a failure already shown by a record helper makes this a StoreError.
RecordResult Finish(CStoreTransaction& tx, bool ok)
{
    if (!ok)
        return RecordResult::StoreError;   // the scope rolls back as it is left
    if (tx.Started() && !tx.Commit())
        return RecordResult::StoreError;
    return tx.Started() ? RecordResult::Done : RecordResult::OpenFailed;
}

} // namespace

// ---------------------------------------------------------------- cells and choices

QString PersonNameOf(CStoreDB_Handler& store, int32_t transponderId)
{
    const CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    const int i = persons->IndexOfTransponder(transponderId);
    return i >= 0 ? persons->Get_Person(i).Name : QString();
}

QStringList PersonChoices(CStoreDB_Handler& store)
{
    const CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    QStringList names{kNoPerson};
    names.reserve(persons->GetAnz_Person() + 1);
    for (int i = 0; i < persons->GetAnz_Person(); ++i)
        names << persons->Get_Person(i).Name;
    return names;
}

QStringList ScheduleChoices(CStoreDB_Handler& store)
{
    const CtblZeitschema* windows = store.Get_Ptr_To_tblZeitschema();
    QStringList names;
    for (int i = 0; i < windows->GetAnz_Zeitschema(); i += ScheduleOps::kWindows)
        names << windows->Get_Zeitschema(i).Name;
    return names;
}

int32_t ScheduleIdOfName(CStoreDB_Handler& store, const QString& name)
{
    const CtblZeitschema* windows = store.Get_Ptr_To_tblZeitschema();
    const int head = IsFullAccessName(name) ? ScheduleOps::FullAccessHeadIndex(windows)
                                            : ScheduleOps::HeadIndexByName(windows, name);
    return head >= 0 ? windows->Get_Zeitschema(head).ID : 0;
}

// ---------------------------------------------------------------- one transponder

RecordResult SetPerson(CStoreDB_Handler& store, int32_t transponderId, const QString& personName)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    const structTransponder* t = transponders->FindById(transponderId);
    if (!t)
        return RecordResult::NotFound;

    int32_t personId = 0;
    int32_t formerTransponder = 0;   // the transponder the chosen person carried until now
    if (personName != kNoPerson) {
        for (int i = 0; i < persons->GetAnz_Person(); ++i) {
            const structPerson& p = persons->Get_Person(i);
            if (p.Name == personName) {
                personId = p.ID;
                formerTransponder = p.TransponderID != transponderId ? p.TransponderID : 0;
                break;
            }
        }
    }
    std::vector<int32_t> holders;
    for (int i : persons->IndicesOfTransponder(transponderId))
        holders.push_back(persons->Get_Person(i).ID);
    const bool personChanged = t->PersonID != personId;
    const structTransponder* former = formerTransponder ? transponders->FindById(formerTransponder) : nullptr;
    const bool formerForgets = former && former->PersonID == personId;

    CStoreTransaction tx(&store);
    bool ok = SetValueWhere(persons, "TransponderID", 0, "TransponderID", transponderId) == RecordResult::Done;
    if (ok && formerForgets)
        ok = EditRecordById(transponders, formerTransponder, [](structTransponder& r) {
                 r.PersonID = 0;
                 r.Changed = 1;
             }) != RecordResult::StoreError;
    RecordResult own = RecordResult::StoreError;
    if (ok) {
        own = EditRecordById(transponders, transponderId, [&](structTransponder& r) {
            r.PersonID = personId;
            if (personChanged)
                r.Changed = 1;
        });
        ok = own == RecordResult::Done;
    }
    if (own == RecordResult::NotFound) {
        transponders->RemoveIds({transponderId});   // another station deleted it
        return own;
    }
    if (ok && personId)
        ok = EditRecordById(persons, personId, [&](structPerson& p) { p.TransponderID = transponderId; })
            == RecordResult::Done;
    const RecordResult result = Finish(tx, ok);
    if (result != RecordResult::Done)
        return result;

    for (int32_t id : holders)
        persons->PatchById(id, [](structPerson& p) { p.TransponderID = 0; });
    if (formerForgets)
        transponders->PatchById(formerTransponder, [](structTransponder& r) {
            r.PersonID = 0;
            r.Changed = 1;
        });
    transponders->PatchById(transponderId, [&](structTransponder& r) {
        r.PersonID = personId;
        if (personChanged)
            r.Changed = 1;
    });
    if (personId)
        persons->PatchById(personId, [&](structPerson& p) { p.TransponderID = transponderId; });
    return RecordResult::Done;
}

RecordResult SetSchedule(CStoreDB_Handler& store, int32_t transponderId, const QString& scheduleName)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    if (!transponders->FindById(transponderId))
        return RecordResult::NotFound;
    const int32_t scheduleId = ScheduleIdOfName(store, scheduleName);

    structTransponder stored;
    CStoreTransaction tx(&store);
    const RecordResult edit = EditRecordById(transponders, transponderId, [&](structTransponder& r) {
        r.ScheduleID = scheduleId;
        r.Changed = 1;
    }, PromptIcon::Exclamation, &stored);
    if (edit == RecordResult::NotFound) {
        transponders->RemoveIds({transponderId});   // another station deleted it
        return edit;
    }
    // The readers of the list as stored now, not as this station last read it.
    const QList<int32_t> readers = ReaderIDs(stored.Readers);
    const bool ok = edit == RecordResult::Done && MarkReadersChanged(store, readers);
    const RecordResult result = Finish(tx, ok);
    if (result != RecordResult::Done)
        return result;
    transponders->PatchById(transponderId, [&](structTransponder& r) { r = stored; });
    PatchReadersChanged(store, readers);
    return RecordResult::Done;
}

QString MasterNumberOf(const structLeser& reader)
{
    const QStringList parts = SplitText(reader.Params, QLatin1Char(';'));
    return parts.size() >= 2 ? parts[1] : QString();
}

namespace {
// Changes the transponder's Readers list as the database holds it now: read (locked) and
// written in one transaction. change gives the new list; an equal one stores nothing. The
// transponder and the reader are marked changed; the cache takes the record as stored.
AssignResult ChangeReaders(CStoreDB_Handler& store, int32_t transponderId, int32_t readerId,
                           const std::function<QString(const QString&)>& change)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    bool changed = false;
    structTransponder stored;
    CStoreTransaction tx(&store);
    const RecordResult edit = EditRecordById(transponders, transponderId, [&](structTransponder& r) {
        const QString list = change(r.Readers);
        changed = list != r.Readers;
        if (changed) {
            r.Readers = list;
            r.Changed = 1;
        }
    }, PromptIcon::Exclamation, &stored);
    if (edit == RecordResult::NotFound) {
        transponders->RemoveIds({transponderId});   // another station deleted it
        return AssignResult::NotFound;
    }
    bool ok = edit == RecordResult::Done;
    ok = ok && (!changed || MarkReadersChanged(store, {readerId}));
    if (Finish(tx, ok) != RecordResult::Done)
        return AssignResult::Failed;
    transponders->PatchById(transponderId, [&](structTransponder& r) { r = stored; });
    if (!changed)
        return AssignResult::Unchanged;
    PatchReadersChanged(store, {readerId});
    return AssignResult::Done;
}
} // namespace

AssignResult SetReaderAssigned(CStoreDB_Handler& store, int32_t transponderId, int32_t readerId, bool assign,
                               int interfaceType)
{
    const structTransponder* t = store.Get_Ptr_To_tblTransponder()->FindById(transponderId);
    const structLeser* reader = store.Get_Ptr_To_tblLeser()->FindById(readerId);
    if (!t || !reader)
        return AssignResult::Failed;
    if (assign && interfaceType == 0 && MasterNumberOf(*reader) == t->Number)
        return AssignResult::MasterRefused;
    return ChangeReaders(store, transponderId, readerId, [&](const QString& list) {
        if (assign == HasReader(list, readerId))
            return list;
        return assign ? AddReader(list, readerId) : WithoutReader(list, readerId);
    });
}

// ---------------------------------------------------------------- whole reader columns

RecordResult SetReaderOnAll(CStoreDB_Handler& store, int32_t readerId, bool assign, int* changed)
{
    if (changed)
        *changed = 0;
    if (readerId <= 0 || !store.Get_Ptr_To_tblLeser()->FindById(readerId))
        return RecordResult::NotFound;
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    // Decided on the rows as the database holds them; the cache takes the lists as stored.
    std::vector<std::pair<int32_t, QString>> stored;
    const auto differs = [=](const structTransponder& t) { return HasReader(t.Readers, readerId) != assign; };
    const auto apply = [&](structTransponder& t) {
        t.Readers = assign ? AddReaderToAll(t.Readers, readerId) : WithoutReader(t.Readers, readerId);
        t.Changed = 1;
        stored.emplace_back(t.ID, t.Readers);
    };

    int n = 0;
    CStoreTransaction tx(&store);
    bool ok = EditRecordsWhere(transponders, differs, apply, &n) == RecordResult::Done;
    if (ok && n > 0)
        ok = MarkReadersChanged(store, {readerId});
    const RecordResult result = Finish(tx, ok);
    if (result != RecordResult::Done)
        return result;
    for (const auto& [id, list] : stored)
        transponders->PatchById(id, [&list](structTransponder& t) {
            t.Readers = list;
            t.Changed = 1;
        });
    if (n > 0)
        PatchReadersChanged(store, {readerId});
    if (changed)
        *changed = n;
    return RecordResult::Done;
}

// ---------------------------------------------------------------- new numbers

QString ValidNumber(const QString& text)
{
    const QString upper = text.toUpper();
    if (upper.size() != 10)
        return {};
    for (QChar ch : upper)
        if (!((ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) || (ch >= QLatin1Char('A') && ch <= QLatin1Char('F'))))
            return {};
    return upper;
}

int32_t StoredNumberId(CStoreDB_Handler& store, const QString& number)
{
    QString name;
    if (!store.ThreadConnection(name, nullptr))
        return -1;
    QSqlQuery q(QSqlDatabase::database(name, false));
    // One lock for all numbers, held to the end of the transaction: adding is rare and quick.
    if (store.IsShared() && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7305001)")))
        return -1;
    q.prepare(QStringLiteral("SELECT ID FROM tblTransponder WHERE Number = ? ORDER BY ID LIMIT 1"));
    q.addBindValue(number);
    if (!q.exec())
        return -1;
    return q.next() ? q.value(0).toInt() : 0;
}

AddResult AddTransponder(CStoreDB_Handler& store, const QString& number, const QString& readers,
                         int32_t markReaderId, int32_t* id)
{
    structTransponder rec;
    rec.Number = number;
    rec.PersonID = 0;
    rec.ScheduleID = 1;   // full access
    rec.Readers = readers;
    rec.Changed = 1;
    const QList<int32_t> marked = markReaderId > 0 ? QList<int32_t>{markReaderId} : QList<int32_t>{};

    CStoreTransaction tx(&store);
    if (!tx.Started())
        return AddResult::Failed;
    const int32_t existing = StoredNumberId(store, number);
    if (existing < 0) {
        ShowWarning(QStringLiteral("The transponder %1 could not be looked up.").arg(number));
        return AddResult::Failed;
    }
    if (existing > 0) {
        if (id)
            *id = existing;
        return AddResult::Exists;
    }
    bool ok = AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& r) {
                  const int32_t keep = r.ID;
                  r = rec;
                  r.ID = keep;
              }, &rec.ID) == RecordResult::Done;
    ok = ok && MarkReadersChanged(store, marked);
    if (Finish(tx, ok) != RecordResult::Done)
        return AddResult::Failed;
    store.Get_Ptr_To_tblTransponder()->Append(rec);
    PatchReadersChanged(store, marked);
    if (id)
        *id = rec.ID;
    return AddResult::Added;
}

int32_t ReaderOfIdentityReply(CStoreDB_Handler& store, const QString& reply)
{
    if (reply.size() < 24)
        return 0;
    const QString deviceId = reply.mid(4, 20);
    const CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i)
        if (readers->Get_Leser(i).Identity == deviceId)
            return readers->Get_Leser(i).ID;
    return 0;
}

AssignResult AddCapturingReader(CStoreDB_Handler& store, int32_t transponderId, int32_t readerId)
{
    if (!store.Get_Ptr_To_tblTransponder()->FindById(transponderId))
        return AssignResult::Failed;
    if (readerId <= 0)
        return AssignResult::Unchanged;
    return ChangeReaders(store, transponderId, readerId, [&](const QString& list) {
        return HasReader(list, readerId) ? list : AddReaderToAll(list, readerId);
    });
}

// ---------------------------------------------------------------- deleting

RecordResult DeleteTransponder(CStoreDB_Handler& store, int32_t transponderId)
{
    const structTransponder* t = store.Get_Ptr_To_tblTransponder()->FindById(transponderId);
    const QList<int32_t> readers = t ? ReaderIDs(t->Readers) : QList<int32_t>{};

    CStoreTransaction tx(&store);
    const RecordResult deleted = DeleteRecordById(store.Get_Ptr_To_tblTransponder(), transponderId);
    if (deleted == RecordResult::NotFound) {
        tx.Commit();   // nothing happened; the caller's transaction goes on
        return deleted;
    }
    bool ok = deleted == RecordResult::Done;
    ok = ok && SetValueWhere(store.Get_Ptr_To_tblPerson(), "TransponderID", 0, "TransponderID", transponderId)
            == RecordResult::Done;
    ok = ok && MarkReadersChanged(store, readers);
    return Finish(tx, ok);
}

int ForgetTransponders(CStoreDB_Handler& store, const std::vector<int32_t>& ids)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    QList<int32_t> readers;
    for (int32_t id : ids) {
        if (const structTransponder* t = transponders->FindById(id))
            readers << ReaderIDs(t->Readers);
        std::vector<int32_t> holders;
        for (int i : persons->IndicesOfTransponder(id))
            holders.push_back(persons->Get_Person(i).ID);
        for (int32_t p : holders)
            persons->PatchById(p, [](structPerson& r) { r.TransponderID = 0; });
    }
    PatchReadersChanged(store, readers);
    return transponders->RemoveIds(ids);
}

RecordResult DeleteAllTransponders(CStoreDB_Handler& store)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    CtblPerson* persons = store.Get_Ptr_To_tblPerson();
    QSet<int32_t> held;
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i)
        for (int32_t id : ReaderIDs(transponders->Get_Transponder(i).Readers))
            held.insert(id);
    const QList<int32_t> readers(held.begin(), held.end());

    CStoreTransaction tx(&store);
    bool ok = DeleteRecordsWhere(transponders, {}) == RecordResult::Done;
    ok = ok && SetValueWhere(persons, "TransponderID", 0, nullptr, {}) == RecordResult::Done;
    ok = ok && MarkReadersChanged(store, readers);
    const RecordResult result = Finish(tx, ok);
    if (result != RecordResult::Done)
        return result;
    transponders->RemoveAllData();
    for (int i = 0; i < persons->GetAnz_Person(); ++i)
        if (persons->Get_Person(i).TransponderID != 0)
            persons->PatchAt(i).TransponderID = 0;
    PatchReadersChanged(store, readers);
    return RecordResult::Done;
}

} // namespace TransponderEdits
