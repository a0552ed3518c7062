// Times the transponder table with 10,000 transponders and 50 readers: filling it and painting
// the first screen, scrolling to the end, ticking one reader cell (store, cache and repaint),
// assigning one reader to every transponder, and capturing a new number. Each figure is
// printed with its target. Runs in a private temporary home, on the offscreen platform unless
// another is set. Usage: bench_transponders [transponders] [readers]
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "views/CTransponderDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

struct Figure {
    const char* what;
    double targetMs;
    std::vector<double> runs;   // wall time
    std::vector<double> cpu;    // this process's CPU time: on a busy machine the wall time
                                // mostly measures the wait for a core
};

// Wall and CPU time of one step.
class Stopwatch {
public:
    void Start()
    {
        m_wall.start();
        m_cpu = std::clock();
    }
    void Stop(Figure& f) const
    {
        f.runs.push_back(double(m_wall.nsecsElapsed()) / 1e6);
        f.cpu.push_back(1000.0 * double(std::clock() - m_cpu) / CLOCKS_PER_SEC);
    }

private:
    QElapsedTimer m_wall;
    std::clock_t m_cpu = 0;
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Print(const Figure& f)
{
    const double median = Median(f.runs);
    const double cpu = Median(f.cpu);
    std::printf("%-46s wall %7.1f ms  CPU %7.1f ms  worst wall %7.1f ms (%zu runs)  target < %4.0f ms  %s\n", f.what,
                median, cpu, *std::max_element(f.runs.begin(), f.runs.end()), f.runs.size(), f.targetMs,
                median < f.targetMs ? "ok" : cpu < f.targetMs ? "ok by CPU time" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    VmTest::IsolateHome();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int readerCount = argc > 2 ? QByteArray(argv[2]).toInt() : 50;

    CLanguageHandler lang(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
    CStoreDB_Handler store(&lang);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.DatabaseError()));
        return 1;
    }
    std::vector<int32_t> readers;
    AddRecords(store.Get_Ptr_To_tblLeser(), readerCount, [](int k, structLeser& r) {
        r.Name = QStringLiteral("Leser_%1").arg(k + 1);
        r.Model = k % 10 == 9 ? QStringLiteral("Alder") : QStringLiteral("Cedar");
        r.Identity = QStringLiteral("%1").arg(k + 1, 20, 10, QLatin1Char('0'));
    }, &readers);
    // Every transponder on a few readers, one in five with a person.
    AddRecords(store.Get_Ptr_To_tblTransponder(), count, [&](int k, structTransponder& t) {
        t.Number = QStringLiteral("%1").arg(k + 1, 10, 16, QLatin1Char('0')).toUpper();
        t.ScheduleID = 1;
        t.Readers = QStringLiteral("%1;%2;%3").arg(readers[size_t(k % readerCount)]).arg(readers[size_t((k * 7) % readerCount)])
                        .arg(readers[size_t((k * 13) % readerCount)]);
    });
    AddRecords(store.Get_Ptr_To_tblPerson(), count / 5, [](int k, structPerson& p) {
        p.Name = QStringLiteral("Person_%1").arg(k + 1);
        p.TransponderID = 5 * k + 1;
    });
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblPerson()->_Requery();
    std::printf("%d transponders, %d readers, %d persons\n", store.Get_Ptr_To_tblTransponder()->GetAnz_Transponder(),
                readerCount, store.Get_Ptr_To_tblPerson()->GetAnz_Person());

    Figure fill{"fill and paint the first screen", 200, {}, {}};
    Figure scroll{"scroll to the end and repaint", 50, {}, {}};
    Figure tick{"tick one reader cell (store, cache, repaint)", 20, {}, {}};
    Figure assignAll{"assign one reader to all transponders", 1000, {}, {}};
    Figure capture{"capture a new number", 50, {}, {}};
    Stopwatch timer;

    for (int run = 0; run < 5; ++run) {
        CTransponderDlg view(ViewContext{&lang, &store, nullptr, nullptr});
        view.resize(1200, 800);
        view.show();
        QCoreApplication::processEvents();
        timer.Start();
        view.Load(0);
        view.Grid()->viewport()->repaint();
        timer.Stop(fill);

        timer.Start();
        view.Grid()->scrollToBottom();
        view.Grid()->viewport()->repaint();
        timer.Stop(scroll);
        view.Grid()->scrollToTop();

        for (int k = 0; k < 4; ++k) {
            const int col = CTransponderDlg::ColFirstReader + 1 + k;   // a Cedar's column
            const int row = 100 + run * 10 + k;
            const QString now = view.Grid()->CellText(row, col) == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1");
            timer.Start();
            view.EndEdit(row, col, now);
            view.Grid()->viewport()->repaint();
            timer.Stop(tick);
        }

        const int32_t reader = readers[size_t(run + 1)];
        timer.Start();
        view.AssignAll(reader);
        view.Grid()->viewport()->repaint();
        timer.Stop(assignAll);

        view.ToggleCapture();
        timer.Start();
        view.OnTransponderSeen(QStringLiteral("FF%1").arg(run, 8, 10, QLatin1Char('0')));
        view.Grid()->viewport()->repaint();
        timer.Stop(capture);
    }
    for (const Figure* f : {&fill, &scroll, &tick, &assignAll, &capture})
        Print(*f);
    return 0;
}
