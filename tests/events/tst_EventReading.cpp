// Reading a reader's event memory against the simulator, without a window: every class, detail
// and century decoded and stored, how far a run reads, the date filter, and the ways a run ends
// early (no event pointer, replies cut short, a reader that falls silent, a store error, the
// owner going away) - each time with the port given back to the monitor worker. Also emptying
// the reader's memory.
#include "ReaderSim.h"
#include "SimEvents.h"
#include "readers/EventReading.h"
#include "readers/ReaderDeletion.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderModel.h"
#include "readers/ReaderTestSupport.h"
#include "support/LineFaults.h"
#include "support/OnlineFixture.h"
#include "support/StoreOwner.h"
#include "support/StoreBackends.h"
#include "support/TestEnv.h"

#include <QtTest>
#include <algorithm>
#include <functional>

using namespace ReaderTest;

namespace {

// A stored event as one line of text, to compare whole lists.
QString Row(const structEvents& e)
{
    return QStringList{e.TransponderNo, e.Date, e.Time, e.ClassCode, e.ClassText, e.DetailCode, e.DetailText,
                       e.ReaderName}.join(u'|');
}

// What the program must make of a simulated event, worked out from the event's own fields.
QString Expected(const Sim::SimEvent& s, const CLanguageHandler& lang)
{
    static const char* const kDetail[] = {"---", "001", "010", "011", "100", "101", "110", "011"};
    static const uint32_t kDetailText[] = {199, 229, 197, 194, 198, 195, 196, 194};
    structEvents e;
    e.TransponderNo = QString::fromStdString(s.number);
    const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    e.Date = two(s.day) + two(s.month) + (s.year > 70 ? "19" : "20") + two(s.year);
    e.Time = two(s.hour) + two(s.minute);
    e.ClassCode = s.eventClass >= 2 ? "10" : s.eventClass == 1 ? "01" : "00";
    e.ClassText = lang.GetLangItem(s.eventClass >= 2 ? 191 : s.eventClass == 1 ? 192 : 193);
    e.DetailCode = kDetail[s.detail];
    e.DetailText = lang.GetLangItem(kDetailText[s.detail]);
    e.ReaderName = QStringLiteral("Gate");
    return Row(e);
}

// The numbers of the event queries the reader heard, in order.
QList<int> EventQueries(const Sim::ReaderSim& sim)
{
    QList<int> numbers;
    for (const std::string& d : sim.ReceivedData('L'))
        if (d.size() == 5 && d[0] == 'E')
            numbers << QByteArray::fromStdString(d.substr(1)).toInt(nullptr, 16);
    return numbers;
}

int PointerQueries(const Sim::ReaderSim& sim)
{
    const std::vector<std::string> asked = sim.ReceivedData('L');
    return int(std::count(asked.begin(), asked.end(), "P0003"));
}

} // namespace

