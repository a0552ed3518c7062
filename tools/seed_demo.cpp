// Fills the database of the current user (XDG_DATA_HOME) with a few demonstration records:
// the look of the main window is checked against it (scripts/screenshot.sh).
#include "records/CStoreDB_Handler.h"
#include "records/RecordOps.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CStoreDB_Handler store(nullptr);
    if (!store.IsDatabaseOpen()) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(store.DatabaseError()));
        return 1;
    }
    // name, model, identity
    const char* readers[][3] = {{"Haupteingang", "Cedar", "CD0012345678ABCDEF01"}, {"Lager", "Maple", "MP00987654321FEDCBA0"},
                                {"Empfang", "Alder", "---"}, {"Werkstatt", "Birch", "---"}};
    std::vector<int32_t> readerIds(4);
    for (int i = 0; i < 4; ++i)
        AddRecord<structLeser>(store.Get_Ptr_To_tblLeser(), [&](structLeser& l) {
            l.Name = readers[i][0]; l.Model = readers[i][1]; l.Identity = readers[i][2];
            l.Info = l.Identity.left(l.Identity == "---" ? 3 : 2); l.SwitchTime = "5"; l.Params = "00";
        }, &readerIds[size_t(i)]);
    AddRecords<structZeitschema>(store.Get_Ptr_To_tblZeitschema(), 4, [](int k, structZeitschema& z) {
        z.Name = "Fruehschicht";
        z.From = k == 0 ? "0600" : "0000";
        z.To = k == 0 ? "1400" : "0000";
        for (int d = 0; d < 7; ++d)
            z.Day[d] = k == 0 && d >= 1 && d <= 5;
    });
    const char* people[][2] = {{"Anna Berger", "0A1B2C3D4E"}, {"Jonas Keller", "00FF112233"}, {"Mira Vogt", "1234ABCD99"}};
    for (int i = 0; i < 3; ++i) {
        int32_t tid = 0;
        AddRecord<structTransponder>(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
            t.Number = people[i][1]; t.ScheduleID = 1; t.Changed = 1; t.Readers = QString::number(readerIds[size_t(i % 2)]);
        }, &tid);
        AddRecord<structPerson>(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = people[i][0]; p.TransponderID = tid; });
    }
    // A morning at the main entrance; the last one is a tag nobody carries.
    const char* events[][4] = {{"0A1B2C3D4E", "0715", "01", "Zutritt gewährt"}, {"00FF112233", "0722", "01", "Zutritt gewährt"},
                               {"1234ABCD99", "0748", "02", "Außerhalb des Zeitplans"}, {"00000DDDDD", "0803", "03", "Unbekannter Transponder"}};
    AddRecords<structEvents>(store.Get_Ptr_To_tblEvents(), 12, [&](int k, structEvents& e) {
        const auto& ev = events[k % 4];
        e.TransponderNo = ev[0];
        e.Date = QString::number(k / 4 + 14) + QStringLiteral("122026");   // DDMMYYYY
        e.Time = ev[1];
        e.ClassCode = ev[2];
        e.ClassText = QString::fromUtf8(ev[3]);
        e.DetailCode = QStringLiteral("00");
        e.DetailText = QStringLiteral("---");
        e.ReaderID = readerIds[0];
        e.ReaderName = QStringLiteral("Haupteingang");
    });
    std::printf("seeded %s\n", qPrintable(store.GetAktDBPath()));
    return 0;
}
