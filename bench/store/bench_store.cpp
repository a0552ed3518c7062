// The record store at site size: 10,000 transponders, 1,000 persons, 100 readers and 50,000
// events (10,000 of them from each of the first five readers). Prints, as the median of several
// runs, each figure with its target:
//   - edit of one transponder by ID,
//   - delete of 5,000 selected events of 10,000 shown, through the table-view base's delete,
//   - delete-all of 50,000 events,
//   - deleting a reader together with its 10,000 events (and its place in transponder lists),
//   - reload of each cached list,
//   - lookup of a transponder by number.
// Runs headless in a private temporary home. Usage: bench_store [runs]
#include "base/Prompt.h"
#include "readers/ReaderDeletion.h"
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"
#include "support/TestEnv.h"
#include "views/CGridBaseDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
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

// Fills the database file directly, in one transaction, before the store opens it.
void Populate(const QString& path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        db.transaction();
        for (const char* t : {"tblLeser", "tblTransponder", "tblPerson", "tblEvents"})
            q.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
        q.prepare("INSERT INTO tblLeser (ID, Name, Info, Identity, Changed, Model, SwitchTime, Params) "
                  "VALUES (?, ?, 'AB', ?, 0, 'Cedar', '5', '0A')");
        for (int r = 1; r <= kReaders; ++r) {
            q.addBindValue(r);
            q.addBindValue(QStringLiteral("Leser_%1").arg(r));
            q.addBindValue(QStringLiteral("%1").arg(r, 20, 10, QLatin1Char('0')));
            q.exec();
        }
        q.prepare("INSERT INTO tblTransponder (ID, Number, PersonID, ScheduleID, Readers, Changed) VALUES (?, ?, ?, 1, ?, 0)");
        for (int t = 1; t <= kTransponders; ++t) {
            q.addBindValue(t);
            q.addBindValue(Number(t));
            q.addBindValue(t <= kPersons ? t : 0);
            q.addBindValue(QStringLiteral("1;%1;%2").arg(2 + t % 50).arg(52 + t % 48));
            q.exec();
        }
        q.prepare("INSERT INTO tblPerson (ID, Name, TransponderID) VALUES (?, ?, ?)");
        for (int p = 1; p <= kPersons; ++p) {
            q.addBindValue(p);
            q.addBindValue(QStringLiteral("Person_%1").arg(p, 0, 16));
            q.addBindValue(p);
            q.exec();
        }
        q.prepare("INSERT INTO tblEvents (ID, TransponderNo, Date, Time, ClassCode, ClassText, DetailCode, DetailText, "
                  "ReaderID, ReaderName) VALUES (?, ?, '05122026', '1415', '10', 'Zutritt', '011', 'Tür geöffnet', ?, ?)");
        for (int e = 1; e <= kEvents; ++e) {
            const int reader = 1 + (e - 1) / kEventsPerBusyReader;
            q.addBindValue(e);
            q.addBindValue(Number(1 + e % kTransponders));
            q.addBindValue(reader);
            q.addBindValue(QStringLiteral("Leser_%1").arg(reader));
            q.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString home = VmTest::IsolateHome();
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    ScriptedPrompt prompt;

    std::vector<Time> edit, viewDelete, deleteAll, cascade, lookup;
    std::vector<std::vector<Time>> reload(5);
    for (int run = 0; run < runs; ++run) {
        const QString path = CStoreDB_Handler(nullptr).GetAktDBPath();
        Populate(path);
        CStoreDB_Handler store(nullptr);
        CtblTransponder* transponders = store.Get_Ptr_To_tblTransponder();
        CtblEvents* events = store.Get_Ptr_To_tblEvents();

        std::vector<Time> edits;
        for (int k = 0; k < 50; ++k)
            edits.push_back(Ms([&] {
                EditRecordById(transponders, 1 + (k * 197) % kTransponders, [](structTransponder& t) { t.Changed = 1; });
            }));
        edit.push_back(Median(edits));

        reload[0].push_back(Ms([&] { store.Get_Ptr_To_tblLeser()->_Requery(); }));
        reload[1].push_back(Ms([&] { transponders->_Requery(); }));
        reload[2].push_back(Ms([&] { store.Get_Ptr_To_tblPerson()->_Requery(); }));
        reload[3].push_back(Ms([&] { store.Get_Ptr_To_tblZeitschema()->_Requery(); }));
        reload[4].push_back(Ms([&] { events->_Requery(); }));

        int found = 0;
        Time thousand = Ms([&] {
            for (int k = 0; k < 1000; ++k)
                found += transponders->IndexOfNumber(Number(1 + (k * 7919) % kTransponders)) >= 0;
        });
        lookup.push_back({thousand.cpu / 1000.0, thousand.wall / 1000.0});
        if (found != 1000)
            std::fprintf(stderr, "lookup found %d of 1000\n", found);

        {
            // Every other row of reader 2's 10,000 events selected, then the view's delete.
            EventRows view(ViewContext{nullptr, &store, nullptr, nullptr}, 2);
            for (int row = 1; row <= view.RecordCount(); row += 2)
                view.Grid()->SetRowSelected(row, true);
            viewDelete.push_back(Ms([&] { view.DeleteEntries(); }));
            if (view.RecordCount() != kEventsPerBusyReader / 2)
                std::fprintf(stderr, "view delete left %d rows\n", view.RecordCount());
        }

        prompt.NextAnswer(true);   // delete this reader?
        prompt.NextAnswer(true);   // and its events?
        const int before = events->GetAnz_Events();
        cascade.push_back(Ms([&] { ReaderDeletion::DeleteReaders(store, {0}, nullptr); }));
        if (before - events->GetAnz_Events() != kEventsPerBusyReader)
            std::fprintf(stderr, "cascade removed %d events\n", before - events->GetAnz_Events());

        // Delete-all of the full 50,000.
        Populate(path);
        events->_Requery();
        deleteAll.push_back(Ms([&] {
            if (DeleteRecordsWhere(events, {}) == RecordResult::Done)
                events->RemoveAllData();
        }));
    }

    std::printf("record store, %d transponders, %d persons, %d readers, %d events; median of %d runs\n", kTransponders,
                kPersons, kReaders, kEvents, runs);
    Line("edit of one transponder by ID", Median(edit), "< 2 ms");
    Line("delete 5,000 selected of 10,000 events (view base)", Median(viewDelete), "< 1000 ms");
    Line("delete-all of 50,000 events", Median(deleteAll), "< 1000 ms");
    Line("delete a reader with its 10,000 events", Median(cascade), "< 500 ms");
    const char* names[] = {"reload readers (100)", "reload transponders (10,000)", "reload persons (1,000)",
                           "reload schedule windows (4)", "reload events (50,000)"};
    for (int i = 0; i < 5; ++i)
        Line(names[i], Median(reload[size_t(i)]), "< 150 ms");
    Line("lookup of a transponder by number", Median(lookup), "O(1)");
    return 0;
}
