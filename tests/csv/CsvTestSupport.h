#pragma once
// A fresh database per test, readers and transponders (with their persons) added in one call
// each, and a dump of what the transponders hold, by name, so two databases can be compared.
#include "base/Settings.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"

#include <QStringList>
#include <memory>

namespace CsvTest {

inline std::unique_ptr<CStoreDB_Handler> FreshStore(CLanguageHandler* lang)
{
    static int serial = 0;
    const QString path = VmTest::IsolateHome() + QStringLiteral("/csv%1.mdb").arg(++serial);
    CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
    return std::make_unique<CStoreDB_Handler>(lang);
}

inline int32_t AddReader(CStoreDB_Handler& s, const QString& name)
{
    int32_t id = 0;
    AddRecord<structLeser>(s.Get_Ptr_To_tblLeser(), [&](structLeser& l) {
        l.Name = name; l.Model = QStringLiteral("Cedar");
    }, &id);
    s.Get_Ptr_To_tblLeser()->_Requery();
    return id;
}

// A transponder with an optional person (empty name: none), linked both ways.
inline int32_t AddTransponder(CStoreDB_Handler& s, const QString& number, const QString& person, int32_t schedule,
                              const QString& readers)
{
    int32_t tid = 0, pid = 0;
    AddRecord<structTransponder>(s.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
        t.Number = number; t.ScheduleID = schedule; t.Readers = readers;
    }, &tid);
    if (!person.isEmpty()) {
        AddRecord<structPerson>(s.Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = person; p.TransponderID = tid; }, &pid);
        EditRecordById<structTransponder>(s.Get_Ptr_To_tblTransponder(), tid, [&](structTransponder& t) { t.PersonID = pid; });
    }
    s.Get_Ptr_To_tblTransponder()->_Requery();
    s.Get_Ptr_To_tblPerson()->_Requery();
    return tid;
}

// Every transponder as "number|person (both links)|schedule|reader names", sorted.
inline QStringList Dump(CStoreDB_Handler& s)
{
    CtblTransponder* t = s.Get_Ptr_To_tblTransponder();
    CtblPerson* p = s.Get_Ptr_To_tblPerson();
    CtblZeitschema* z = s.Get_Ptr_To_tblZeitschema();
    CtblLeser* l = s.Get_Ptr_To_tblLeser();
    QStringList out;
    for (int i = 0; i < t->GetAnz_Transponder(); ++i) {
        const structTransponder& r = t->Get_Transponder(i);
        const structPerson* person = p->FindById(r.PersonID);
        QString name = person ? person->Name : QStringLiteral("-");
        if (person && person->TransponderID != r.ID)
            name += QStringLiteral("(unlinked)");
        const int zi = z->IndexOf(r.ScheduleID);
        QStringList readers;
        for (int32_t id : ReaderIDs(r.Readers))
            readers << (l->FindById(id) ? l->FindById(id)->Name : QStringLiteral("?"));
        // The full-access schedule by one name, whichever language the lists were last read in.
        const QString schedule = r.ScheduleID == 1 ? QStringLiteral("Vollzugriff")
                                 : zi >= 0         ? z->Get_Zeitschema(zi).Name
                                                   : QStringLiteral("?");
        out << r.Number + u'|' + name + u'|' + schedule + u'|' +
                   readers.join(u',');
    }
    out.sort();
    return out;
}

inline QString WriteTemp(const QString& name, const QByteArray& bytes)
{
    const QString path = VmTest::IsolateHome() + u'/' + name;
    VmTest::WriteFile(path, bytes);
    return path;
}

} // namespace CsvTest
