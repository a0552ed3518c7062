// The record store at site size: 10,000 transponders, 1,000 persons, 100 readers and 50,000
// events (10,000 of them from each of the first five readers). Prints, as the median of several
// runs, each figure with its target:
//   - edit of one transponder by ID,
//   - delete of 5,000 selected events of 10,000 shown, through the table-view base's delete,
//   - delete-all of 50,000 events,
//   - deleting a reader together with its 10,000 events (and its place in transponder lists),
//   - reload of each cached list (the median of several reloads),
//   - lookup of a transponder by number.
// Runs headless in a private temporary home. With a PostgreSQL URL, the same against that server,
// side by side. Usage: bench_store [runs] [postgresql://...]
#include "base/Prompt.h"
#include "readers/ReaderDeletion.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/OutsideConnection.h"
#include "support/TestEnv.h"
#include "views/CGridBaseDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int kTransponders = 10000;
constexpr int kPersons = 1000;
constexpr int kReaders = 100;
constexpr int kEvents = 50000;
constexpr int kEventsPerBusyReader = 10000;

QString Number(int i) { return QStringLiteral("%1").arg(i, 10, 16, QLatin1Char('0')).toUpper(); }

// Inserts rows of values, hundreds to a statement (a server would otherwise spend the time on
// round trips).
void InsertRows(QSqlDatabase& db, const QString& table, const QString& columns, const std::vector<QVariantList>& rows)
{
    constexpr size_t kBatch = 500;
    for (size_t from = 0; from < rows.size(); from += kBatch) {
        const size_t n = std::min(kBatch, rows.size() - from);
        const QString one = u'(' + QStringList(rows[from].size(), QStringLiteral("?")).join(u',') + u')';
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(table, columns) + QStringList(qsizetype(n), one).join(u','));
        for (size_t r = from; r < from + n; ++r)
            for (const QVariant& v : rows[r])
                q.addBindValue(v);
        if (!q.exec())
            std::fprintf(stderr, "fill %s: %s\n", qPrintable(table), qPrintable(q.lastError().text()));
    }
}

