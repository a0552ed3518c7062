#pragma once
// The time schedule table. The overview shows one row per schedule (its head window) and lets
// the user rename schedules; the detail mode, chosen for one schedule in the tree, shows its
// four windows with hour and minute drop-downs and one check box per day. The full-access
// schedule cannot be changed anywhere: its cells are grey and its row cannot be selected.
//
// Every change marks the schedule, its transponders and their readers changed (so the next
// write carries it) in one transaction; the rules are records/ScheduleOps. The tree keeps its
// schedule nodes in step through the signals below.
#include "views/CGridBaseDlg.h"

#include <QString>
#include <QStringList>

class CZeitschemaDlg : public CGridBaseDlg {
    Q_OBJECT
public:
    enum ScheduleCommand { CmdReset = 32818, CmdCopy = 32819 };
    enum Column {
        ColPosition = 1, ColChanged, ColName, ColFromHours, ColFromMinutes, ColToHours, ColToMinutes,
        ColMonday, ColSaturday = ColMonday + 5, ColSunday, ColCount = ColSunday
    };

    explicit CZeitschemaDlg(const ViewContext& ctx, QWidget* parent = nullptr);

    // headPosition: 0 for the overview, else the running number (Position) of the chosen
    // schedule's head window, as the tree finds it.
    void Load(int headPosition) override;
    int ScheduleNumber() const { return m_schedule; }   // 0 overview, k >= 1 detail of schedule k

    // ---- the base's operations ----
    void Fill() override;
    void RefreshColumnTitles() override;
    void EndEdit(int row, int col, const QString& text) override;
    int ColumnCount() const override { return ColCount; }
    QString ColumnTitle(int col) const override;
    int RecordCount() const override;
    QString RecordCellText(int index, int col) const override;
    QColor CellBackground(int row, int col) const override;
    std::vector<int> DefaultColumnWidths() const override;
    CGridCtrl::ColumnFit ColumnFitOf(int col) const override;
    std::vector<MenuItem> ContextMenuItems(int row, int col) override;
    void OnCommand(int command) override;

    // ---- commands ----
    void InsertSchedule();
    void ResetSchedules();        // the selected schedules, after question 207
    void CopySchedules();         // a copy of each selected schedule
    void DeleteSchedules();       // the selected schedules, after question 69 / 68
    void DeleteAllSchedules();    // all but the full-access schedule, after question 64

    // List index of the window shown in a data row; -1 outside.
    int WindowIndex(int row) const;
    // Whether the row shows the full-access schedule (never changed, never selected).
    bool IsProtectedRow(int row) const;
    // The names of the schedules of the selected rows, in row order, each once.
    QStringList SelectedScheduleNames() const;

signals:
    void ScheduleAdded(const QString& name);
    void ScheduleRenamed(const QString& oldName, const QString& newName);
    void SchedulesRemoved(const QStringList& names);
    void AllSchedulesRemoved();

private:
    void DropProtectedFromSelection();
    void ReloadFromDatabase();
    void AfterChange(RecordResult result);
    QString ProgramText(const char* german, const char* english) const;

    int m_schedule = 0;
    bool m_english = false;   // the stored language setting, read at each fill
};
