#include "views/CZeitschemaDlg.h"

#include "base/Prompt.h"
#include "base/Settings.h"
#include "records/ScheduleOps.h"
#include "texts/CLanguageHandler.h"

#include <QSet>
#include <cstdlib>
#include <ctime>

using namespace ScheduleOps;

namespace {

QStringList TwoDigitTexts(int count)
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
    return texts;
}

// The day flag of a day column: Monday to Saturday are Day1 to Day6, Sunday is Day0.
int DayOfColumn(int col)
{
    return col == CZeitschemaDlg::ColSunday ? 0 : col - CZeitschemaDlg::ColMonday + 1;
}

} // namespace

CZeitschemaDlg::CZeitschemaDlg(const ViewContext& ctx, QWidget* parent)
    : CGridBaseDlg(ctx, QStringLiteral("04"), 1006, parent)
{
    setObjectName(QStringLiteral("CZeitschemaDlg"));
    CreateGrid(1);
    connect(Grid(), &CGridCtrl::RowSelectionChanged, this, &CZeitschemaDlg::DropProtectedFromSelection);
}

QString CZeitschemaDlg::ProgramText(const char* german, const char* english) const
{
    return QString::fromUtf8(m_english ? english : german);
}

void CZeitschemaDlg::Load(int headPosition)
{
    m_schedule = headPosition > 0 ? (headPosition - 1) / kWindows + 1 : 0;
    CGridBaseDlg::Load(headPosition);
}

// ---------------------------------------------------------------- filling

void CZeitschemaDlg::Fill()
{
    m_english = Settings::ReadLanguage() == 1;
    CGridBaseDlg::Fill();
    const QStringList hours = TwoDigitTexts(24);
    const QStringList minutes = TwoDigitTexts(60);
    Grid()->SetColumnKind(ColFromHours, CGridCtrl::CellKind::Combo, hours);
    Grid()->SetColumnKind(ColFromMinutes, CGridCtrl::CellKind::Combo, minutes);
    Grid()->SetColumnKind(ColToHours, CGridCtrl::CellKind::Combo, hours);
    Grid()->SetColumnKind(ColToMinutes, CGridCtrl::CellKind::Combo, minutes);
    for (int col = ColMonday; col <= ColSunday; ++col)
        Grid()->SetColumnKind(col, CGridCtrl::CellKind::Check);
}

void CZeitschemaDlg::RefreshColumnTitles()
{
    m_english = Settings::ReadLanguage() == 1;
    CGridBaseDlg::RefreshColumnTitles();
}

QString CZeitschemaDlg::ColumnTitle(int col) const
{
    switch (col) {
    case ColPosition: return Text(20);
    case ColChanged: return Text(31);
    case ColName: return Text(28);
    case ColFromHours: return Text(34);
    case ColFromMinutes: return Text(35);
    case ColToHours: return Text(36);
    case ColToMinutes: return Text(37);
    case ColSunday: return Text(44);
    default: break;
    }
    return col >= ColMonday && col <= ColSaturday ? Text(uint32_t(38 + col - ColMonday)) : QString();
}

int CZeitschemaDlg::RecordCount() const
{
    if (!Store())
        return 0;
    const CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    if (m_schedule == 0)
        return ScheduleCount(windows);
    const int first = (m_schedule - 1) * kWindows;
    return std::clamp(windows->GetAnz_Zeitschema() - first, 0, kWindows);
}

int CZeitschemaDlg::WindowIndex(int row) const
{
    if (row < 1 || row > RecordCount())
        return -1;
    return m_schedule == 0 ? (row - 1) * kWindows : (m_schedule - 1) * kWindows + row - 1;
}

QString CZeitschemaDlg::RecordCellText(int index, int col) const
{
    const int i = WindowIndex(index + 1);
    if (i < 0)
        return {};
    const structZeitschema& w = Store()->Get_Ptr_To_tblZeitschema()->Get_Zeitschema(i);
    switch (col) {
    case ColPosition: return QString::number(w.Position);
    case ColChanged: return QString::number(w.Changed);
    case ColName:
        if (IsFullAccessName(w.Name))
            return m_english ? Text(81) : kFullAccessDe;
        return w.Name;
    case ColFromHours: return w.From.left(2);
    case ColFromMinutes: return w.From.mid(2);
    case ColToHours: return w.To.left(2);
    case ColToMinutes: return w.To.mid(2);
    default: break;
    }
    if (col >= ColMonday && col <= ColSunday)
        return w.Day[DayOfColumn(col)] ? QStringLiteral("1") : QStringLiteral("0");
    return {};
}

