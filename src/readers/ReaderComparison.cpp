#include "readers/ReaderComparison.h"

#include "base/Prompt.h"
#include "base/ThreadInbox.h"
#include "link/CSerialLink.h"
#include "readers/FetchAll.h"
#include "readers/LinkTurn.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

#include <QEventLoop>
#include <QHash>
#include <thread>

namespace ReaderComparison {

namespace {

QString Text(const CLanguageHandler* lang, uint32_t number)
{
    return lang ? lang->GetLangItem(number) : QString();
}

// `from` without the numbers of `other`, both taken as multisets, in the order of `from`.
QStringList Without(const QStringList& from, const QStringList& other)
{
    QHash<QString, int> left;
    for (const QString& n : other)
        ++left[n];
    QStringList out;
    for (const QString& n : from) {
        int& k = left[n];
        if (k > 0)
            --k;
        else
            out << n;
    }
    return out;
}

} // namespace

Differences Compare(const WriteAll::Plan& plan, const ReaderContents& reader)
{
    Differences d;
    d.inReader = int(reader.numbers.size());
    d.inDatabase = int(plan.transponders.size());
    d.onlyInReader = Without(reader.numbers, plan.transponders);
    d.onlyInDatabase = Without(plan.transponders, reader.numbers);
    // What both hold, each in its own order.
    d.orderDiffers = Without(reader.numbers, d.onlyInReader) != Without(plan.transponders, d.onlyInDatabase);
    // The telegram data writing all data would send, minus its "P000n" head.
    const QString want[2] = {QString::fromLatin1(WriteAll::Param0Data(plan.params).mid(5)),
                             QString::fromLatin1(WriteAll::Param1Data(plan.switchTime).mid(5))};
    const QString have[2] = {reader.param0, reader.param1};
    for (int i = 0; i < 2; ++i)
        if (!have[i].isEmpty() && have[i] != want[i])
            d.params << ParamDiff{i, have[i], want[i]};
    return d;
}

WriteAll::Plan PlanNow(CStoreDB_Handler& store, const QString& readerName, int model)
{
    // Another program may have changed assignments, schedules or parameters since the lists
    // were loaded; the comparison is worth only as much as the database's side is fresh.
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblZeitschema()->_Requery();
    return WriteAll::Prepare(store, readerName, model);
}

Outcome ReadBusReader(CSerialLink& link, const std::atomic<bool>& stop, ReaderContents& out,
                      const std::function<void(int)>& countKnown, const std::function<void(int)>& slotAsked)
{
    const FetchAll::Reading r = FetchAll::ReadReader(link, stop, countKnown, slotAsked);
    if (r.outcome == FetchAll::Reading::Stopped)
        return Outcome::Stopped;
    if (r.outcome != FetchAll::Reading::Read && r.outcome != FetchAll::Reading::Empty)
        return Outcome::Failed;
    out.numbers = r.numbers;
    // Parameters answer in the count's layout: "FFLP", four hex digits, checksum.
    for (int index = 0; index < 2; ++index) {
        const QByteArray data = "P000" + QByteArray::number(index);
        QString* target = index == 0 ? &out.param0 : &out.param1;
        for (int i = 0; i < FetchAll::kTries && target->isEmpty(); ++i) {
            if (stop.load())
                return Outcome::Stopped;
            link.m_nReady = 0;
            link.m_bBusy = 1;
            const QByteArray reply = link.SendTelegram('L', data, 1);
            int value = 0;
            if (FetchAll::ParseCount(reply, value))
                *target = QString::fromLatin1(reply.mid(4, 4));
        }
        if (target->isEmpty())
            return Outcome::Failed;
    }
    return Outcome::Read;
}

QStringList DescribeLines(const Differences& d, const CLanguageHandler* lang)
{
    QStringList lines;
    lines << Text(lang, 348).arg(d.inReader).arg(d.inDatabase);
    if (d.Same()) {
        lines << Text(lang, 342);
        return lines;
    }
    if (!d.onlyInReader.isEmpty())
        lines << Text(lang, 343) << d.onlyInReader;
    if (!d.onlyInDatabase.isEmpty())
        lines << Text(lang, 344) << d.onlyInDatabase;
    if (d.orderDiffers)
        lines << Text(lang, 345);
    for (const ParamDiff& p : d.params)
        lines << Text(lang, 346).arg(p.index).arg(p.inReader, p.inDatabase);
    return lines;
}

} // namespace ReaderComparison

CCompareRun::CCompareRun(CSerialLink& link, CStoreDB_Handler& store, const CLanguageHandler* lang, QObject* parent)
    : QObject(parent), m_link(link), m_store(store), m_lang(lang)
{
}

CCompareRun::Result CCompareRun::Run(const QString& readerName, int model)
{
    ReaderComparison::ReaderContents contents;
    ReaderComparison::Outcome outcome = ReaderComparison::Outcome::Failed;
    {
        LinkTurn turn(m_link);
        std::atomic<bool> stop{false};
        QEventLoop loop;
        CThreadInbox& inbox = CThreadInbox::OfThisThread();
        const QString label = QLatin1Char('\n') + (m_lang ? m_lang->GetLangItem(341) : QString());
        emit ProgressStarted(label, 0);
        std::thread worker([&] {
            outcome = ReaderComparison::ReadBusReader(
                m_link, stop, contents, [&](int count) { emit ProgressStarted(label, count); },
                [&](int position) { emit Progress(position); });
            inbox.Post(&loop, [&loop] { loop.quit(); });
        });
        // Paint events and timers go on; clicks and keys wait until the reading is over.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker.join();
        inbox.Discard(&loop);
    }
    emit ProgressEnded();
    if (outcome != ReaderComparison::Outcome::Read) {
        ShowError(m_lang ? m_lang->GetLangItem(141) : QString());
        return Failed;
    }
    // The database's side only now, after the reader's: the closest to "at that moment".
    m_diff = ReaderComparison::Compare(ReaderComparison::PlanNow(m_store, readerName, model), contents);
    return Done;
}
