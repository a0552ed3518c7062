// Times the CSV import of transponder lines (each with a person and three reader names) into a
// database with 100 readers, for 10,000 and 20,000 lines (the ratio shows whether the time
// grows linearly), and the export of 50,000 events. Runs in a private temporary home.
// Usage: bench_csv [lines]   (default 10000; the second run takes twice as many)
#include "base/Prompt.h"
#include "base/Settings.h"
#include "exchange/CsvExport.h"
#include "exchange/CsvImport.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

std::unique_ptr<CStoreDB_Handler> FreshStore(const QString& name)
{
    const QString path = VmTest::IsolateHome() + u'/' + name + QStringLiteral(".mdb");
    QFile::remove(path);
    CSettingsStore().WriteString(path, 1, kSettingsKey, QStringLiteral("DBPath"));
    auto store = std::make_unique<CStoreDB_Handler>(nullptr);
    if (!store->IsDatabaseOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(store->DatabaseError()));
        std::exit(1);
    }
    AddRecords<structLeser>(store->Get_Ptr_To_tblLeser(), 100, [](int k, structLeser& l) {
        l.Name = QStringLiteral("Reader_%1").arg(k);
        l.Model = QStringLiteral("Cedar");
    });
    store->Get_Ptr_To_tblLeser()->_Requery();
    return store;
}

QString ImportFile(int lines)
{
    const QString path = VmTest::IsolateHome() + QStringLiteral("/import_%1.csv").arg(lines);
    QStringList out;
    for (int i = 0; i < lines; ++i)
        out << QStringLiteral("Transponder;%1;Person %2;Vollzugriff;Reader_%3;Reader_%4;Reader_%5")
                   .arg(QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper())
                   .arg(i)
                   .arg(i % 100)
                   .arg((i + 7) % 100)
                   .arg((i + 50) % 100);
    WriteCsvFile(path, out);
    return path;
}

double CpuMs(std::clock_t since) { return 1000.0 * double(std::clock() - since) / CLOCKS_PER_SEC; }

// Wall time in ms; cpu receives this process's CPU time.
qint64 TimeImport(int lines, double& cpu)
{
    const QString file = ImportFile(lines);
    auto store = FreshStore(QStringLiteral("import_%1").arg(lines));
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    CCsvImporter importer(store.get(), nullptr);
    const CsvImportResult r = importer.ImportFile(file, CsvImportKind::Transponders);
    const qint64 ms = timer.elapsed();
    cpu = CpuMs(cpuStart);
    if (r.imported != lines || store->Get_Ptr_To_tblPerson()->GetAnz_Person() != lines) {
        std::fprintf(stderr, "import of %d lines stored %d\n", lines, r.imported);
        std::exit(2);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    VmTest::IsolateHome();
    ScriptedPrompt prompt;
    const int lines = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;

    double cpuOne = 0, cpuTwo = 0;
    const qint64 one = TimeImport(lines, cpuOne);
    const qint64 two = TimeImport(2 * lines, cpuTwo);
    std::printf("import of %d transponder lines (person, 3 readers; 100 readers in the database): %.0f ms CPU, "
                "%lld ms wall (target < 5000 ms)\n", lines, cpuOne, one);
    std::printf("import of %d lines: %.0f ms CPU, %lld ms wall; ratio to %d lines: %.2f CPU, %.2f wall (target <= 2.3)\n",
                2 * lines, cpuTwo, two, lines, cpuOne > 0 ? cpuTwo / cpuOne : 0.0, one > 0 ? double(two) / double(one) : 0.0);

    auto store = FreshStore(QStringLiteral("events"));
    const int events = 50000;
    AddRecords<structEvents>(store->Get_Ptr_To_tblEvents(), events, [](int k, structEvents& e) {
        e.TransponderNo = QStringLiteral("%1").arg(k % 500, 10, 16, QLatin1Char('0')).toUpper();
        e.Date = QStringLiteral("04122026");
        e.Time = QStringLiteral("1405");
        e.ClassCode = QStringLiteral("10");
        e.ClassText = QStringLiteral("Zutritt");
        e.DetailCode = QStringLiteral("011");
        e.DetailText = QStringLiteral("Tür geöffnet");
        e.ReaderID = 1 + k % 100;
        e.ReaderName = QStringLiteral("Reader_%1").arg(k % 100);
    });
    store->Get_Ptr_To_tblEvents()->_Requery();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const CsvWriteResult w = WriteCsvFile(VmTest::IsolateHome() + QStringLiteral("/events.csv"),
                                          CsvLinesFromStore(store.get(), CsvExportKind::Events, nullptr));
    const qint64 exportMs = timer.elapsed();
    const double exportCpu = CpuMs(cpuStart);
    if (!w.ok || w.lines != events) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(w.error));
        return 3;
    }
    std::printf("export of %d events: %.0f ms CPU, %lld ms wall (target < 1000 ms)\n", events, exportCpu, exportMs);
    return 0;
}
