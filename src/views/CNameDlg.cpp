#include "views/CNameDlg.h"

#include "base/Prompt.h"
#include "records/PersonOps.h"
#include "records/ScheduleOps.h"
#include "records/TextOps.h"
#include "texts/CLanguageHandler.h"

CNameDlg::CNameDlg(const ViewContext& ctx, QWidget* parent)
    : CGridBaseDlg(ctx, QStringLiteral("02"), 1004, parent)
{
    setObjectName(QStringLiteral("CNameDlg"));
    CreateGrid(1);
}

void CNameDlg::Load(int readerId)
{
    // Default widths again on every show.
    SetKeepWidths(0);
    CGridBaseDlg::Load(readerId);
}

// ---------------------------------------------------------------- filling

void CNameDlg::Fill()
{
    m_readerIds.clear();
    m_shown.clear();
    if (Store()) {
        const CtblLeser* readers = Store()->Get_Ptr_To_tblLeser();
        for (int i = 0; i < readers->GetAnz_Leser(); ++i)
            m_readerIds.push_back(readers->Get_Leser(i).ID);
        if (m_filter) {
            // The persons whose transponder is assigned to the filter reader.
            const CtblPerson* persons = Store()->Get_Ptr_To_tblPerson();
            const CtblTransponder* transponders = Store()->Get_Ptr_To_tblTransponder();
            for (int i = 0; i < persons->GetAnz_Person(); ++i) {
                const structTransponder* t = transponders->FindById(persons->Get_Person(i).TransponderID);
                if (t && HasReader(t->Readers, m_filter))
                    m_shown.push_back(i);
            }
        }
    }
    CGridBaseDlg::Fill();

    QStringList numbers{QStringLiteral("---")};
    if (Store()) {
        const CtblTransponder* transponders = Store()->Get_Ptr_To_tblTransponder();
        numbers.reserve(transponders->GetAnz_Transponder() + 1);
        for (int i = 0; i < transponders->GetAnz_Transponder(); ++i)
            numbers << transponders->Get_Transponder(i).Number;
    }
    Grid()->SetColumnKind(ColTransponder, CGridCtrl::CellKind::Combo, numbers);
    for (int col = ColFirstReader; col <= ColumnCount(); ++col)
        Grid()->SetColumnKind(col, CGridCtrl::CellKind::Check);
}

int CNameDlg::ColumnCount() const
{
    return ColFirstReader - 1 + int(m_readerIds.size());
}

QString CNameDlg::ColumnTitle(int col) const
{
    switch (col) {
    case ColPosition: return Text(20);
    case ColName: return Text(32);
    case ColTransponder: return Text(15);
    case ColSchedule: return Text(18);
    default: break;
    }
    const size_t reader = size_t(col - ColFirstReader);
    if (col < ColFirstReader || reader >= m_readerIds.size() || !Store())
        return {};
    const structLeser* r = Store()->Get_Ptr_To_tblLeser()->FindById(m_readerIds[reader]);
    return r ? r->Name : QString();
}

int CNameDlg::RecordCount() const
{
    if (!Store())
        return 0;
    return m_filter ? int(m_shown.size()) : Store()->Get_Ptr_To_tblPerson()->GetAnz_Person();
}

int CNameDlg::ListIndex(int i) const
{
    if (!m_filter)
        return i;
    return i >= 0 && size_t(i) < m_shown.size() ? m_shown[size_t(i)] : -1;
}

const structPerson* CNameDlg::PersonInRow(int row) const
{
    if (row < 1 || row > RecordCount())
        return nullptr;
    const int index = ListIndex(row - 1);
    const CtblPerson* persons = Store()->Get_Ptr_To_tblPerson();
    return index >= 0 && index < persons->GetAnz_Person() ? &persons->Get_Person(index) : nullptr;
}

QString CNameDlg::RecordCellText(int index, int col) const
{
    const structPerson* p = PersonInRow(index + 1);
    if (!p)
        return {};
    if (col == ColPosition)
        return QString::number(p->Position);
    if (col == ColName)
        return p->Name;
    const structTransponder* t = Store()->Get_Ptr_To_tblTransponder()->FindById(p->TransponderID);
    switch (col) {
    case ColTransponder:
        return t ? t->Number : QString();
    case ColSchedule: {
        const QString name = t ? ScheduleOps::ScheduleNameOf(Store()->Get_Ptr_To_tblZeitschema(), t->ScheduleID) : QString();
        if (name.isEmpty())
            return QStringLiteral("---");
        return ScheduleOps::ShownScheduleName(name, Language() && Language()->GetAktivLanguage() == 1);
    }
    default:
        break;
    }
    const size_t reader = size_t(col - ColFirstReader);
    if (reader >= m_readerIds.size())
        return {};
    return t && HasReader(t->Readers, m_readerIds[reader]) ? QStringLiteral("1") : QStringLiteral("0");
}

