#include "views/CEventsDlg.h"

#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/CStoreTransaction.h"
#include "views/CEventFilterBar.h"

#include <QBoxLayout>
#include <QGuiApplication>

CEventsDlg::CEventsDlg(const ViewContext& ctx, QWidget* parent)
    : CGridBaseDlg(ctx, QStringLiteral("01"), 1001, parent)
{
    setObjectName(QStringLiteral("CEventsDlg"));
    m_filterBar = new CEventFilterBar(Store(), Language(), this);
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertWidget(0, m_filterBar);
    connect(m_filterBar, &CEventFilterBar::Changed, this, &CEventsDlg::Refill);
    connect(m_filterBar, &CEventFilterBar::ReportRequested, this, [this] { m_filterBar->WriteReport(m_filter); });
    CreateGrid(RecordCount() + 1);
}

// ---------------------------------------------------------------- filling

void CEventsDlg::Fill()
{
    m_shownIds.clear();
    m_filtered = m_filter != 0 || (m_filterBar && m_filterBar->Active());
    if (m_filtered && Store()) {
        const CtblEvents* events = Store()->Get_Ptr_To_tblEvents();
        const std::vector<int> indices = m_filterBar->Indices(m_filter);
        m_shownIds.reserve(indices.size());
        for (int i : indices)
            m_shownIds.push_back(events->Get_Event(i).ID);
    }
    if (Store())
        m_filterBar->SetCount(RecordCount(), Store()->Get_Ptr_To_tblEvents()->GetAnz_Events());
    CGridBaseDlg::Fill();
    // A fill shows the list in its own order: no column is sorted any more.
    Grid()->ResetSortColumnColour();
    // Widths the user has changed since survive the fills that follow.
    SetKeepWidths(1);
}

int CEventsDlg::RecordCount() const
{
    if (!Store())
        return 0;
    return m_filtered ? int(m_shownIds.size()) : Store()->Get_Ptr_To_tblEvents()->GetAnz_Events();
}

const structEvents* CEventsDlg::ShownEvent(int index) const
{
    if (!Store() || index < 0 || index >= RecordCount())
        return nullptr;
    const CtblEvents* events = Store()->Get_Ptr_To_tblEvents();
    if (!m_filtered)
        return &events->Get_Event(index);
    return events->FindById(m_shownIds[size_t(index)]);
}

// ---------------------------------------------------------------- cells

QString CEventsDlg::ColumnTitle(int col) const
{
    static const uint32_t kTitles[] = {0, 20, 21, 73, 14, 22, 23, 24, 25, 26, 27};
    return col >= 1 && col <= ColCount ? Text(kTitles[col]) : QString();
}

std::vector<int> CEventsDlg::DefaultColumnWidths() const
{
    return {60, 110, 110, 110, 70, 50, 110, 140, 110, 160};
}

CGridCtrl::ColumnFit CEventsDlg::ColumnFitOf(int col) const
{
    const bool name = col == ColPerson || col == ColReader || col == ColClassText || col == ColDetailText;
    return name ? CGridCtrl::ColumnFit::FreeText : CGridCtrl::ColumnFit::Whole;
}

QString CEventsDlg::PersonOf(const QString& transponderNo) const
{
    const int t = Store()->Get_Ptr_To_tblTransponder()->IndexOfNumber(transponderNo);
    if (t < 0)
        return QStringLiteral("---");
    const CtblPerson* persons = Store()->Get_Ptr_To_tblPerson();
    const int p = persons->IndexOfTransponder(Store()->Get_Ptr_To_tblTransponder()->Get_Transponder(t).ID);
    return p < 0 ? QStringLiteral("---") : persons->Get_Person(p).Name;
}

QString CEventsDlg::ReaderNameOf(const structEvents& e) const
{
    // All events: the name the reader had when the event was read. One reader's events: the
    // name it has now.
    if (m_filter == 0)
        return e.ReaderName;
    const structLeser* reader = Store()->Get_Ptr_To_tblLeser()->FindById(e.ReaderID);
    return reader ? reader->Name : QStringLiteral("---");
}

QString CEventsDlg::RecordCellText(int index, int col) const
{
    const structEvents* e = ShownEvent(index);
    if (!e)
        return {};
    switch (col) {
    case ColPosition: return QString::number(e->Position);
    case ColTransponder: return e->TransponderNo;
    case ColPerson: return PersonOf(e->TransponderNo);
    case ColReader: return ReaderNameOf(*e);
    case ColDate: return e->Date.left(2) + QLatin1Char('.') + e->Date.mid(2, 2) + QLatin1Char('.') + e->Date.mid(4);
    case ColTime: return e->Time.left(2) + QLatin1Char(':') + e->Time.mid(2);
    case ColClass: return e->ClassCode;
    case ColClassText: return e->ClassText;
    case ColDetail: return e->DetailCode;
    case ColDetailText: return e->DetailText;
    default: return {};
    }
}

// ---------------------------------------------------------------- context menu and delete all

std::vector<CGridBaseDlg::MenuItem> CEventsDlg::ContextMenuItems(int, int)
{
    return {
        {CmdInsert, QStringLiteral("actionInsertEntry"), 61, false},
        {CmdDelete, QStringLiteral("actionDeleteEntry"), 62, false},
        {CmdDeleteAll, QStringLiteral("actionDeleteAllEntries"), 63, RecordCount() > 0},
    };
}

void CEventsDlg::OnCommand(int command)
{
    if (command == CmdDeleteAll)
        DeleteAllEvents();
}

CGridBaseDlg::ChangeTexts CEventsDlg::ChangeTextNumbers() const
{
    ChangeTexts t;
    t.notFound = 75;
    t.removeFailed = 76;
    t.confirmAll = 64;
    return t;
}

void CEventsDlg::DeleteAllEvents()
{
    if (!Store() || !AskDestructive(Text(64)))
        return;
    SetBusy(1);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    CtblEvents* events = Store()->Get_Ptr_To_tblEvents();
    if (!m_filtered) {
        if (DeleteRecordsWhere(events, {}) == RecordResult::Done)
            events->RemoveAllData();
    } else if (m_filterBar->Active()) {
        // Only the events the filter row shows.
        CStoreTransaction tx(Store());
        if (DeleteRecordsByIds(events, m_shownIds) == RecordResult::Done && (!tx.Started() || tx.Commit()))
            events->RemoveIds(m_shownIds);
    } else {
        // Only the reader's events: one statement, one pass over the cached list.
        const int32_t reader = m_filter;
        CStoreTransaction tx(Store());
        const RecordResult r = DeleteRecordsWithValue(events, "ReaderID", reader);
        if (r == RecordResult::Done && (!tx.Started() || tx.Commit()))
            events->RemoveWhere([reader](const structEvents& e) { return e.ReaderID == reader; });
    }
    Grid()->ClearSelection();
    Refill();
    QGuiApplication::restoreOverrideCursor();
    SetBusy(0);
}
