#include "views/CTransponderDlg.h"

#include "base/Prompt.h"
#include "link/CSerialLink.h"
#include "views/IReaderTree.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "records/ScheduleOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <algorithm>

using namespace TransponderEdits;

namespace {

// Wait cursor for the length of a store pass or a reader exchange.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Alder readers take no transponder list from the program: their columns are read-only.
bool IsAlder(const structLeser& r) { return r.Model.contains(QLatin1String("Alder")); }

} // namespace

CTransponderDlg::CTransponderDlg(const ViewContext& ctx, QWidget* parent)
    : CGridBaseDlg(ctx, QStringLiteral("05"), 1005, parent)
{
    setObjectName(QStringLiteral("CTransponderDlg"));
    // Header only until the view is loaded: a reader node without a record leaves it empty.
    CreateGrid(1);
    // The first menu item shows a count rather than a text of its own.
    connect(this, &CGridBaseDlg::ContextMenuBuilt, this, [this](QMenu* menu) {
        if (QAction* count = menu->findChild<QAction*>(QStringLiteral("actionAssignedCount")))
            count->setText(m_countLabel);
    });
}

CSerialLink* CTransponderDlg::Link() const
{
    return Tree() ? Tree()->Link() : nullptr;
}

int CTransponderDlg::InterfaceType() const
{
    CSerialLink* link = Link();
    return link ? link->m_nInterfaceType.load() : -1;
}

// ---------------------------------------------------------------- filling

void CTransponderDlg::Load(int readerFilter)
{
    // Every show starts with capture off and the default widths.
    m_captureIgnored = 1;
    SetKeepWidths(0);
    CGridBaseDlg::Load(readerFilter);
}

void CTransponderDlg::Fill()
{
    // A reader column stands for the first reader of its name, as the header shows it.
    const CtblLeser* readers = Store()->Get_Ptr_To_tblLeser();
    m_columnReaders.clear();
    for (int i = 0; i < readers->GetAnz_Leser(); ++i) {
        const QString& name = readers->Get_Leser(i).Name;
        int first = 0;
        while (readers->Get_Leser(first).Name != name)
            ++first;
        m_columnReaders.push_back(readers->Get_Leser(first).ID);
    }
    RebuildFilter();

    CGridBaseDlg::Fill();
    CGridCtrl* grid = Grid();
    grid->SetColumnKind(ColChanged, CGridCtrl::CellKind::Check);
    grid->SetColumnKind(ColPerson, CGridCtrl::CellKind::Combo, PersonChoices(*Store()));
    QStringList schedules = ScheduleChoices(*Store());
    for (QString& name : schedules)
        name = ShownScheduleName(name);
    grid->SetColumnKind(ColSchedule, CGridCtrl::CellKind::Combo, schedules);
    for (int col = ColFirstReader; col <= ColumnCount(); ++col)
        grid->SetColumnKind(col, CGridCtrl::CellKind::Check);
    grid->Refresh();
}

void CTransponderDlg::RebuildFilter()
{
    m_filtered.clear();
    if (!m_filter)
        return;
    const CtblTransponder* tbl = Store()->Get_Ptr_To_tblTransponder();
    for (int i = 0; i < tbl->GetAnz_Transponder(); ++i)
        if (HasReader(tbl->Get_Transponder(i).Readers, m_filter))
            m_filtered.push_back(tbl->Get_Transponder(i).ID);
}

void CTransponderDlg::RowsChanged()
{
    RebuildFilter();
    Grid()->SetRowCount(RecordCount() + 1);
    FitColumns();   // a captured number may be wider than those before it
}

// ---------------------------------------------------------------- columns and cells

int CTransponderDlg::ColumnCount() const
{
    return ColFirstReader - 1 + int(m_columnReaders.size());
}

QString CTransponderDlg::ColumnTitle(int col) const
{
    switch (col) {
    case ColPosition: return Text(20);
    case ColChanged: return Text(31);
    case ColNumber: return Text(15);
    case ColPerson: return Text(32);
    case ColSchedule: return Text(18);
    default: break;
    }
    const int k = col - ColFirstReader;
    const CtblLeser* readers = Store()->Get_Ptr_To_tblLeser();
    return k >= 0 && k < int(m_columnReaders.size()) && k < readers->GetAnz_Leser() ? readers->Get_Leser(k).Name
                                                                                     : QString();
}