class TestEventReading : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    std::unique_ptr<CLinkController> m_ctrl;
    VmTest::OnlineFixture m_online{21};
    int32_t m_readerId = 0;

    CSerialLink& Link() { return m_ctrl->Link(); }
    Sim::ReaderSim& Sim() { return m_online.Reader(); }
    QString T(int n) const { return m_lang->GetLangItem(n); }
    CtblEvents* Events() const { return m_store->Get_Ptr_To_tblEvents(); }

    EventReadRequest Request() const
    {
        EventReadRequest r;
        r.readerId = m_readerId;
        r.readerName = QStringLiteral("Gate");
        r.model = ReaderModel::Cedar;
        return r;
    }

    // Runs a read to its end. onProgress sees every position as the run reports it.
    using OnProgress = std::function<void(CEventReadRun&, int)>;
    EventReadResult Read(const EventReadRequest& request, const OnProgress& onProgress = {})
    {
        CEventReadRun run(Link(), *m_store, m_lang.get());
        QSignalSpy finished(&run, &CEventReadRun::Finished);
        if (onProgress)
            connect(&run, &CEventReadRun::Progress, this, [&](int p) { onProgress(run, p); });
        run.Start(request);
        if (finished.isEmpty() && !finished.wait(90000))
            qFatal("the read run did not end");
        return finished.first().first().value<EventReadResult>();
    }

    // The events the database holds, counted through a connection of its own.
    int StoredRows() { return VmTest::Outside(m_store->Location(), {"SELECT COUNT(*) FROM tblEvents"}).toInt(); }

    // After every run: the monitor worker has the port again and polls the reader.
    void CheckPortGivenBack()
    {
        VmTest::CheckPortHandedBack(Link(), true);
        const int polls = Sim().Received('C');
        QTRY_VERIFY_WITH_TIMEOUT(Sim().Received('C') > polls, 5000);
    }

    void Fresh(const std::vector<Sim::SimEvent>& events, const QString& aimedFault = {})
    {
        ClearTables(*m_store);
        m_readerId = AddReader(*m_store, QStringLiteral("Gate"), QStringLiteral("Cedar"));
        Sim().SetFaults({});
        Sim().ClearAimedFaults();
        Sim().SetEvents(events);
        Sim().ClearLog();
        if (!aimedFault.isEmpty())
            Sim().AimFault(*Sim::ParseAimedFault(aimedFault.toStdString()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(OpenPrivateStore(m_lang, m_store));
        m_ctrl = std::make_unique<CLinkController>(m_lang.get());
        QVERIFY(m_online.Start(Sim::Model::Cedar));
        QVERIFY(m_online.Connect(*m_ctrl));
    }
    void cleanupTestCase()
    {
        m_ctrl.reset();
        m_online.Stop();
    }

    void everyEventIsDecodedAndStored()
    {
        const std::vector<Sim::SimEvent> events = Sim::VariedEvents(64);
        Fresh(events);
        ScriptedPrompt prompt;
        const EventReadResult result = Read(Request());
        QCOMPARE(result.outcome, EventReadResult::Done);
        QCOMPARE(result.lastEvent, 63);
        QList<int> every;
        for (int i = 0; i < 64; ++i)
            every << i;
        QCOMPARE(EventQueries(Sim()), every);
        // The monitor kept off the port from the pointer query to the last event.
        bool inRun = false;
        for (const Sim::SimLogEntry& e : Sim().Log()) {
            if (e.command == 'L' && e.data == "P0003")
                inRun = true;
            QVERIFY2(!inRun || e.command == 'L', "the monitor worker polled during the run");
            if (e.command == 'L' && e.data == "E003F")
                inRun = false;
        }

        // The cache was reloaded before the end was reported.
        QStringList got, want;
        for (int k = 0; k < Events()->GetAnz_Events(); ++k) {
            got << Row(Events()->Get_Event(k));
            QCOMPARE(Events()->Get_Event(k).ReaderID, m_readerId);
        }
        for (const Sim::SimEvent& e : events)
            want << Expected(e, *m_lang);
        QCOMPARE(got, want);
        CEventReadRun::Report(result, m_lang.get());
        QCOMPARE(prompt.Texts(), QStringList{T(200).replace("%d", "64")});
        CheckPortGivenBack();
    }

    void howFarARunReads_data()
    {
        QTest::addColumn<int>("eventsInReader");
        QTest::addColumn<bool>("toPointer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("lastEvent");
        QTest::addColumn<int>("pointerQueries");
        QTest::newRow("pointer 0000: one event") << 1 << true << int(EventReadResult::Done) << 0 << 1;
        QTest::newRow("empty memory") << 0 << true << int(EventReadResult::Empty) << -1 << 1;
        QTest::newRow("whole memory: no pointer asked") << 3 << false << int(EventReadResult::Done) << 4999 << 0;
    }
    void howFarARunReads()
    {
        QFETCH(int, eventsInReader);
        QFETCH(bool, toPointer);
        QFETCH(int, lastEvent);
        Fresh(Sim::VariedEvents(eventsInReader));
        EventReadRequest request = Request();
        request.readToPointer = toPointer;
        ScriptedPrompt prompt;
        // A run over the whole memory is stopped after a few events.
        const EventReadResult result = Read(request, [&](CEventReadRun& run, int p) {
            if (p >= 6 && !toPointer)
                run.Stop();
        });
        QTEST(int(result.outcome), "outcome");
        QCOMPARE(result.lastEvent, lastEvent);
        QTEST(PointerQueries(Sim()), "pointerQueries");
        if (toPointer) {
            QCOMPARE(EventQueries(Sim()).size(), eventsInReader);
            QCOMPARE(result.stored, eventsInReader);
        } else {
            QVERIFY(result.stopped);
            QCOMPARE(Events()->GetAnz_Events(), result.stored);
        }
        CEventReadRun::Report(result, m_lang.get());
        if (result.outcome == EventReadResult::Empty)
            QCOMPARE(prompt.Texts(), QStringList{T(190)});
        CheckPortGivenBack();
    }

    // Every event is read, only those in the range stored (the edges: tst_EventDecoding).
    void dateFilterStoresOnlyTheRange()
    {
        std::vector<Sim::SimEvent> events(3);
        events[0].day = 14, events[1].day = 15, events[2].day = 15;
        events[0].month = events[1].month = events[2].month = 1;
        events[0].year = events[1].year = 9, events[2].year = 99;
        Fresh(events);
        EventReadRequest request = Request();
        request.dateFilter = true;
        request.fromDate = QStringLiteral("150109");
        request.toDate = QStringLiteral("100309");
        const EventReadResult result = Read(request);
        QCOMPARE(result.outcome, EventReadResult::Done);
        QCOMPARE(EventQueries(Sim()).size(), 3);
        QCOMPARE(result.stored, 1);
        QCOMPARE(Events()->Get_Event(0).Date, QStringLiteral("15012009"));
    }

    void eventPointerNotAnswered_data()
    {
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("outcome");
        QTest::newRow("fifth try answered") << 4 << int(EventReadResult::Done);
        QTest::newRow("five unanswered") << 5 << int(EventReadResult::NoPointer);
    }
    void eventPointerNotAnswered()
    {
        QFETCH(int, dropped);
        Fresh(Sim::VariedEvents(2), QStringLiteral("drop:LP0003:%1").arg(dropped));
        ScriptedPrompt prompt;
        const EventReadResult result = Read(Request());
        QTEST(int(result.outcome), "outcome");
        QCOMPARE(PointerQueries(Sim()), std::min(dropped + 1, 5));
        CEventReadRun::Report(result, m_lang.get());
        if (result.outcome == EventReadResult::NoPointer) {
            QVERIFY(EventQueries(Sim()).isEmpty());
            QCOMPARE(prompt.Texts(), QStringList{T(141)});   // and no end message: nothing was read
            QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
        }
        CheckPortGivenBack();
    }

    // Replies cut short part way: what came whole before stays stored; then one event is asked
    // again, 25 times, and the run gives up.
    void repliesCutShortEndTheRun()
    {
        Fresh(Sim::VariedEvents(40));
        ScriptedPrompt prompt;
        const EventReadResult result = Read(Request(), [this](CEventReadRun&, int position) {
            Sim::SimFaults f;
            f.shortEvents = position >= 11;
            Sim().SetFaults(f);
        });
        Sim().SetFaults({});
        QCOMPARE(result.outcome, EventReadResult::ReaderFailed);
        const QList<int> asked = EventQueries(Sim());
        const int whole = int(asked.size()) - 25;
        QVERIFY(whole >= 10);
        QCOMPARE(asked.mid(whole), QList<int>(25, whole));
        QCOMPARE(StoredRows(), whole);
        CEventReadRun::Report(result, m_lang.get());
        QCOMPARE(prompt.Texts(), (QStringList{T(169), T(200).replace("%d", "0")}));
        CheckPortGivenBack();
    }

    void storeErrorEndsTheRunWithTheCountSoFar()
    {
        Fresh(Sim::VariedEvents(20));
        VmTest::Outside(m_store->Location(), {"CREATE TRIGGER vmtest_full BEFORE INSERT ON tblEvents "
                                              "WHEN (SELECT COUNT(*) FROM tblEvents) >= 7 "
                                              "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"});
        ScriptedPrompt prompt;
        const EventReadResult result = Read(Request());
        VmTest::Outside(m_store->Location(), {"DROP TRIGGER vmtest_full"});
        QCOMPARE(result.outcome, EventReadResult::StoreError);
        QCOMPARE(StoredRows(), 7);
        QCOMPARE(EventQueries(Sim()).size(), 8);   // nothing is asked after the failed store

        CEventReadRun::Report(result, m_lang.get());
        const std::vector<ScriptedPrompt::Shown> shown = prompt.Log();
        QCOMPARE(int(shown.size()), 2);
        QVERIFY2(shown[0].text.contains("disk is full"), qPrintable(shown[0].text));
        QCOMPARE(shown[0].icon, PromptIcon::Warning);
        QCOMPARE(shown[1].text, T(200).replace("%d", "7"));
        CheckPortGivenBack();
    }

    void ownerGoneStopsTheRunAndLeavesTheLinkUsable()
    {
        Fresh(Sim::VariedEvents(300));
        Sim::SimFaults f;
        f.pace = true;   // about 7 ms an event: the run is still going when its owner goes
        Sim().SetFaults(f);
        auto run = std::make_unique<CEventReadRun>(Link(), *m_store, m_lang.get());
        QSignalSpy progress(run.get(), &CEventReadRun::Progress);
        QSignalSpy finished(run.get(), &CEventReadRun::Finished);
        QVERIFY(run->Start(Request()));
        QTRY_VERIFY_WITH_TIMEOUT(progress.size() >= 10, 20000);
        run.reset();   // stops the run; waits up to 1500 ms for it to notice
        VmTest::CheckPortHandedBack(Link());
        const int asked = int(EventQueries(Sim()).size());
        QVERIFY(asked < 300);
        QTest::qWait(300);
        QCOMPARE(int(EventQueries(Sim()).size()), asked);   // no event is asked for after the stop
        QTRY_COMPARE(Events()->GetAnz_Events(), StoredRows());
        Sim().SetFaults({});
        // The monitor has the port again and passes mailbox queries on.
        QCOMPARE(ReaderIdentity::QueryDeviceId(Link()), QString::fromStdString(Sim().DeviceId()));
    }

    // Maintenance while a run stores events is refused, without a question: the store handler
    // the worker uses is neither deleted (restore) nor emptied. Afterwards it is allowed again.
    void maintenanceIsRefusedDuringARun()
    {
        Fresh(Sim::VariedEvents(30));
        const QString backup = QFileInfo(m_store->GetAktDBPath()).absolutePath() + QStringLiteral("/during-run.mdb");
        QFile::remove(backup);
        QVERIFY(DatabaseBackup::BackupFile(m_store.get(), backup));
        const DatabaseBackup::StoreOwner owner = VmTest::OwnerOf(m_store, m_lang.get());
        const std::vector<std::function<int()>> maintenance = {
            [&] { return DatabaseBackup::RestoreFile(owner, backup); },
            [&] { return DatabaseBackup::ClearAll(m_store.get()); },
            [&] { return DatabaseBackup::BackupFile(m_store.get(), backup); },
            [&] { return ReaderDeletion::DeleteAllReaders(*m_store, nullptr); },
        };
        Sim::SimFaults slow;
        slow.replyDelayMs = 20;
        Sim().SetFaults(slow);
        ScriptedPrompt prompt;
        int refused = 0;
        Read(Request(), [&](CEventReadRun&, int position) {
            if (position != 5)
                return;
            for (const auto& step : maintenance) {
                prompt.NextAnswer(true);
                refused += step() == 0 && prompt.Texts().value(refused) == T(303);
            }
        });
        QCOMPARE(refused, int(maintenance.size()));
        QCOMPARE(prompt.Texts().size(), maintenance.size());   // nothing asked
        QCOMPARE(StoredRows(), 30);
        QCOMPARE(ReaderRuns::Active(), 0);
        prompt.Clear();
        QCOMPARE(DatabaseBackup::BackupFile(m_store.get(), backup), 1);
        CheckPortGivenBack();
    }

    // The clear is sent again until a reply of seven characters carries ACK, five times at most;
    // a reader that refuses or does not answer leaves it unacknowledged.
    void clearingTheReaderMemory_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("sent");
        QTest::addColumn<bool>("acknowledged");
        QTest::newRow("NAK twice, then ACK") << "nak:SP0003:2" << 3 << true;
        QTest::newRow("five NAK") << "nak:SP0003:5" << 5 << false;
        QTest::newRow("five unanswered") << "drop:SP0003:5" << 5 << false;
    }
    void clearingTheReaderMemory()
    {
        QFETCH(QString, fault);
        QFETCH(int, sent);
        Fresh(Sim::VariedEvents(12), fault);
        QTEST(ReaderEvents::ClearEventPointer(Link()), "acknowledged");
        QCOMPARE(Sim().ReceivedData('S'), std::vector<std::string>(size_t(sent), "P0003FFFF"));
        QCOMPARE(Sim().EventPointer(), 0xFFFFu);
        CheckPortGivenBack();
    }
};

QTEST_GUILESS_MAIN(TestEventReading)
#include "tst_EventReading.moc"
