#include "report/EventFilter.h"

#include "records/CStoreDB_Handler.h"

#include <QSet>

namespace EventFilter {

unsigned ClassOf(const QString& classCode)
{
    if (classCode == QLatin1String("00"))
        return Access;
    if (classCode == QLatin1String("01"))
        return Refused;
    if (classCode == QLatin1String("10"))
        return Alarm;
    return 0;
}

int DateNumber(const QString& d)
{
    if (d.size() != 8)
        return 0;
    int n[8];
    for (int i = 0; i < 8; ++i) {
        const QChar c = d.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        n[i] = c.unicode() - '0';
    }
    const int day = n[0] * 10 + n[1], month = n[2] * 10 + n[3];
    const int year = n[4] * 1000 + n[5] * 100 + n[6] * 10 + n[7];
    return year * 10000 + month * 100 + day;
}

std::vector<int> Apply(CStoreDB_Handler& store, const Criteria& c)
{
    const CtblEvents* events = store.Get_Ptr_To_tblEvents();
    const int from = DateNumber(c.from);
    const int to = c.to.isValid() ? DateNumber(c.to) : 99999999;

    // The transponder numbers of every person whose name holds the text, found once.
    const QString who = c.who.trimmed();
    QSet<QString> numbersOfPersons;
    if (!who.isEmpty()) {
        const CtblPerson* persons = store.Get_Ptr_To_tblPerson();
        const CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
        for (int i = 0; i < persons->GetAnz_Person(); ++i) {
            const structPerson& p = persons->Get_Person(i);
            if (p.TransponderID == 0 || !p.Name.contains(who, Qt::CaseInsensitive))
                continue;
            if (const structTransponder* t = transponders->FindById(p.TransponderID))
                numbersOfPersons.insert(t->Number);
        }
    }

    const auto passes = [&](const structEvents& e) {
        if (c.classes != AllClasses && !(ClassOf(e.ClassCode) & c.classes))
            return false;
        if (from || c.to.isValid()) {
            const int day = DateNumber(e.Date);
            if (day < from || day > to)
                return false;
        }
        if (!who.isEmpty() && !e.TransponderNo.contains(who, Qt::CaseInsensitive)
            && !numbersOfPersons.contains(e.TransponderNo))
            return false;
        return true;
    };

    std::vector<int> out;
    if (c.readerId != 0) {
        for (int i : events->IndicesOfReader(c.readerId))
            if (passes(events->Get_Event(i)))
                out.push_back(i);
        return out;
    }
    const int n = events->GetAnz_Events();
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        if (passes(events->Get_Event(i)))
            out.push_back(i);
    return out;
}

} // namespace EventFilter
