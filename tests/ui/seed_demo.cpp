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
    struct Reader { const char* name; const char* model; const char* identity; const char* info; };
    const Reader readers[] = {
        {"Haupteingang", "Cedar", "CD0012345678ABCDEF01", "CD"},
        {"Lager", "Maple", "MP00987654321FEDCBA0", "MP"},
        {"Empfang", "Alder", "---", "---"},
        {"Werkstatt", "Birch", "---", "---"},
    };
    std::vector<int32_t> readerIds;
    for (const Reader& r : readers) {
        int32_t id = 0;
        AddRecord<structLeser>(store.Get_Ptr_To_tblLeser(), [&](structLeser& l) {
            l.Name = r.name; l.Model = r.model; l.Identity = r.identity; l.Info = r.info;
            l.Changed = 0; l.SwitchTime = "5"; l.Params = "00";
        }, &id);
        readerIds.push_back(id);
    }
    AddRecords<structZeitschema>(store.Get_Ptr_To_tblZeitschema(), 4, [](int k, structZeitschema& z) {
        z.Name = "Fruehschicht";
        z.From = k == 0 ? "0600" : "0000";
        z.To = k == 0 ? "1400" : "0000";
        for (int d = 0; d < 7; ++d)
            z.Day[d] = k == 0 && d >= 1 && d <= 5;
    });
    const char* people[] = {"Anna Berger", "Jonas Keller", "Mira Vogt"};
    const char* numbers[] = {"0A1B2C3D4E", "00FF112233", "1234ABCD99"};
    for (int i = 0; i < 3; ++i) {
        int32_t tid = 0;
        AddRecord<structTransponder>(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
            t.Number = numbers[i]; t.ScheduleID = 1; t.Changed = 1;
            t.Readers = QString::number(readerIds[size_t(i % 2)]);
        }, &tid);
        AddRecord<structPerson>(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) {
            p.Name = people[i]; p.TransponderID = tid;
        });
    }
    std::printf("seeded %s\n", qPrintable(store.GetAktDBPath()));
    return 0;
}