QString CTransponderDlg::ShownScheduleName(const QString& name) const
{
    // The built-in schedule goes by the name of the language the user reads.
    return ScheduleOps::ShownScheduleName(name, Language() && Language()->GetAktivLanguage() == 1);
}

int CTransponderDlg::ReaderIdOfColumn(int col) const
{
    const int k = col - ColFirstReader;
    return k >= 0 && k < int(m_columnReaders.size()) ? m_columnReaders[size_t(k)] : 0;
}

int CTransponderDlg::RecordCount() const
{
    if (m_filter)
        return int(m_filtered.size());
    return Store() ? Store()->Get_Ptr_To_tblTransponder()->GetAnz_Transponder() : 0;
}

const structTransponder* CTransponderDlg::RecordAtRow(int rowIndex) const
{
    if (rowIndex < 0 || rowIndex >= RecordCount())
        return nullptr;
    const CtblTransponder* tbl = Store()->Get_Ptr_To_tblTransponder();
    return m_filter ? tbl->FindById(m_filtered[size_t(rowIndex)]) : &tbl->Get_Transponder(rowIndex);
}

int CTransponderDlg::RowOfTransponder(int32_t transponderId) const
{
    if (!m_filter) {
        const int i = Store()->Get_Ptr_To_tblTransponder()->IndexOf(transponderId);
        return i >= 0 ? i + 1 : 0;
    }
    const auto it = std::find(m_filtered.begin(), m_filtered.end(), transponderId);
    return it != m_filtered.end() ? int(it - m_filtered.begin()) + 1 : 0;
}

int CTransponderDlg::RecordIdAt(int index) const
{
    // index is a place in the cached list (Position - 1), whatever the filter shows.
    const CtblTransponder* tbl = Store()->Get_Ptr_To_tblTransponder();
    return index >= 0 && index < tbl->GetAnz_Transponder() ? tbl->Get_Transponder(index).ID : 0;
}

QString CTransponderDlg::RecordCellText(int index, int col) const
{
    const structTransponder* t = RecordAtRow(index);
    if (!t)
        return {};
    switch (col) {
    case ColPosition: return QString::number(t->Position);
    case ColChanged: return QString::number(t->Changed);
    case ColNumber: return t->Number;
    case ColPerson: return PersonNameOf(*Store(), t->ID);
    case ColSchedule: return ShownScheduleName(ScheduleOps::ScheduleNameOf(Store()->Get_Ptr_To_tblZeitschema(), t->ScheduleID));
    default: break;
    }
    const int32_t readerId = ReaderIdOfColumn(col);
    if (!readerId)
        return {};
    return HasReader(t->Readers, readerId) ? QStringLiteral("1") : QStringLiteral("0");
}

bool CTransponderDlg::IsColumnReadOnly(int col) const
{
    if (col == ColPosition || col == ColChanged || col == ColNumber)
        return true;
    const int32_t readerId = ReaderIdOfColumn(col);
    const structLeser* reader = readerId ? Store()->Get_Ptr_To_tblLeser()->FindById(readerId) : nullptr;
    return reader && IsAlder(*reader);
}

std::vector<int> CTransponderDlg::DefaultColumnWidths() const
{
    std::vector<int> widths{30, 0, 90, 130, 80};
    widths.resize(size_t(ColumnCount()), 50);
    return widths;
}

CGridCtrl::ColumnFit CTransponderDlg::ColumnFitOf(int col) const
{
    if (col == ColPerson || col == ColSchedule)
        return CGridCtrl::ColumnFit::FreeText;
    return col >= ColFirstReader ? CGridCtrl::ColumnFit::FreeTitle : CGridCtrl::ColumnFit::Whole;
}

// ---------------------------------------------------------------- end of edit

void CTransponderDlg::EndEdit(int row, int col, const QString& text)
{
    const structTransponder* t = RecordAtRow(row - 1);
    if (!t || IsColumnReadOnly(col))
        return;
    const int32_t id = t->ID;   // the record may move in the cache while it is changed
    bool gone = false;
    if (col == ColPerson) {
        gone = SetPerson(*Store(), id, text) == RecordResult::NotFound;
    } else if (col == ColSchedule) {
        gone = SetSchedule(*Store(), id, text) == RecordResult::NotFound;
    } else if (const int32_t readerId = ReaderIdOfColumn(col)) {
        const bool assign = text == QLatin1String("1");
        const AssignResult r = SetReaderAssigned(*Store(), id, readerId, assign, InterfaceType());
        if (r == AssignResult::MasterRefused)
            ShowExclamation(Text(217));
        gone = r == AssignResult::NotFound;
    }
    if (gone) {
        // Another station deleted it: it has left the cache, and leaves the view.
        ShowExclamation(Text(75));
        RowsChanged();
        return;
    }
    // Also after a refusal or a store error: the cell shows again what the cache holds.
    Grid()->Refresh();
}