bool CZeitschemaDlg::IsProtectedRow(int row) const
{
    const int i = WindowIndex(row);
    if (i < 0)
        return false;
    // The first schedule of the table is the built-in one, whatever it is called.
    return i < kWindows || IsFullAccessName(Store()->Get_Ptr_To_tblZeitschema()->Get_Zeitschema(i).Name);
}

QColor CZeitschemaDlg::CellBackground(int row, int col) const
{
    if (row < 1 || col < 1)
        return {};
    const bool editable = !IsProtectedRow(row) && (m_schedule == 0 ? col == ColName : col >= ColFromHours);
    return editable ? QColor() : ReadOnlyColour();
}

std::vector<int> CZeitschemaDlg::DefaultColumnWidths() const
{
    return {30, 0, 115, 70, 70, 70, 70, 45, 45, 45, 45, 45, 45, 45};
}

CGridCtrl::ColumnFit CZeitschemaDlg::ColumnFitOf(int col) const
{
    return col == ColName ? CGridCtrl::ColumnFit::FreeText : CGridCtrl::ColumnFit::Whole;
}

// ---------------------------------------------------------------- selection

void CZeitschemaDlg::DropProtectedFromSelection()
{
    for (int row : Grid()->SelectedRows())
        if (IsProtectedRow(row))
            Grid()->SetRowSelected(row, false);
}

QStringList CZeitschemaDlg::SelectedScheduleNames() const
{
    QStringList names;
    const CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    for (int index : SelectedIndices()) {
        const QString& name = windows->Get_Zeitschema(index).Name;
        if (index >= kWindows && !IsFullAccessName(name) && !names.contains(name))
            names << name;
    }
    return names;
}

// ---------------------------------------------------------------- editing

void CZeitschemaDlg::EndEdit(int row, int col, const QString& text)
{
    const int i = WindowIndex(row);
    if (i < 0 || !IsCellEditable(row, col))
        return;
    CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    const structZeitschema window = windows->Get_Zeitschema(i);

    if (col == ColName) {
        const QString name = text.trimmed();
        if (name == window.Name || RefuseName(name))
            return;
        if (name.isEmpty()) {
            ShowExclamation(ProgramText("Ein Zeitplan braucht einen Namen!", "A time schedule needs a name!"));
            Grid()->Refresh();
            return;
        }
        if (IsFullAccessName(name) || HeadIndexByName(windows, name) >= 0) {
            ShowExclamation(ProgramText("Ein Zeitplan mit diesem Namen existiert bereits!",
                                        "A time schedule with this name already exists!"));
            Grid()->Refresh();
            return;
        }
        const RecordResult r = RenameSchedule(Store(), window.Name, name);
        if (r == RecordResult::Done)
            emit ScheduleRenamed(window.Name, name);
        AfterChange(r);
        return;
    }

    std::function<void(structZeitschema&)> assign;
    if (col == ColFromHours || col == ColToHours) {
        if (!IsHourText(text))
            return Grid()->Refresh();
        assign = [col, text](structZeitschema& w) {
            QString& time = col == ColFromHours ? w.From : w.To;
            time = WithHours(time, text);
        };
    } else if (col == ColFromMinutes || col == ColToMinutes) {
        if (!IsMinuteText(text))
            return Grid()->Refresh();
        assign = [col, text](structZeitschema& w) {
            QString& time = col == ColFromMinutes ? w.From : w.To;
            time = WithMinutes(time, text);
        };
    } else if (col >= ColMonday && col <= ColSunday) {
        const int day = DayOfColumn(col);
        const int32_t on = text == QLatin1String("1") ? 1 : 0;
        assign = [day, on](structZeitschema& w) { w.Day[day] = on; };
    } else {
        return;
    }
    AfterChange(EditWindow(Store(), window.ID, assign));
}

void CZeitschemaDlg::AfterChange(RecordResult result)
{
    if (result == RecordResult::Done) {
        Refill();
        return;
    }
    if (result == RecordResult::NotFound)
        ShowExclamation(Text(79));
    ReloadFromDatabase();
}

void CZeitschemaDlg::ReloadFromDatabase()
{
    if (Store()) {
        Store()->Get_Ptr_To_tblZeitschema()->_Requery();
        Store()->Get_Ptr_To_tblTransponder()->_Requery();
        Store()->Get_Ptr_To_tblLeser()->_Requery();
    }
    Refill();
}

// ---------------------------------------------------------------- commands

