#include "readers/FetchAll.h"

#include "base/Prompt.h"
#include "base/ThreadInbox.h"
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "readers/LinkTurn.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/ChangeNotice.h"
#include "records/TransponderEdits.h"
#include "records/RecordOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <QEventLoop>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <thread>
#include <vector>

namespace FetchAll {

bool ParseCount(const QByteArray& reply, int& count)
{
    if (reply.size() != 10 || reply.at(2) != 'L' || reply.at(3) != 'P' || !Telegram::IsTelegramChecksumOK(reply))
        return false;
    uint64_t value = 0;
    if (!HexTextToNumber(QString::fromLatin1(reply.mid(4, 4)), value))
        return false;
    count = int(value);
    return true;
}

bool ParseSlot(const QByteArray& reply, QString& number)
{
    if (reply.size() != 16 || reply.at(2) != 'L' || reply.at(3) != 'T' || !Telegram::IsTelegramChecksumOK(reply))
        return false;
    number = QString::fromLatin1(reply.mid(4, 10));
    return true;
}

Reading ReadReader(CSerialLink& link, const std::atomic<bool>& stop, const std::function<void(int)>& countKnown,
                   const std::function<void(int)>& slotAsked)
{
    Reading r;
    const auto ask = [&](const QByteArray& data, const std::function<bool(const QByteArray&)>& valid) {
        for (int i = 0; i < kTries && !stop.load(); ++i) {
            link.m_nReady = 0;
            link.m_bBusy = 1;
            if (valid(link.SendTelegram('L', data, 1)))
                return true;
        }
        return false;
    };

    int count = 0;
    if (!ask("P0002", [&](const QByteArray& reply) { return ParseCount(reply, count); })) {
        r.outcome = stop.load() ? Reading::Stopped : Reading::NoCount;
        return r;
    }
    if (count == 0) {
        r.outcome = Reading::Empty;
        return r;
    }
    if (countKnown)
        countKnown(count);
    r.numbers.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (slotAsked)
            slotAsked(i + 1);
        QString number;
        const QByteArray data = "T" + QByteArray::number(i, 16).toUpper().rightJustified(4, '0');
        if (!ask(data, [&](const QByteArray& reply) { return ParseSlot(reply, number); })) {
            r.outcome = stop.load() ? Reading::Stopped : Reading::SlotFailed;
            r.numbers.clear();
            return r;
        }
        r.numbers << number;
    }
    r.outcome = Reading::Read;
    return r;
}