// Fills the database directly, in one transaction, before the store opens it.
void Populate(const StoreLocation& loc)
{
    { CStoreDB_Handler schema(nullptr, loc); }   // the tables exist
    {
        QSqlDatabase db = VmTest::OutsideConnection(loc, QStringLiteral("fill"));
        if (!db.isOpen())
            std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(loc.DisplayName()), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        db.transaction();
        for (const char* t : {"tblLeser", "tblTransponder", "tblPerson", "tblEvents"})
            q.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
        std::vector<QVariantList> rows;
        for (int r = 1; r <= kReaders; ++r)
            rows.push_back({r, QStringLiteral("Leser_%1").arg(r), QStringLiteral("AB"),
                            QStringLiteral("%1").arg(r, 20, 10, QLatin1Char('0')), 0, QStringLiteral("Cedar"),
                            QStringLiteral("5"), QStringLiteral("0A")});
        InsertRows(db, "tblLeser", "ID, Name, Info, Identity, Changed, Model, SwitchTime, Params", rows);
        rows.clear();
        for (int t = 1; t <= kTransponders; ++t)
            rows.push_back({t, Number(t), t <= kPersons ? t : 0, 1,
                            QStringLiteral("1;%1;%2").arg(2 + t % 50).arg(52 + t % 48), 0});
        InsertRows(db, "tblTransponder", "ID, Number, PersonID, ScheduleID, Readers, Changed", rows);
        rows.clear();
        for (int p = 1; p <= kPersons; ++p)
            rows.push_back({p, QStringLiteral("Person_%1").arg(p, 0, 16), p});
        InsertRows(db, "tblPerson", "ID, Name, TransponderID", rows);
        rows.clear();
        for (int e = 1; e <= kEvents; ++e) {
            const int reader = 1 + (e - 1) / kEventsPerBusyReader;
            rows.push_back({e, Number(1 + e % kTransponders), QStringLiteral("05122026"), QStringLiteral("1415"),
                            QStringLiteral("10"), QStringLiteral("Zutritt"), QStringLiteral("011"),
                            QStringLiteral("Tür geöffnet"), reader, QStringLiteral("Leser_%1").arg(reader)});
        }
        InsertRows(db, "tblEvents",
                   "ID, TransponderNo, Date, Time, ClassCode, ClassText, DetailCode, DetailText, ReaderID, ReaderName", rows);
        if (loc.IsShared())
            for (const char* t : {"tblleser", "tbltransponder", "tblperson", "tblevents"})
                q.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), (SELECT MAX(ID) FROM %1))")
                           .arg(QLatin1String(t)));
        db.commit();
        if (loc.IsShared())
            q.exec(QStringLiteral("VACUUM ANALYZE"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

// After a run on a server: its clean-up of the deleted rows and its writes to disk done now,
// so that they do not run in the background of the next run on the file.
void Settle(const StoreLocation& loc)
{
    if (!loc.IsShared())
        return;
    {
        QSqlDatabase db = VmTest::OutsideConnection(loc, QStringLiteral("settle"));
        QSqlQuery q(db);
        q.exec(QStringLiteral("VACUUM ANALYZE"));
        q.exec(QStringLiteral("CHECKPOINT"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("settle"));
}

// The smallest table view over the events of one reader, as an event table filtered by a reader
// would be: what the view base needs to run its delete of the selected rows.
class EventRows : public CGridBaseDlg {
public:
    EventRows(const ViewContext& ctx, int32_t readerId) : CGridBaseDlg(ctx, QStringLiteral("99"), 1001), m_reader(readerId)
    {
        Rebuild();
        Load(readerId);
    }
    void Rebuild() { m_rows = Store()->Get_Ptr_To_tblEvents()->IndicesOfReader(m_reader); }
    int ColumnCount() const override { return 2; }
    QString ColumnTitle(int) const override { return {}; }
    int RecordCount() const override { return int(m_rows.size()); }
    QString RecordCellText(int index, int col) const override
    {
        const structEvents& e = Store()->Get_Ptr_To_tblEvents()->Get_Event(m_rows[size_t(index)]);
        return col == 1 ? QString::number(index + 1) : e.TransponderNo;
    }
    int RecordIdAt(int index) const override { return Store()->Get_Ptr_To_tblEvents()->Get_Event(m_rows[size_t(index)]).ID; }
    RecordResult DeleteRecordById(int id) override { return ::DeleteRecordById(Store()->Get_Ptr_To_tblEvents(), id); }
    int RemoveCachedIds(const std::vector<int32_t>& ids) override
    {
        const int n = Store()->Get_Ptr_To_tblEvents()->RemoveIds(ids);
        Rebuild();
        return n;
    }

private:
    int32_t m_reader;
    std::vector<int> m_rows;
};

// Each figure is the process's CPU time (other programs on a busy machine do not count) with
// the wall time beside it.
struct Time {
    double cpu = 0, wall = 0;
    bool operator<(const Time& o) const { return cpu < o.cpu; }
};

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

Time Ms(const std::function<void()>& fn)
{
    QElapsedTimer t;
    t.start();
    const double c = CpuMs();
    fn();
    return {CpuMs() - c, double(t.nsecsElapsed()) / 1e6};
}

Time Median(std::vector<Time> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? Time{} : v[v.size() / 2];
}

void Line(const char* what, Time t, const char* target)
{
    std::printf("%-54s %9.2f ms CPU %9.2f ms wall   target %s\n", what, t.cpu, t.wall, target);
}

// The figures of one backend, in the order of kNames.
const char* const kNames[] = {"edit of one transponder by ID",
                              "delete 5,000 selected of 10,000 events (view base)",
                              "delete-all of 50,000 events",
                              "delete a reader with its 10,000 events",
                              "reload readers (100)",
                              "reload transponders (10,000)",
                              "reload persons (1,000)",
                              "reload schedule windows (4)",
                              "reload events (50,000)",
                              "lookup of a transponder by number"};
const char* const kTargets[] = {"< 2 ms",   "< 1000 ms", "< 1000 ms", "< 500 ms", "< 150 ms",
                                "< 150 ms", "< 150 ms",  "< 150 ms",  "< 150 ms", "O(1)"};
constexpr int kFigures = int(std::size(kNames));

// One run on a freshly filled database: each figure once.
std::vector<Time> Run(const StoreLocation& loc, ScriptedPrompt& prompt)
{
    std::vector<Time> all(kFigures);
    Populate(loc);
    CStoreDB_Handler store(nullptr, loc);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(store.DatabaseError()));
        return {};
    }
    CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
    CtblEvents* events = store.Get_Ptr_To_tblEvents();

    std::vector<Time> edits;
    for (int k = 0; k < 50; ++k)
        edits.push_back(Ms([&] {
            EditRecordById(transponders, 1 + (k * 197) % kTransponders, [](structTransponder& t) { t.Changed = 1; });
        }));
    all[0] = Median(edits);

    // A reload of a few rows takes a fraction of a millisecond; one timing of it is mostly
    // noise, so each reload counts with the median of several.
    const auto reloads = [](int times, const std::function<void()>& fn) {
        std::vector<Time> t;
        for (int k = 0; k < times; ++k)
            t.push_back(Ms(fn));
        return Median(t);
    };
    all[4] = reloads(15, [&] { store.Get_Ptr_To_tblLeser()->_Requery(); });
    all[5] = reloads(15, [&] { transponders->_Requery(); });
    all[6] = reloads(15, [&] { store.Get_Ptr_To_tblPerson()->_Requery(); });
    all[7] = reloads(15, [&] { store.Get_Ptr_To_tblZeitschema()->_Requery(); });
    all[8] = reloads(3, [&] { events->_Requery(); });

    int found = 0;
    Time thousand = Ms([&] {
        for (int k = 0; k < 1000; ++k)
            found += transponders->IndexOfNumber(Number(1 + (k * 7919) % kTransponders)) >= 0;
    });
    all[9] = {thousand.cpu / 1000.0, thousand.wall / 1000.0};
    if (found != 1000)
        std::fprintf(stderr, "lookup found %d of 1000\n", found);

    {
        // Every other row of reader 2's 10,000 events selected, then the view's delete.
        EventRows view(ViewContext{nullptr, &store, nullptr, nullptr}, 2);
        for (int row = 1; row <= view.RecordCount(); row += 2)
            view.Grid()->SetRowSelected(row, true);
        all[1] = Ms([&] { view.DeleteEntries(); });
        if (view.RecordCount() != kEventsPerBusyReader / 2)
            std::fprintf(stderr, "view delete left %d rows\n", view.RecordCount());
    }

    prompt.NextAnswer(true);   // delete this reader?
    prompt.NextAnswer(true);   // and its events?
    const int before = events->GetAnz_Events();
    all[3] = Ms([&] { ReaderDeletion::DeleteReaders(store, {0}, nullptr); });
    if (before - events->GetAnz_Events() != kEventsPerBusyReader)
        std::fprintf(stderr, "cascade removed %d events\n", before - events->GetAnz_Events());

    // Delete-all of the full 50,000.
    Populate(loc);
    events->_Requery();
    all[2] = Ms([&] {
        if (DeleteRecordsWhere(events, {}) == RecordResult::Done)
            events->RemoveAllData();
    });
    return all;
}

} // namespace

// Usage: bench_store [runs] [postgresql://...]. With a URL (or VM_BENCH_PG_URL) the same runs
// go against that server too, and each figure is printed beside SQLite's with the ratio of
// their wall times (a server's work is not in this process's CPU time).
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    VmTest::IsolateHome();
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    const QString url = argc > 2 ? QString::fromLocal8Bit(argv[2]) : qEnvironmentVariable("VM_BENCH_PG_URL");
    ScriptedPrompt prompt;

    // With both backends they take turns run by run, so that a machine that gets slower or
    // faster while the benchmark runs shifts both figures alike rather than the ratio.
    std::vector<std::vector<Time>> liteRuns(kFigures), serverRuns(kFigures);
    const auto collect = [](const std::vector<Time>& figures, std::vector<std::vector<Time>>& into) {
        for (size_t i = 0; i < figures.size(); ++i)
            into[i].push_back(figures[i]);
        return !figures.empty();
    };
    for (int run = 0; run < runs; ++run) {
        if (!collect(Run(StoreLocation::FromSettings(), prompt), liteRuns))
            return 1;
        if (!url.isEmpty() && !collect(Run(StoreLocation::Parse(url), prompt), serverRuns))
            return 1;
        if (!url.isEmpty())
            Settle(StoreLocation::Parse(url));
    }
    std::vector<Time> lite, server;
    for (int i = 0; i < kFigures; ++i) {
        lite.push_back(Median(liteRuns[size_t(i)]));
        if (!url.isEmpty())
            server.push_back(Median(serverRuns[size_t(i)]));
    }

    std::printf("record store, %d transponders, %d persons, %d readers, %d events; median of %d runs\n", kTransponders,
                kPersons, kReaders, kEvents, runs);
    if (server.empty()) {
        for (int i = 0; i < kFigures && size_t(i) < lite.size(); ++i)
            Line(kNames[i], lite[size_t(i)], kTargets[i]);
        return lite.empty() ? 1 : 0;
    }
    std::printf("%-54s %12s %12s %12s %7s   %s\n", "", "SQLite wall", "PG wall", "PG CPU", "ratio", "target");
    bool within = true;
    for (int i = 0; i < kFigures; ++i) {
        const Time a = lite[size_t(i)], b = server[size_t(i)];
        const double ratio = a.wall > 0 ? b.wall / a.wall : 0;
        // The lookup runs in memory on either backend; its ratio is noise.
        if (i != kFigures - 1)
            within = within && ratio <= 3.0;
        std::printf("%-54s %9.2f ms %9.2f ms %9.2f ms %6.2fx   %s, <= 3x SQLite\n", kNames[i], a.wall, b.wall, b.cpu,
                    ratio, kTargets[i]);
    }
    std::printf("PostgreSQL within 3x of SQLite on every figure: %s\n", within ? "yes" : "NO");
    return 0;
}
