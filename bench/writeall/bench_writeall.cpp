// Times writing all data into a simulated Rowan holding 1,000 transponders, each with a
// schedule (1 + 1,000 + 4,000 + 20 telegrams), and fetching 1,000 slots back, with the
// simulator sending every byte at the wire speed of 57200 bit/s; each is printed as the ratio
// of the run's wall time to the wire time of the telegrams and replies it exchanged. Then the
// three database passes of fetch-all against a table of 10,000 transponders.
// Runs in a private temporary home. Usage: bench_writeall [--no-pace] [--no-realtime] (see
// bench/WireBench.h).
#include "ReaderSim.h"
#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "readers/FetchAll.h"
#include "readers/ReaderModel.h"
#include "readers/WriteAll.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "WireBench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>

namespace {

constexpr int kCom = 41;

QString Number(int i)
{
    return QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper();
}

} // namespace

int main(int argc, char** argv)
{
    const bool pace = VmBench::StartWireBenchmark(argc, argv).pace;

    QCoreApplication app(argc, argv);
    ScriptedPrompt prompt;   // the end messages go to a log, not to a window
    std::unique_ptr<CStoreDB_Handler> owned;
    if (!VmBench::OpenPrivateStore(owned))
        return 1;
    CStoreDB_Handler& store = *owned;
    bool ok = true;

    int32_t reader = 0;
    AddRecord(store.Get_Ptr_To_tblLeser(), [](structLeser& r) {
        r.Name = "Rowan", r.Model = "Rowan", r.Params = "F0", r.SwitchTime = "5", r.Changed = 1;
    }, &reader);
    // Two schedules besides the full-access one; each transponder has one of the three.
    AddRecords(store.Get_Ptr_To_tblZeitschema(), 8, [](int k, structZeitschema& z) {
        z.Name = k < 4 ? "Office" : "Night";
        z.From = "0730", z.To = "1800";
        z.Day[1] = z.Day[2] = z.Day[3] = 1;
    });
    store.Get_Ptr_To_tblZeitschema()->_Requery();
    AddRecords(store.Get_Ptr_To_tblTransponder(), 1000, [&](int i, structTransponder& t) {
        t.Number = Number(0x100000 + i);
        t.Readers = QString::number(reader);
        t.ScheduleID = 1 + 4 * (i % 3);
    });
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();

    Sim::ReaderSim sim(Sim::Model::Rowan, kCom);
    CSerialLink link;
    if (!VmBench::StartPacedReader(sim, pace, link))
        return 1;

    // ---- write all ----
    {
        CWriteAllRun run(link, store, nullptr, WriteAll::Prepare(store, "Rowan", ReaderModel::Rowan));
        QEventLoop loop;
        int written = -1;
        QObject::connect(&run, &CWriteAllRun::Finished, &loop, [&](int n) { written = n, loop.quit(); });
        QElapsedTimer timer;
        timer.start();
        run.Start();
        loop.exec();
        const double seconds = timer.nsecsElapsed() / 1e9;
        int telegrams = 0;
        const double wire = VmBench::WireSeconds(sim, &telegrams);
        if (written != 1000 || sim.Windows().size() != 4000) {
            std::fprintf(stderr, "write all failed: %d written, %zu windows\n", written, sim.Windows().size());
            return 2;
        }
        ok &= VmBench::ReportRatio("write all, 1,000 transponders with schedules", seconds, wire, telegrams);
    }

    // ---- fetch all: the reader's list against a database that lost a tenth of it ----
    {
        std::vector<int32_t> gone;
        for (int i = 0; i < 100; ++i)
            gone.push_back(store.Get_Ptr_To_tblTransponder()->Get_Transponder(i * 10).ID);
        DeleteRecordsByIds(store.Get_Ptr_To_tblTransponder(), gone);
        store.Get_Ptr_To_tblTransponder()->RemoveIds(gone);
        sim.ClearLog();
        CFetchAllRun run(&link, store, nullptr);
        QElapsedTimer timer;
        timer.start();
        const CFetchAllRun::Result result = run.Run("Rowan");
        const double seconds = timer.nsecsElapsed() / 1e9;
        int telegrams = 0;
        const double wire = VmBench::WireSeconds(sim, &telegrams);
        if (result != CFetchAllRun::Done || store.Get_Ptr_To_tblTransponder()->GetAnz_Transponder() != 1000) {
            std::fprintf(stderr, "fetch all failed\n");
            return 2;
        }
        ok &= VmBench::ReportRatio("fetch all, 1,000 slots", seconds, wire, telegrams);
    }
    sim.Stop();

    // ---- the passes against 10,000 transponders ----
    {
        DeleteRecordsWhere(store.Get_Ptr_To_tblTransponder(), {});
        // A full Rowan (1,000 slots) against 10,000 transponders: 600 in both, 400 only in the
        // reader, 7,000 only in the database and assigned to no reader (deleted; 1,000 of them
        // carried by a person), 2,400 assigned to other readers.
        AddRecords(store.Get_Ptr_To_tblTransponder(), 10000, [](int i, structTransponder& t) {
            t.Number = Number(0x200000 + i);
            t.Readers = i < 600 ? QStringLiteral("3") : i < 7600 ? QString() : QStringLiteral("7");
            t.ScheduleID = 1;
        });
        store.Get_Ptr_To_tblTransponder()->_Requery();
        const int32_t firstId = store.Get_Ptr_To_tblTransponder()->Get_Transponder(0).ID;
        AddRecords(store.Get_Ptr_To_tblPerson(), 1000, [&](int i, structPerson& p) {
            p.Name = QStringLiteral("P%1").arg(i);
            p.TransponderID = firstId + 600 + 7 * i;
        });
        store.Get_Ptr_To_tblPerson()->_Requery();
        QStringList reported;
        for (int i = 0; i < 600; ++i)
            reported << Number(0x200000 + i);
        for (int i = 0; i < 400; ++i)
            reported << Number(0x300000 + i);
        FetchAll::PassCounts counts;
        QElapsedTimer timer;
        timer.start();
        const int stored = FetchAll::ApplyToDatabase(store, reader, reported, &counts);
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!stored || counts.deleted != 7000 || counts.added != 400 || counts.assigned != 600) {
            std::fprintf(stderr, "passes failed: %d deleted, %d added, %d assigned\n", counts.deleted, counts.added,
                         counts.assigned);
            return 2;
        }
        std::printf("%-44s %5.3f s  (target < 0.5 s)\n", "fetch-all passes, 10,000 transponders", seconds);
        ok &= seconds < 0.5;
    }
    return ok ? 0 : 3;
}