int ApplyToDatabase(CStoreDB_Handler& store, int32_t readerId, const QStringList& read, PassCounts* counts)
{
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    const QString readerText = QString::number(readerId);

    // Only transponder numbers go into the database: lower case is taken upper case, anything
    // else is refused and named to the user.
    QStringList reported, refused;
    for (const QString& raw : read) {
        const QString number = TransponderEdits::ValidNumber(raw);
        (number.isEmpty() ? refused : reported) << (number.isEmpty() ? raw : number);
    }

    // Compare: each cached transponder takes one matching entry of the reported list, if one
    // is left; so a number reported once matches the first transponder with that number.
    QHash<QString, int> unmatched;
    for (const QString& number : reported)
        ++unmatched[number];
    QHash<QString, int> matched;
    std::vector<int32_t> deleteIds;
    QSet<int32_t> assignIds;
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i) {
        const structTransponder& t = transponders->Get_Transponder(i);
        const auto it = unmatched.find(t.Number);
        if (it != unmatched.end() && it.value() > 0) {
            --it.value();
            ++matched[t.Number];
            if (readerId > 0 && !HasReader(t.Readers, readerId))
                assignIds.insert(t.ID);
        } else if (t.Readers.isEmpty()) {
            // In the database only and assigned to no reader: the reader's list is the truth.
            deleteIds.push_back(t.ID);
        }
    }
    QStringList readerOnly;
    for (const QString& number : reported) {
        const auto it = matched.find(number);
        if (it != matched.end() && it.value() > 0)
            --it.value();
        else
            readerOnly << number;
    }

    const QSet<int32_t> deleteSet(deleteIds.begin(), deleteIds.end());
    std::vector<int32_t> deleted;
    std::vector<int32_t> detachedPersons;
    std::vector<structTransponder> added;
    std::vector<std::pair<int32_t, QString>> assigned;
    bool good = true;
    bool cacheInStep = true;
    const auto step = [&](RecordResult r) { good = good && r == RecordResult::Done; };
    constexpr PromptIcon icon = PromptIcon::Warning;

    CStoreTransaction tx(&store);
    // A number this station has not read yet may have been stored by another one meanwhile:
    // the database decides which numbers are new, and the others are assigned like those in both.
    QStringList fresh;
    for (const QString& number : readerOnly) {
        const int32_t id = good ? TransponderEdits::StoredNumberId(store, number) : -1;
        if (id < 0) {
            good = false;
        } else if (id == 0) {
            fresh << number;
        } else {
            cacheInStep = false;
            if (readerId > 0)
                assignIds.insert(id);
        }
    }
    if (!good)
        ShowWarning(QStringLiteral("The transponder numbers could not be looked up."));
    // Lists are changed as the database holds them, so what another station assigned stays.
    if (good && !assignIds.isEmpty())
        step(EditRecordsWhere(
            transponders,
            [&](const structTransponder& t) { return assignIds.contains(t.ID) && !HasReader(t.Readers, readerId); },
            [&](structTransponder& t) {
                t.Readers = AddReaderToAll(t.Readers, readerId);
                assigned.emplace_back(t.ID, t.Readers);
            },
            nullptr, icon));
    // Only what this run read as unassigned and still is: a transponder another station added
    // (or assigned) meanwhile stays.
    if (good && !deleteIds.empty()) {
        step(DeleteRecordsWhere(
            transponders,
            [&](const structTransponder& t) {
                const bool gone = deleteSet.contains(t.ID) && t.Readers.isEmpty();
                if (gone)
                    deleted.push_back(t.ID);
                return gone;
            },
            nullptr, icon));
        cacheInStep = cacheInStep && deleted.size() == deleteIds.size();
        // A person keeps no reference to a transponder that is gone.
        const QSet<int32_t> goneSet(deleted.begin(), deleted.end());
        if (good && !goneSet.isEmpty())
            step(EditRecordsWhere(
                store.Get_Ptr_To_tblPerson(), [&](const structPerson& p) { return goneSet.contains(p.TransponderID); },
                [&](structPerson& p) {
                    detachedPersons.push_back(p.ID);
                    p.TransponderID = 0;
                },
                nullptr, icon));
    }
    if (good && !fresh.isEmpty()) {
        std::vector<int32_t> ids;
        step(AddRecords(
            transponders, int(fresh.size()),
            [&](int k, structTransponder& t) {
                t.Number = fresh[k];
                t.PersonID = 0;
                t.ScheduleID = 1;
                t.Changed = 0;
                t.Readers = readerText;
            },
            &ids, icon));
        for (size_t k = 0; good && k < ids.size(); ++k) {
            structTransponder t;
            t.ID = ids[k];
            t.Number = fresh[qsizetype(k)];
            t.ScheduleID = 1;
            t.Readers = readerText;
            added.push_back(t);
        }
    }
    if (good && readerId > 0) {
        const RecordResult r = EditRecordById(store.Get_Ptr_To_tblLeser(), readerId, [](structLeser& l) { l.Changed = 0; }, icon);
        good = r == RecordResult::Done || r == RecordResult::NotFound;
    }
    if (!good)
        return 0;   // the transaction rolls back; the message has been shown
    if (tx.Started() && !tx.Commit()) {
        ShowWarning(QStringLiteral("The changes to %1 could not be stored.").arg(transponders->TableName()));
        return 0;
    }

    if (cacheInStep) {
        transponders->RemoveIds(deleted);
        for (const structTransponder& t : added)
            transponders->Append(t);
        for (const auto& [id, readers] : assigned)
            transponders->PatchById(id, [&readers](structTransponder& t) { t.Readers = readers; });
    } else {
        transponders->_Requery();   // the table held rows the cached list did not know
    }
    for (int32_t id : detachedPersons)
        store.Get_Ptr_To_tblPerson()->PatchById(id, [](structPerson& p) { p.TransponderID = 0; });
    if (readerId > 0)
        store.Get_Ptr_To_tblLeser()->PatchById(readerId, [](structLeser& l) { l.Changed = 0; });

    if (counts) {
        counts->deleted = int(deleted.size());
        counts->added = int(added.size());
        counts->assigned = int(assigned.size());
        counts->refused = refused;
    }
    return 1;
}

} // namespace FetchAll

