// Not a test: walks through what an installer does with the two tables, in the real main window
// on a real display (run under Xvfb), and writes a picture of each table after a restart.
//   walk_persons <out-folder>
// The walk: a new schedule, its first window set to 07:30-17:00 on Monday to Friday, renamed
// "Office hours" (the tree follows), given to two transponders; two persons given those
// transponders. Then the window and the store are closed, opened again, and the person table and
// the schedule's detail are shown and saved as persons.png and schedule.png (plus the overview
// as schedules.png).
#include "persons/ShowView.h"
#include "records/RecordOps.h"
#include "support/WindowFixture.h"
#include "views/CNameDlg.h"
#include "views/CZeitschemaDlg.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <cstdio>

namespace {

// The table of the node, given time to be drawn.
template <class View>
View* Show(CMainFrame& frame, CLeftTreeView::Category category, const QString& child = QString())
{
    View* view = VmTest::ShowView<View>(frame, category, child);
    QTest::qWait(300);
    return view;
}

void Save(CMainFrame& frame, const QString& path)
{
    frame.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    VmTest::WindowFixture w;
    if (!w.Open(1))
        return 1;
    const QString scheduleName = QStringLiteral("Office hours");
    {
        CStoreDB_Handler& store = *w.store;
        std::vector<int32_t> readers(2), transponders(3);
        const char* names[] = {"Main entrance", "Store room"};
        for (int i = 0; i < 2; ++i)
            AddRecord(store.Get_Ptr_To_tblLeser(), [&](structLeser& r) { r.Name = names[i]; r.Model = "Cedar"; }, &readers[size_t(i)]);
        for (int i = 0; i < 3; ++i)
            AddRecord(store.Get_Ptr_To_tblTransponder(), [&](structTransponder& t) {
                t.Number = QStringLiteral("00A1B2C3%1").arg(i, 2, 10, QLatin1Char('0'));
                t.ScheduleID = 1;
                t.Readers = QString::number(readers[size_t(i % 2)]);
            }, &transponders[size_t(i)]);
        for (const char* name : {"Anna Berger", "Jonas Keller", "Mira Vogt"})
            AddRecord(store.Get_Ptr_To_tblPerson(), [&](structPerson& p) { p.Name = name; });
        store.Get_Ptr_To_tblLeser()->_Requery();
        store.Get_Ptr_To_tblTransponder()->_Requery();
        store.Get_Ptr_To_tblPerson()->_Requery();

        CMainFrame& frame = w.ShowFrame();
        frame.resize(1200, 700);
        QTest::qWait(500);

        // A new schedule with office hours on weekdays in its first window, then a new name.
        auto* schedules = Show<CZeitschemaDlg>(frame, CLeftTreeView::Schedules);
        schedules->OnCommand(CGridBaseDlg::CmdInsert);
        const QString added = store.Get_Ptr_To_tblZeitschema()->Get_Zeitschema(4).Name;
        auto* detail = Show<CZeitschemaDlg>(frame, CLeftTreeView::Schedules, added);
        detail->EndEdit(1, CZeitschemaDlg::ColFromHours, "07");
        detail->EndEdit(1, CZeitschemaDlg::ColFromMinutes, "30");
        detail->EndEdit(1, CZeitschemaDlg::ColToHours, "17");
        detail->EndEdit(1, CZeitschemaDlg::ColToMinutes, "00");
        for (int col : {CZeitschemaDlg::ColSaturday, CZeitschemaDlg::ColSunday})
            detail->EndEdit(1, col, "0");
        for (int row = 2; row <= 4; ++row)
            for (int col = CZeitschemaDlg::ColMonday; col <= CZeitschemaDlg::ColSunday; ++col)
                detail->EndEdit(row, col, "0");
        schedules = Show<CZeitschemaDlg>(frame, CLeftTreeView::Schedules);
        schedules->EndEdit(2, CZeitschemaDlg::ColName, scheduleName);

        // Two transponders on it (the transponder table's job; here through the records).
        const int32_t head = store.Get_Ptr_To_tblZeitschema()->Get_Zeitschema(4).ID;
        for (int i = 0; i < 2; ++i)
            EditRecordById(store.Get_Ptr_To_tblTransponder(), transponders[size_t(i)], [&](structTransponder& t) { t.ScheduleID = head; });
        store.Get_Ptr_To_tblTransponder()->_Requery();

        auto* persons = Show<CNameDlg>(frame, CLeftTreeView::Persons);
        persons->EndEdit(1, CNameDlg::ColTransponder, "00A1B2C300");
        persons->EndEdit(2, CNameDlg::ColTransponder, "00A1B2C301");
        persons->EndEdit(3, CNameDlg::ColName, "Mira Vogt-Lang");
    }

    // After a restart everything is there.
    w.frame.reset();
    w.store.reset();
    w.store = std::make_unique<CStoreDB_Handler>(w.lang.get());
    CMainFrame& frame = w.ShowFrame();
    frame.resize(1200, 700);
    QTest::qWait(500);
    Show<CNameDlg>(frame, CLeftTreeView::Persons);
    Save(frame, out + "/persons.png");
    Show<CZeitschemaDlg>(frame, CLeftTreeView::Schedules);
    Save(frame, out + "/schedules.png");
    Show<CZeitschemaDlg>(frame, CLeftTreeView::Schedules, scheduleName);
    Save(frame, out + "/schedule.png");
    Show<CNameDlg>(frame, CLeftTreeView::Persons, "Main entrance");
    Save(frame, out + "/persons_reader.png");
    return 0;
}
