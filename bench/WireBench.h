#pragma once
// What the benchmarks that time reader exchanges against the pacing simulator share: their
// options, real-time scheduling, and the wire time of what was exchanged.
//
// Usage of such a benchmark: [--no-pace] [--no-realtime]
//   --no-pace      the simulator answers at once, which shows the host's own time per exchange
//   --no-realtime  stay at normal priority. By default real-time scheduling is asked for (it is
//                  had when run as root), so that on a machine busy with other work the ratio
//                  measures the exchange and not the wait for a free core; it says which it got.
#include "ReaderSim.h"
#include "link/CSerialLink.h"
#include "records/CStoreDB_Handler.h"
#include "support/TestEnv.h"

#include <QByteArray>
#include <cstdio>
#include <memory>
#include <sched.h>

namespace VmBench {

struct WireOptions {
    bool pace = true;
    bool realtime = true;
};

// Call before any thread starts: the threads made later (simulator, workers) inherit the policy.
inline WireOptions StartWireBenchmark(int argc, char** argv)
{
    WireOptions o;
    for (int i = 1; i < argc; ++i) {
        o.pace = o.pace && QByteArray(argv[i]) != "--no-pace";
        o.realtime = o.realtime && QByteArray(argv[i]) != "--no-realtime";
    }
    sched_param param {};
    param.sched_priority = 10;
    o.realtime = o.realtime && sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    std::printf("scheduling: %s, simulator %s\n", o.realtime ? "real-time (FIFO)" : "normal",
                o.pace ? "pacing the wire at 57200 bit/s" : "answering at once");
    return o;
}

// Opens the store of a private temporary home; false after saying why.
inline bool OpenPrivateStore(std::unique_ptr<CStoreDB_Handler>& store)
{
    VmTest::IsolateHome();
    store = std::make_unique<CStoreDB_Handler>(nullptr);
    if (!store->IsDatabaseOpen())
        std::fprintf(stderr, "%s\n", qPrintable(store->DatabaseError()));
    return store->IsDatabaseOpen();
}

// Starts the simulated reader, pacing the wire unless told not to, and opens link on its port.
// false after saying why.
inline bool StartPacedReader(Sim::ReaderSim& sim, bool pace, CSerialLink& link)
{
    if (!sim.Start()) {
        std::fprintf(stderr, "%s\n", sim.ErrorText().c_str());
        return false;
    }
    Sim::SimFaults faults;
    faults.pace = pace;
    sim.SetFaults(faults);
    if (!link.OpenComPort("COM" + QByteArray::number(sim.ComNumber()), 1)) {
        std::fprintf(stderr, "cannot open the simulated reader's port\n");
        return false;
    }
    return true;
}

// Seconds the exchanged frames take on the wire: 10 bits a byte, STX and EOT included.
inline double WireSeconds(const Sim::ReaderSim& sim, int* telegrams)
{
    double bytes = 0;
    *telegrams = 0;
    for (const Sim::SimLogEntry& e : sim.Log()) {
        bytes += double(e.frame.size() + 2);
        if (e.replied)
            bytes += double(e.reply.size() + 2);
        ++*telegrams;
    }
    return bytes * 10.0 / sim.Info().rate;
}

// One line: what, telegrams, wall and wire time, the ratio against its target of 1.10.
inline bool ReportRatio(const char* what, double seconds, double wire, int telegrams)
{
    const double ratio = seconds / wire;
    std::printf("%-44s %5d telegrams  %7.2f s  wire %7.2f s  ratio %.3f  (target <= 1.10)\n", what, telegrams, seconds,
                wire, ratio);
    return ratio <= 1.10;
}

} // namespace VmBench
