// How fast another program's change reaches the open transponder table, and what watching for
// changes costs while nothing happens. A site's database (10,000 transponders, 1,000 persons,
// 100 readers, 50,000 events); the table is open on all transponders and follows the change
// notice as in the program. Another connection adds a transponder at a random moment; the
// figure is the time from its commit to the table showing the new row (median of the runs).
// Then ten seconds without changes: the process's CPU time against the wall time, and the cost
// of one check. With a PostgreSQL URL (or VM_BENCH_PG_URL) the same against that server.
// Usage: bench_notice [runs] [postgresql://...]
#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/ChangeNotice.h"
#include "records/RecordOps.h"
#include "support/OutsideConnection.h"
#include "support/TestEnv.h"
#include "views/CTransponderDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int kTransponders = 10000, kPersons = 1000, kReaders = 100, kEvents = 50000;

QString Number(int i) { return QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper(); }

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Fill(CStoreDB_Handler& store)
{
    for (auto* t : std::initializer_list<CStoreTableBase*>{store.Get_Ptr_To_tblLeser(), store.Get_Ptr_To_tblTransponder(),
                                                          store.Get_Ptr_To_tblPerson(), store.Get_Ptr_To_tblEvents()})
        t->DeleteAllRows();
    AddRecords(store.Get_Ptr_To_tblLeser(), kReaders, [](int k, structLeser& r) {
        r.Name = QStringLiteral("Leser_%1").arg(k + 1);
        r.Model = QStringLiteral("Cedar");
    });
    AddRecords(store.Get_Ptr_To_tblTransponder(), kTransponders, [](int k, structTransponder& t) {
        t.Number = Number(k + 1);
        t.ScheduleID = 1;
        t.Readers = QStringLiteral("1;%1").arg(2 + k % 50);
    });
    AddRecords(store.Get_Ptr_To_tblPerson(), kPersons, [](int k, structPerson& p) {
        p.Name = QStringLiteral("Person_%1").arg(k + 1);
        p.TransponderID = k + 1;
    });
    AddRecords(store.Get_Ptr_To_tblEvents(), kEvents, [](int k, structEvents& e) {
        e.TransponderNo = Number(1 + k % kTransponders);
        e.ReaderID = 1 + k / 10000;
    });
    CChangeNotice::ReloadTables(&store, CChangeNotice::AllTables());
}

struct Figures {
    double medianMs = 0;
    double idlePercent = 0;
    double checkUs = 0;
};

bool Measure(const StoreLocation& loc, int runs, Figures& out)
{
    CStoreDB_Handler office(nullptr, loc);
    if (!office.IsDatabaseOpen()) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(loc.DisplayName()), qPrintable(office.DatabaseError()));
        return false;
    }
    {
        CStoreTransaction tx(&office);
        Fill(office);
        tx.Commit();
    }
    CChangeNotice::ReloadTables(&office, CChangeNotice::AllTables());
    CTransponderDlg view(ViewContext{nullptr, &office, nullptr, nullptr});
    view.resize(1000, 700);
    view.Load(0);
    view.show();
    CChangeNotice notice(&office);
    QObject::connect(&notice, &CChangeNotice::AboutToReload, &view, &CGridBaseDlg::KeepPlace);
    QObject::connect(&notice, &CChangeNotice::TablesReloaded, &view, &CGridBaseDlg::FollowReload);
    Wait(1200);   // the first look has passed

    std::vector<double> latencies;
    {
        QSqlDatabase other = VmTest::OutsideConnection(loc, QStringLiteral("other"));
        for (int run = 0; run < runs; ++run) {
            Wait(int(QRandomGenerator::global()->bounded(1000)));   // any moment of the timer's round
            const int before = view.RecordCount();
            QSqlQuery q(other);
            if (!q.exec(QStringLiteral("INSERT INTO tblTransponder (Number, PersonID, ScheduleID, Readers, Changed) "
                                       "VALUES ('%1', 0, 1, '', 0)").arg(Number(kTransponders + 1 + run)))) {
                std::fprintf(stderr, "insert: %s\n", qPrintable(q.lastError().text()));
                return false;
            }
            QElapsedTimer clock;
            clock.start();
            while (view.RecordCount() == before && clock.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            latencies.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    std::sort(latencies.begin(), latencies.end());
    out.medianMs = latencies[latencies.size() / 2];

    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    Wait(10000);
    out.idlePercent = 100.0 * (CpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0);

    constexpr int kChecks = 2000;
    QElapsedTimer checks;
    checks.start();
    for (int i = 0; i < kChecks; ++i)
        notice.CheckNow();
    out.checkUs = double(checks.nsecsElapsed()) / 1e3 / kChecks;
    return true;
}

void Print(const char* backend, const Figures& f, double targetMs)
{
    std::printf("%-10s commit to open table, median   %8.0f ms    target < %.0f ms\n", backend, f.medianMs, targetMs);
    std::printf("%-10s idle watch, CPU of one core    %8.3f %%     target < 1 %%\n", backend, f.idlePercent);
    std::printf("%-10s one check without news         %8.1f us\n", backend, f.checkUs);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString home = VmTest::IsolateHome();
    ScriptedPrompt prompt;
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 9;
    const QString url = argc > 2 ? QString::fromLocal8Bit(argv[2]) : qEnvironmentVariable("VM_BENCH_PG_URL");

    std::printf("change notice, %d transponders, %d persons, %d readers, %d events; %d runs\n", kTransponders, kPersons,
                kReaders, kEvents, runs);
    Figures lite;
    if (!Measure(StoreLocation::Parse(home + QStringLiteral("/notice.mdb")), runs, lite))
        return 1;
    Print("SQLite", lite, 2000);
    if (!url.isEmpty()) {
        Figures server;
        if (!Measure(StoreLocation::Parse(url), runs, server))
            return 1;
        Print("PostgreSQL", server, 500);
    }
    return 0;
}