std::vector<CGridBaseDlg::MenuItem> CZeitschemaDlg::ContextMenuItems(int, int)
{
    const int selected = int(SelectedScheduleNames().size());
    return {
        {CmdInsert, QStringLiteral("actionInsertEntry"), 61, true},
        {CmdDelete, QStringLiteral("actionDeleteEntry"), selected >= 2 ? 67u : 62u, selected > 0},
        {CmdReset, QStringLiteral("actionResetEntry"), 204, selected > 0},
        {CmdCopy, QStringLiteral("actionCopyEntry"), 206, selected > 0},
        {CmdDeleteAll, QStringLiteral("actionDeleteAllEntries"), 63, true},
    };
}

void CZeitschemaDlg::OnCommand(int command)
{
    switch (command) {
    case CmdInsert: InsertSchedule(); break;
    case CmdDelete: DeleteSchedules(); break;
    case CmdDeleteAll: DeleteAllSchedules(); break;
    case CmdReset: ResetSchedules(); break;
    case CmdCopy: CopySchedules(); break;
    default: break;
    }
}

void CZeitschemaDlg::InsertSchedule()
{
    std::srand(unsigned(std::time(nullptr)));
    CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    const QString name = UnusedScheduleName(windows, NewSchedulePrefix(Settings::ReadLanguage() == 1));
    const RecordResult r = AddSchedule(Store(), name, DefaultWindows());
    if (r != RecordResult::Done)
        return ReloadFromDatabase();
    emit ScheduleAdded(name);
    Refill();
    if (RecordCount() > 0)
        Grid()->EnsureRowVisible(RecordCount());
}

void CZeitschemaDlg::ResetSchedules()
{
    const QStringList names = SelectedScheduleNames();
    if (names.isEmpty() || !AskDestructive(Text(207)))
        return;
    for (const QString& name : names) {
        const RecordResult r = ResetSchedule(Store(), name);
        if (r != RecordResult::Done)
            return AfterChange(r);
    }
    Refill();
    Prompt().ShowMessage(Text(173));
}

void CZeitschemaDlg::CopySchedules()
{
    const QStringList names = SelectedScheduleNames();
    if (names.isEmpty())
        return;
    std::srand(unsigned(std::time(nullptr)));
    CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    for (const QString& name : names) {
        std::vector<structZeitschema> copy;
        for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
            if (windows->Get_Zeitschema(i).Name == name)
                copy.push_back(windows->Get_Zeitschema(i));
        const QString newName = UnusedScheduleName(windows, name + QLatin1Char('_'));
        const RecordResult r = AddSchedule(Store(), newName, copy);
        if (r != RecordResult::Done)
            return ReloadFromDatabase();
        emit ScheduleAdded(newName);
    }
    Refill();
    if (m_schedule == 0)
        Grid()->EnsureRowVisible(RecordCount());
    Prompt().ShowMessage(Text(173));
}

void CZeitschemaDlg::DeleteSchedules()
{
    const QStringList names = SelectedScheduleNames();
    if (names.isEmpty() || !AskDestructive(Text(names.size() == 1 ? 69 : 68)))
        return;
    SetBusy(1);
    const CtblZeitschema* windows = Store()->Get_Ptr_To_tblZeitschema();
    const QSet<QString> wanted(names.begin(), names.end());
    int expected = 0;
    for (int i = 0; i < windows->GetAnz_Zeitschema(); ++i)
        expected += wanted.contains(windows->Get_Zeitschema(i).Name);

    QStringList notFound;
    int removed = 0;
    const RecordResult r = ScheduleOps::DeleteSchedules(Store(), names, &notFound, &removed);
    if (r == RecordResult::Done) {
        for (int k = 0; k < notFound.size(); ++k)
            ShowExclamation(Text(79));
        if (removed != expected)
            ShowExclamation(Text(80));
        // The detail of a schedule that is gone shows the overview instead.
        m_schedule = 0;
        emit SchedulesRemoved(names);
    }
    Grid()->ClearSelection();
    if (r == RecordResult::Done)
        Refill();
    else
        ReloadFromDatabase();
    SetBusy(0);
}

void CZeitschemaDlg::DeleteAllSchedules()
{
    if (!AskDestructive(Text(64)))
        return;
    SetBusy(1);
    const RecordResult r = ScheduleOps::DeleteAllSchedules(Store());
    if (r == RecordResult::Done) {
        if (m_schedule > 1)
            m_schedule = 0;
        emit AllSchedulesRemoved();
    }
    Grid()->ClearSelection();
    if (r == RecordResult::Done)
        Refill();
    else
        ReloadFromDatabase();
    SetBusy(0);
}