bool CNameDlg::IsColumnReadOnly(int col) const
{
    return col != ColName && col != ColTransponder;
}

std::vector<int> CNameDlg::DefaultColumnWidths() const
{
    std::vector<int> widths{30, 130, 90, 80};
    widths.resize(size_t(ColumnCount()), 50);
    return widths;
}

CGridCtrl::ColumnFit CNameDlg::ColumnFitOf(int col) const
{
    if (col == ColName || col == ColSchedule)
        return CGridCtrl::ColumnFit::FreeText;
    return col >= ColFirstReader ? CGridCtrl::ColumnFit::FreeTitle : CGridCtrl::ColumnFit::Whole;
}

// ---------------------------------------------------------------- editing

void CNameDlg::EndEdit(int row, int col, const QString& text)
{
    const structPerson* p = PersonInRow(row);
    if (!p)
        return;
    const int32_t personId = p->ID;
    RecordResult r = RecordResult::Done;
    if (col == ColName) {
        if (text == p->Name || RefuseName(text))
            return;
        if (PersonOps::NameTaken(Store()->Get_Ptr_To_tblPerson(), text)) {
            ShowExclamation(Text(85));
            Grid()->Refresh();   // the cell shows the old name again
            return;
        }
        r = PersonOps::RenamePerson(Store(), personId, text);
    } else if (col == ColTransponder) {
        r = PersonOps::LinkTransponder(Store(), personId, text);
    } else {
        return;
    }
    if (r == RecordResult::StoreError || r == RecordResult::OpenFailed || r == RecordResult::NotFound) {
        if (r == RecordResult::NotFound)
            ShowExclamation(Text(77));
        ReloadFromDatabase();
        return;
    }
    Refill();
}

void CNameDlg::ReloadFromDatabase()
{
    if (Store()) {
        Store()->Get_Ptr_To_tblPerson()->_Requery();
        Store()->Get_Ptr_To_tblTransponder()->_Requery();
    }
    Refill();
}

// ---------------------------------------------------------------- insert and delete

RecordResult CNameDlg::AddDefaultRecord()
{
    const RecordResult r = PersonOps::AddPerson(Store(), PersonOps::NewPersonName());
    m_storeFailed = r != RecordResult::Done;
    return r;
}

int CNameDlg::RecordIdAt(int index) const
{
    const CtblPerson* persons = Store()->Get_Ptr_To_tblPerson();
    return index >= 0 && index < persons->GetAnz_Person() ? persons->Get_Person(index).ID : 0;
}

RecordResult CNameDlg::DeleteRecordById(int id)
{
    const RecordResult r = PersonOps::DeletePersonRecord(Store(), id);
    if (r == RecordResult::StoreError || r == RecordResult::OpenFailed)
        m_storeFailed = true;
    return r;
}

int CNameDlg::RemoveCachedIds(const std::vector<int32_t>& ids)
{
    return PersonOps::ForgetPersons(Store(), ids);
}

RecordResult CNameDlg::DeleteAllRecords()
{
    RecordResult r = RecordResult::Done;
    if (!m_filter) {
        r = PersonOps::DeleteAllPersons(Store());
    } else {
        // Only the persons shown: one by one, all in one transaction.
        std::vector<int32_t> ids;
        for (int i = 0; i < RecordCount(); ++i)
            ids.push_back(PersonInRow(i + 1)->ID);
        std::vector<int32_t> deleted;
        {
            CStoreTransaction tx(Store());
            for (int32_t id : ids) {
                r = PersonOps::DeletePersonRecord(Store(), id);
                if (r == RecordResult::NotFound) {
                    ShowExclamation(Text(77));
                    r = RecordResult::Done;
                    continue;
                }
                if (r != RecordResult::Done)
                    break;
                deleted.push_back(id);
            }
            if (r == RecordResult::Done && tx.Started() && !tx.Commit())
                r = RecordResult::StoreError;
        }
        if (r == RecordResult::Done && PersonOps::ForgetPersons(Store(), deleted) != int(deleted.size()))
            ShowExclamation(Text(78));
    }
    if (r != RecordResult::Done)
        m_storeFailed = true;
    return r;
}

// The cache has followed the deletes already (all of it, or only the persons shown).
void CNameDlg::RemoveAllCached() {}

// Delete all stays offered on an empty table too: it asks, finds nothing to delete and leaves
// the header row, so the menu looks the same whatever the table holds.
std::vector<CGridBaseDlg::MenuItem> CNameDlg::ContextMenuItems(int row, int col)
{
    std::vector<MenuItem> items = CGridBaseDlg::ContextMenuItems(row, col);
    for (MenuItem& item : items)
        item.enabled = item.enabled || item.command == CmdDeleteAll;
    return items;
}

void CNameDlg::OnCommand(int command)
{
    m_storeFailed = false;
    CGridBaseDlg::OnCommand(command);
    if (m_storeFailed)
        ReloadFromDatabase();
    m_storeFailed = false;
}