CFetchAllRun::CFetchAllRun(CSerialLink* link, CStoreDB_Handler& store, const CLanguageHandler* lang, QObject* parent)
    : QObject(parent)
    , m_link(link)
    , m_store(store)
    , m_lang(lang)
{
}

CFetchAllRun::~CFetchAllRun() = default;

CFetchAllRun::Result CFetchAllRun::Run(const QString& readerName)
{
    const auto text = [this](uint32_t n) { return m_lang ? m_lang->GetLangItem(n) : QString(); };

    // The reader's Changed flag and the transponders as the database holds them now.
    CChangeNotice::CatchUp(&m_store);
    int32_t readerId = 0;
    bool changed = false;
    const CtblLeser* readers = m_store.Get_Ptr_To_tblLeser();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i) {
        if (readers->Get_Leser(i).Name == readerName) {
            readerId = readers->Get_Leser(i).ID;
            changed = readers->Get_Leser(i).Changed == 1;
            break;
        }
    }
    // What the database holds for this reader and has not written yet would be overwritten.
    if (changed && !AskYesNo(text(185) + QLatin1Char('\n') + text(186)))
        return Declined;

    FetchAll::Reading reading;
    if (m_link) {
        LinkTurn turn(*m_link);
        std::atomic<bool> stop{false};
        QEventLoop loop;
        CThreadInbox& inbox = CThreadInbox::OfThisThread();
        const QString label = QLatin1Char('\n') + text(181);
        std::thread worker([&] {
            reading = FetchAll::ReadReader(
                *m_link, stop, [&](int count) { emit ProgressStarted(label, count); },
                [&](int position) { emit Progress(position); });
            inbox.Post(&loop, [&loop] { loop.quit(); });
        });
        // Paint events and timers go on; clicks and keys wait until the run is over.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
        inbox.Discard(&loop);   // the quit, had the loop ended some other way
    }

    switch (reading.outcome) {
    case FetchAll::Reading::Read:
        break;
    case FetchAll::Reading::Empty:
        emit ProgressEnded();
        ShowWarning(text(230));
        return Failed;
    case FetchAll::Reading::NoCount:
        emit ProgressEnded();
        ShowError(text(141) + text(14));
        return Failed;
    default:
        emit ProgressEnded();
        ShowError(text(141));
        return Failed;
    }

    m_numbersRead = int(reading.numbers.size());
    m_counts = {};
    CChangeNotice::CatchUp(&m_store);   // what other stations changed during the reading
    const int stored = FetchAll::ApplyToDatabase(m_store, readerId, reading.numbers, &m_counts);
    emit ProgressEnded();
    if (!stored)
        return Failed;
    if (!m_counts.refused.isEmpty())
        ShowWarning(text(400) + QLatin1Char('\n') + m_counts.refused.join(QLatin1Char('\n')));
    Prompt().ShowMessage(text(173));
    return Done;
}
