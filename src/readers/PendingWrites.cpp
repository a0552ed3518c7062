#include "readers/PendingWrites.h"

#include "records/CStoreDB_Handler.h"

namespace PendingWrites {

namespace {

// DDMMYYYY + HHMM as one sortable text, YYYYMMDDHHMM.
QString SortKey(const structEvents& e)
{
    return e.Date.mid(4, 4) + e.Date.mid(2, 2) + e.Date.left(2) + e.Time;
}

} // namespace

std::vector<ReaderState> States(CStoreDB_Handler& store)
{
    const CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    const CtblEvents* events = store.Get_Ptr_To_tblEvents();
    std::vector<ReaderState> out;
    out.reserve(size_t(readers->GetAnz_Leser()));
    for (int i = 0; i < readers->GetAnz_Leser(); ++i) {
        const structLeser& r = readers->Get_Leser(i);
        ReaderState s;
        s.id = r.ID;
        s.name = r.Name;
        s.model = r.Model;
        s.deviceId = r.Identity == QStringLiteral("---") ? QString() : r.Identity;
        s.pending = r.Changed == 1;
        const std::vector<int> own = events->IndicesOfReader(r.ID);
        s.events = int(own.size());
        QString latest;
        const structEvents* last = nullptr;
        for (int k : own) {
            const structEvents& e = events->Get_Event(k);
            const QString key = SortKey(e);
            if (!last || key > latest) {
                latest = key;
                last = &e;
            }
        }
        if (last)
            s.lastEvent = last->Date.left(2) + '.' + last->Date.mid(2, 2) + '.' + last->Date.mid(4) + ' ' +
                          last->Time.left(2) + ':' + last->Time.mid(2);
        out.push_back(s);
    }
    return out;
}

bool IsPending(CStoreDB_Handler& store, const QString& readerName)
{
    const CtblLeser* readers = store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i)
        if (readers->Get_Leser(i).Name == readerName)
            return readers->Get_Leser(i).Changed == 1;
    return false;
}

} // namespace PendingWrites
