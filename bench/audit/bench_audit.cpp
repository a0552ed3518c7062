// Times comparing a simulated Rowan that holds 1,000 transponders with the database (count,
// 1,000 slots, parameters 0 and 1, at the wire speed of 57200 bit/s), printed as the ratio of
// the run's wall time to the wire time of what was exchanged; then filtering 50,000 events
// (several criteria) and writing the report of all 50,000.
// Runs in a private temporary home. Usage: bench_audit [--no-pace] [--no-realtime] (see
// bench/WireBench.h).
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "readers/ReaderComparison.h"
#include "readers/ReaderModel.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "report/EventFilter.h"
#include "report/EventReport.h"
#include "support/SiteEvents.h"
#include "support/TestEnv.h"
#include "WireBench.h"
#include "texts/CLanguageHandler.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>

constexpr int kCom = 44;

int main(int argc, char** argv)
{
    const bool pace = VmBench::StartWireBenchmark(argc, argv).pace;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ScriptedPrompt prompt;
    std::unique_ptr<CStoreDB_Handler> owned;
    if (!VmBench::OpenPrivateStore(owned))
        return 1;
    CStoreDB_Handler& store = *owned;
    bool ok = true;

    // ---- compare: a Rowan full to the last slot, one number revoked since ----
    {
        int32_t reader = 0;
        AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) {
            r.Name = "Rowan", r.Model = "Rowan", r.Params = "F0", r.SwitchTime = "5";
        }, &reader);
        std::vector<std::string> held;
        AddRecords(store.Get_Ptr_To_tblTransponder(), 1000, [&](int i, structTransponder& t) {
            t.Number = VmTest::SiteNumber(0x1000 + i);
            t.Readers = i == 500 ? QString() : QString::number(reader);
            t.ScheduleID = 1;
            held.push_back(t.Number.toStdString());
        });
        Sim::ReaderSim sim(Sim::Model::Rowan, kCom);
        CSerialLink link;
        if (!VmBench::StartPacedReader(sim, pace, link))
            return 1;
        sim.SetTransponders(held);
        CCompareRun run(link, store, nullptr);
        QElapsedTimer timer;
        timer.start();
        const CCompareRun::Result result = run.Run("Rowan", ReaderModel::Rowan);
        const double seconds = timer.nsecsElapsed() / 1e9;
        int telegrams = 0;
        const double wire = VmBench::WireSeconds(sim, &telegrams);
        if (result != CCompareRun::Done || run.Differences().onlyInReader.size() != 1) {
            std::fprintf(stderr, "compare failed\n");
            return 2;
        }
        ok &= VmBench::ReportRatio("compare, 1,000 slots and 2 parameters", seconds, wire, telegrams);
        sim.Stop();
        DeleteRecordsWhere(store.Get_Ptr_To_tblLeser(), {});
        DeleteRecordsWhere(store.Get_Ptr_To_tblTransponder(), {});
        store.Get_Ptr_To_tblLeser()->_Requery();
        store.Get_Ptr_To_tblTransponder()->_Requery();
    }

    // ---- 50,000 events ----
    const std::vector<int32_t> readers = VmTest::FillSite(store, 50000, QDate(2026, 3, 1));
    {
        EventFilter::Criteria one, person, days;
        one.readerId = readers[2];
        one.classes = EventFilter::Refused | EventFilter::Alarm;
        person.who = QStringLiteral("person 4");
        days.from = QDate(2026, 3, 5);
        days.to = QDate(2026, 3, 9);
        double worst = 0;
        for (const EventFilter::Criteria& c : {EventFilter::Criteria{}, one, person, days}) {
            QElapsedTimer timer;
            timer.start();
            const size_t n = EventFilter::Apply(store, c).size();
            const double ms = timer.nsecsElapsed() / 1e6;
            worst = std::max(worst, ms);
            std::printf("  filter: %6zu of 50,000 events  %7.1f ms\n", n, ms);
        }
        std::printf("%-44s %7.1f ms  (target < 200 ms)\n", "filter, 50,000 events, slowest of four", worst);
        ok &= worst < 200;
    }
    {
        EventReport::Input in;
        in.site = QStringLiteral("Benchmark");
        QElapsedTimer timer;
        timer.start();
        in.events = EventFilter::Apply(store, {});
        int pages = 0;
        QString error;
        const QString file = VmTest::IsolateHome() + QStringLiteral("/report.pdf");
        // English texts from beside the program, as the windows use them.
        const CLanguageHandler lang(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        const bool written = EventReport::Write(file, store, &lang, in, &error, &pages);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!written) {
            std::fprintf(stderr, "report failed: %s\n", qPrintable(error));
            return 2;
        }
        std::printf("%-44s %7.2f s  %d pages, %lld KiB  (target < 3 s)\n", "report, 50,000 events", seconds, pages,
                    QFileInfo(file).size() / 1024);
        ok &= seconds < 3;
    }
    return ok ? 0 : 3;
}