// ---------------------------------------------------------------- context menu

void CTransponderDlg::RefreshIdentity()
{
    m_identityText.clear();
    CSerialLink* link = Link();
    if (!link || link->m_nPortInUse.load() <= 0)
        return;
    WaitCursor wait;
    QByteArray reply;
    switch (link->m_nInterfaceType.load()) {
    case 1:
    case 2:
    case 4:
        reply = link->SendTelegramViaMonitor('L', QByteArrayLiteral("S0000"), 1);
        break;
    case 0:
        reply = link->SendTelegramViaMonitor('H', QByteArray(), 2);
        break;
    case 3:
        reply = link->SendTelegramViaMonitor('H', QByteArray(), 3);
        break;
    default:
        return;
    }
    m_identityText = QString::fromLatin1(reply);
}

int CTransponderDlg::AssignedCount(int col) const
{
    const int32_t readerId = ReaderIdOfColumn(col);
    if (!readerId)
        return 0;
    int n = 0;
    for (int i = 0; i < RecordCount(); ++i)
        if (const structTransponder* t = RecordAtRow(i))
            n += HasReader(t->Readers, readerId) ? 1 : 0;
    return n;
}

std::vector<CGridBaseDlg::MenuItem> CTransponderDlg::ContextMenuItems(int row, int col)
{
    Q_UNUSED(row)
    m_rightClickColumn = col;
    RefreshIdentity();
    const bool readerColumn = col >= ColFirstReader && col <= ColumnCount();
    m_rightClickReader = readerColumn ? ColumnTitle(col) : QString();
    const QString count = readerColumn ? QString::asprintf("%d ", AssignedCount(col)) : QStringLiteral("--- ");
    const bool columnEditable = readerColumn && !IsColumnReadOnly(col);
    const size_t selected = SelectedIndices().size();

    m_countLabel = count + Text(231);
    return {
        {CmdAssignedCount, QStringLiteral("actionAssignedCount"), 231, true},
        {CmdCapture, QStringLiteral("actionCapture"), m_captureIgnored ? 170u : 171u, true},
        {CmdEntryDialog, QStringLiteral("actionEntryDialog"), 243, true},
        {CmdDelete, QStringLiteral("actionDeleteEntry"), selected >= 2 ? 67u : 62u, selected > 0},
        {CmdDeleteAll, QStringLiteral("actionDeleteAllEntries"), 63, true},
        {CmdAssignAll, QStringLiteral("actionAssignAll"), 233, columnEditable},
        {CmdRemoveAllAssignments, QStringLiteral("actionRemoveAllAssignments"), 232, columnEditable},
    };
}

void CTransponderDlg::OnCommand(int command)
{
    // The reader of the right-clicked column, found by its header text.
    const auto clickedReader = [this]() -> int32_t {
        const CtblLeser* readers = Store()->Get_Ptr_To_tblLeser();
        for (int i = 0; i < readers->GetAnz_Leser(); ++i)
            if (readers->Get_Leser(i).Name == m_rightClickReader)
                return readers->Get_Leser(i).ID;
        return 0;
    };
    switch (command) {
    case CmdCapture:
        ToggleCapture();
        break;
    case CmdAssignedCount:
        break;
    case CmdAssignAll:
        if (!m_rightClickReader.isEmpty())
            AssignAll(clickedReader());
        break;
    case CmdRemoveAllAssignments:
        if (!m_rightClickReader.isEmpty())
            RemoveAllAssignments(clickedReader());
        break;
    case CmdEntryDialog:
        if (m_entryDialog) {
            m_entryDialog(*this);
            Refill();
        }
        break;
    default:
        CGridBaseDlg::OnCommand(command);
        break;
    }
}

// ---------------------------------------------------------------- whole reader columns

void CTransponderDlg::AssignAll(int32_t readerId)
{
    if (!readerId)
        return;
    {
        WaitCursor wait;
        SetReaderOnAll(*Store(), readerId, true);
    }
    RowsChanged();
}

