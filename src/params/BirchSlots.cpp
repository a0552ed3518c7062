#include "params/BirchSlots.h"

#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "link/Telegram.h"
#include "params/ParamCodes.h"
#include "records/CStoreDB_Handler.h"
#include "records/TextOps.h"

#include <QSet>
#include <chrono>
#include <thread>

using namespace ParamSupport;

namespace {
QByteArray Hex2(int n)
{
    return QByteArray::number(n & 0xFF, 16).toUpper().rightJustified(2, '0');
}

bool Acknowledged(const QByteArray& reply)
{
    return !reply.isEmpty() && reply[0] == Telegram::ACK;
}
} // namespace

BirchSlots::BirchSlots(const Context& ctx, int32_t readerId)
    : m_ctx(ctx)
    , m_readerId(readerId)
{
}

QByteArray BirchSlots::Ask(char command, const QByteArray& data)
{
    return ParamSupport::Ask(m_ctx.link, DeskReaderAtPort(m_ctx.link), command, data, 2);
}

void BirchSlots::NoAnswer(const Feedback& feedback)
{
    feedback.Busy(false);
    feedback.Status(141);
    ShowErrorText(m_ctx, 141);
}

QStringList BirchSlots::DatabaseEntries()
{
    m_names.clear();
    QStringList entries;
    CtblTransponder* transponders = m_ctx.store->Get_Ptr_To_tblTransponder();
    CtblPerson* persons = m_ctx.store->Get_Ptr_To_tblPerson();
    for (int i = 0; i < transponders->GetAnz_Transponder(); ++i) {
        const structTransponder& t = transponders->Get_Transponder(i);
        if (!HasReader(t.Readers, m_readerId))
            continue;
        const structPerson* person = t.PersonID >= 1 ? persons->FindById(t.PersonID) : nullptr;
        if (!person) {
            entries << t.Number;
            continue;
        }
        m_names.append({t.Number, person->Name});
        entries << person->Name;
    }
    return entries;
}

QString BirchSlots::NumberOf(const QString& entry) const
{
    for (const auto& [number, name] : m_names)
        if (name == entry)
            return number;
    return entry;
}

QString BirchSlots::EntryOf(const QString& number) const
{
    for (const auto& [n, name] : m_names)
        if (n == number)
            return name;
    return number;
}

QStringList BirchSlots::NumbersOf(const QStringList& entries) const
{
    QStringList numbers;
    for (const QString& e : entries)
        numbers << NumberOf(e);
    return numbers;
}

bool BirchSlots::ReadReader(QStringList& read, const Feedback& feedback)
{
    read.clear();
    feedback.Busy(true);
    const QByteArray count = Ask('Y', {});
    if (count.isEmpty()) {
        NoAnswer(feedback);
        return false;
    }
    uint64_t n = 0;
    HexTextToNumber(QString::fromLatin1(count.left(2)), n);
    feedback.Range(0, int(n));
    feedback.Status(181);
    for (int slot = 1; slot < int(n); ++slot) {
        feedback.Position(slot);
        const QByteArray number = Ask('G', Hex2(slot));
        if (number.isEmpty()) {
            feedback.Position(0);
            NoAnswer(feedback);
            return false;
        }
        read << EntryOf(QString::fromLatin1(number));
    }
    feedback.Busy(false);
    feedback.Status(182);
    feedback.Position(0);
    return true;
}

BirchSlots::Outcome BirchSlots::Send(const QStringList& targetEntries, const Feedback& feedback)
{
    const QStringList numbers = NumbersOf(targetEntries);
    const int entries = int(numbers.size());
    if (entries > kMaxEntries) {
        ShowErrorText(m_ctx, 213);
        return Outcome::TooMany;
    }
    const structLeser* reader = m_ctx.store->Get_Ptr_To_tblLeser()->FindById(m_readerId);
    const uint32_t mode = reader ? ParamCodes::ParseDeskParams(reader->Params).mode : 0;
    const QString seconds = reader ? reader->SwitchTime : QStringLiteral("0");

    feedback.Busy(true);
    feedback.Range(0, entries + 1);
    feedback.Position(1);
    if (!Acknowledged(Ask('Z', Hex2(entries + 1)))) {
        NoAnswer(feedback);
        return Outcome::NoAnswer;
    }
    feedback.Status(184);
    for (int i = 0; i < entries; ++i) {
        feedback.Position(i + 2);
        const QByteArray data = Hex2(i + 1) + numbers[i].toLatin1();
        if (Acknowledged(Ask('S', data)))
            continue;
        // A desk reader busy with its own storing misses a telegram now and then.
        std::this_thread::sleep_for(std::chrono::milliseconds(kRepeatDelayMs));
        if (Acknowledged(Ask('S', data)))
            continue;
        feedback.Position(0);
        NoAnswer(feedback);
        return Outcome::NoAnswer;
    }
    if (m_ctx.link)
        m_ctx.link->m_nReady = 0;
    if (Ask('J', (mode & 0x02) ? "1" : "0").isEmpty() || Ask('K', (mode & 0x01) ? "1" : "0").isEmpty()) {
        NoAnswer(feedback);
        return Outcome::NoAnswer;
    }
    Ask('D', ParamCodes::DeskSwitchData(seconds));
    feedback.Busy(false);
    feedback.Status(173);
    feedback.Position(0);
    return TakeOver(targetEntries);
}

BirchSlots::Outcome BirchSlots::TakeOver(const QStringList& targetEntries)
{
    return BringInLine(NumbersOf(targetEntries)) == RecordResult::Done ? Outcome::Done : Outcome::NotStored;
}

RecordResult BirchSlots::BringInLine(const QStringList& numbers)
{
    const QSet<QString> target(numbers.begin(), numbers.end());
    QSet<QString> seen;
    CtblTransponder* transponders = m_ctx.store->Get_Ptr_To_tblTransponder();
    CtblLeser* readers = m_ctx.store->Get_Ptr_To_tblLeser();
    const int32_t id = m_readerId;

    CStoreTransaction tx(m_ctx.store);
    EditRecordById(readers, id, [](structLeser& r) { r.Changed = 0; });
    EditRecordsWhere(
        transponders,
        [&](const structTransponder& t) {
            const bool wanted = target.contains(t.Number);
            if (wanted)
                seen.insert(t.Number);
            return wanted != HasReader(t.Readers, id);
        },
        [&](structTransponder& t) {
            t.Readers = target.contains(t.Number) ? AddReaderToAll(t.Readers, id) : RemoveReader(t.Readers, id);
        });
    QStringList missing;
    for (const QString& n : numbers)
        if (!seen.contains(n) && !missing.contains(n))
            missing << n;
    AddRecords(transponders, int(missing.size()), [&](int k, structTransponder& t) {
        t.Number = missing[k];
        t.PersonID = 0;
        t.ScheduleID = 1;
        t.Changed = 0;
        t.Readers = QString::number(id);
    });
    if (!tx.Commit())
        return RecordResult::StoreError;
    readers->PatchById(id, [](structLeser& r) { r.Changed = 0; });
    transponders->_Requery();
    if (m_ctx.refreshReaders)
        m_ctx.refreshReaders();
    return RecordResult::Done;
}
