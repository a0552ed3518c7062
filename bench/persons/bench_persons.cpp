// Times the person table and the time schedule table with 5,000 persons, 10,000 transponders,
// 200 schedules and 50 readers: each table's fill and first paint (target 200 ms), and renaming
// and then deleting the schedule that all 10,000 transponders use (target 1 s each, one
// transaction). Runs in a private temporary home, offscreen unless a display is chosen.
// Usage: bench_persons
#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "records/ScheduleOps.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "views/CNameDlg.h"
#include "views/CZeitschemaDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <cstdio>

namespace {

void Report(const char* what, qint64 ms, int targetMs)
{
    std::printf("%-58s %6lld ms   (target < %d ms)%s\n", what, static_cast<long long>(ms), targetMs,
                ms < targetMs ? "" : "   OVER");
}

// Fill and first paint of a view, as the tree shows it.
template <class View>
qint64 FillAndPaint(const ViewContext& ctx, int filter)
{
    QElapsedTimer timer;
    timer.start();
    View view(ctx);
    view.resize(1200, 800);
    view.Load(filter);
    view.show();
    view.grab();   // paints the first screen
    return timer.elapsed();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    VmTest::IsolateHome();
    ScriptedPrompt prompt;
    CLanguageHandler lang(1, QDir::currentPath() + QStringLiteral("/SysFiles/"));
    CStoreDB_Handler store(&lang);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.DatabaseError()));
        return 1;
    }

    std::vector<int32_t> readers, windows, transponders;
    AddRecords(store.Get_Ptr_To_tblLeser(), 50, [](int k, structLeser& r) {
        r.Name = QStringLiteral("Reader_%1").arg(k);
        r.Model = QStringLiteral("Cedar");
    }, &readers);
    AddRecords(store.Get_Ptr_To_tblZeitschema(), 199 * 4, [](int k, structZeitschema& w) {
        w.Name = QStringLiteral("Schedule_%1").arg(k / 4);
        w.From = QStringLiteral("0800");
        w.To = QStringLiteral("1700");
        for (int d = 1; d <= 5; ++d)
            w.Day[d] = 1;
    }, &windows);
    const int32_t busy = windows.front();   // the schedule every transponder uses
    AddRecords(store.Get_Ptr_To_tblTransponder(), 10000, [&](int k, structTransponder& t) {
        t.Number = QStringLiteral("%1").arg(k, 10, 16, QLatin1Char('0')).toUpper();
        t.ScheduleID = busy;
        t.Readers = QStringLiteral("%1;%2").arg(readers[size_t(k % 50)]).arg(readers[size_t((k + 7) % 50)]);
    }, &transponders);
    AddRecords(store.Get_Ptr_To_tblPerson(), 5000, [&](int k, structPerson& p) {
        p.Name = QStringLiteral("Person %1").arg(k);
        p.TransponderID = transponders[size_t(k)];
    });
    store.Get_Ptr_To_tblLeser()->_Requery();
    store.Get_Ptr_To_tblZeitschema()->_Requery();
    store.Get_Ptr_To_tblTransponder()->_Requery();
    store.Get_Ptr_To_tblPerson()->_Requery();

    ViewContext ctx;
    ctx.lang = &lang;
    ctx.store = &store;
    std::printf("5000 persons, 10000 transponders, %d schedules, 50 readers\n",
                ScheduleOps::ScheduleCount(store.Get_Ptr_To_tblZeitschema()));
    // In the program the reader table is painted first, so fonts and style are loaded before
    // either of these tables shows: one small table first, not timed.
    FillAndPaint<CZeitschemaDlg>(ctx, 5);
    Report("person table: fill and first paint", FillAndPaint<CNameDlg>(ctx, 0), 200);
    Report("person table for one reader: fill and first paint", FillAndPaint<CNameDlg>(ctx, readers[3]), 200);
    Report("time schedule table: fill and first paint", FillAndPaint<CZeitschemaDlg>(ctx, 0), 200);
    Report("time schedule detail: fill and first paint", FillAndPaint<CZeitschemaDlg>(ctx, 5), 200);

    QElapsedTimer timer;
    timer.start();
    const RecordResult renamed = ScheduleOps::RenameSchedule(&store, QStringLiteral("Schedule_0"), QStringLiteral("Day shift"));
    Report("rename the schedule of 10000 transponders", timer.elapsed(), 1000);
    timer.restart();
    const RecordResult deleted = ScheduleOps::DeleteSchedules(&store, {QStringLiteral("Day shift")});
    Report("delete the schedule of 10000 transponders", timer.elapsed(), 1000);
    timer.restart();
    const RecordResult all = ScheduleOps::DeleteAllSchedules(&store);
    Report("delete all schedules (10000 transponders move)", timer.elapsed(), 1000);
    if (renamed != RecordResult::Done || deleted != RecordResult::Done || all != RecordResult::Done) {
        std::fprintf(stderr, "a change failed\n");
        return 2;
    }
    return 0;
}