void CTransponderDlg::RemoveAllAssignments(int32_t readerId)
{
    if (!readerId)
        return;
    {
        WaitCursor wait;
        SetReaderOnAll(*Store(), readerId, false);
    }
    RowsChanged();
}

// ---------------------------------------------------------------- deleting

RecordResult CTransponderDlg::DeleteRecordById(int id)
{
    return DeleteTransponder(*Store(), id);
}

int CTransponderDlg::RemoveCachedIds(const std::vector<int32_t>& ids)
{
    return ForgetTransponders(*Store(), ids);
}

RecordResult CTransponderDlg::DeleteAllRecords()
{
    m_deleteAllIds.clear();
    WaitCursor wait;
    if (!m_filter)
        return DeleteAllTransponders(*Store());   // the caches follow at once

    // Only the shown transponders go, one by one as with delete.
    std::vector<int32_t> deleted;
    CStoreTransaction tx(Store());
    for (int32_t id : m_filtered) {
        const RecordResult r = DeleteTransponder(*Store(), id);
        if (r == RecordResult::NotFound) {
            ShowExclamation(Text(75));
            continue;
        }
        if (r != RecordResult::Done)
            return r;   // rolled back as the scope ends
        deleted.push_back(id);
    }
    if (tx.Started() && !tx.Commit())
        return RecordResult::StoreError;
    m_deleteAllIds = std::move(deleted);
    return RecordResult::Done;
}

void CTransponderDlg::RemoveAllCached()
{
    if (!m_deleteAllIds.empty() && ForgetTransponders(*Store(), m_deleteAllIds) != int(m_deleteAllIds.size()))
        ShowExclamation(Text(76));
    m_deleteAllIds.clear();
}

// ---------------------------------------------------------------- capture and entry

void CTransponderDlg::OnTransponderSeen(const QString& number)
{
    TakeNumber(number, true);
}

void CTransponderDlg::OnCaptureMessage(const QString& number)
{
    TakeNumber(number, false);
}

void CTransponderDlg::TakeNumber(const QString& seen, bool fromMonitor)
{
    const QString number = ValidNumber(seen);
    if (number.isEmpty())
        return;   // not a transponder number: nothing to select or add
    CtblTransponder* tbl = Store()->Get_Ptr_To_tblTransponder();
    const int index = tbl->IndexOfNumber(number);
    int32_t existing = index >= 0 ? tbl->Get_Transponder(index).ID : 0;
    if (existing) {
        if (const int row = RowOfTransponder(existing))
            Grid()->SelectRow(row);
    }
    if (m_captureIgnored)
        return;

    const int32_t readerId = m_identityText.isEmpty() ? 0 : ReaderOfIdentityReply(*Store(), m_identityText);
    if (!existing) {
        int32_t id = 0;
        const QString readers = readerId ? QString::number(readerId) : QString();
        const AddResult added = AddTransponder(*Store(), number, readers, readerId, &id);
        if (added == AddResult::Failed)
            return;
        if (added == AddResult::Added) {
            RowsChanged();
            if (const int row = RowOfTransponder(id))
                Grid()->SelectRow(row);
            return;
        }
        // Another station stored it meanwhile: read it in and treat it as a known one.
        tbl->_Requery();
        RowsChanged();
        existing = id;
    }
    if (!fromMonitor)
        return;
    const AssignResult r = AddCapturingReader(*Store(), existing, readerId);
    if (r == AssignResult::Done || r == AssignResult::NotFound)
        RowsChanged();
    if (const int row = RowOfTransponder(existing))
        Grid()->SelectRow(row);
}

bool CTransponderDlg::SelectNumber(const QString& number)
{
    const CtblTransponder* tbl = Store()->Get_Ptr_To_tblTransponder();
    const int index = tbl->IndexOfNumber(number.toUpper());
    const int row = index >= 0 ? RowOfTransponder(tbl->Get_Transponder(index).ID) : 0;
    if (row)
        Grid()->SelectRow(row);
    return row != 0;
}

AddResult CTransponderDlg::AddEnteredNumber(const QString& number)
{
    int32_t id = 0;
    const AddResult r = AddTransponder(*Store(), number, QStringLiteral("0"), 0, &id);
    if (r == AddResult::Failed)
        return r;
    if (r == AddResult::Exists)
        Store()->Get_Ptr_To_tblTransponder()->_Requery();   // another station stored it meanwhile
    RowsChanged();
    if (const int row = RowOfTransponder(id))
        Grid()->SelectRow(row);
    return r;
}
