// Times adding events one by one through the table cursor, as the event-reading worker does:
// each record is its own Update() and durable when it returns. Also times the same through
// the change-pattern helper (cursor opened and closed per record) and one reload of the list.
// Runs in a private temporary home. Usage: bench_records [count]
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VmTest::IsolateHome();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;

    CStoreDB_Handler store(nullptr);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.DatabaseError()));
        return 1;
    }
    CtblEvents* events = store.Get_Ptr_To_tblEvents();

    // Wall time and this process's CPU time: on a busy machine the wall time mostly measures
    // the wait for a core.
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    if (!events->Open())
        return 2;
    try {
        for (int i = 0; i < count; ++i) {
            events->AddNew();
            structEvents& e = events->Rec();
            e.TransponderNo = QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper();
            e.Date = QStringLiteral("05122026");
            e.Time = QStringLiteral("1415");
            e.ClassCode = QStringLiteral("10");
            e.ClassText = QStringLiteral("Access");
            e.DetailCode = QStringLiteral("011");
            e.DetailText = QStringLiteral("Door opened");
            e.ReaderID = 1;
            e.ReaderName = QStringLiteral("Leser_1A");
            events->Update();
        }
    } catch (const CDBException& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.m_strError));
        return 3;
    }
    events->Close();
    const qint64 cursorMs = timer.elapsed();
    const double cursorCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    timer.restart();
    events->_Requery();
    const qint64 requeryMs = timer.elapsed();

    const int helperCount = count / 10;
    timer.restart();
    for (int i = 0; i < helperCount; ++i)
        AddRecord(store.Get_Ptr_To_tblPerson(), [i](structPerson& p) { p.Name = QStringLiteral("P%1").arg(i); });
    const qint64 helperMs = timer.elapsed();

    std::printf("%d events added one by one through the cursor: %lld ms wall, %.0f ms CPU (%.1f us wall per record)\n",
                count, cursorMs, cursorCpuMs, 1000.0 * double(cursorMs) / count);
    std::printf("reload of the event list (%d records): %lld ms\n", events->GetAnz_Events(), requeryMs);
    std::printf("%d persons added with AddRecord (cursor opened and closed each time): %lld ms\n", helperCount,
                helperMs);
    return 0;
}
