#include "readers/CLeserDlg.h"

#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "link/CSerialLink.h"
#include "params/CParamBirchDlg.h"
#include "params/CParamMaple_CedarDlg.h"
#include "params/CSendBirchDlg.h"
#include "readers/CCompareDlg.h"
#include "readers/CChooseReaderDlg.h"
#include "readers/CDataProgressDlg.h"
#include "readers/CReadEventsDlg.h"
#include "readers/EventReading.h"
#include "readers/FetchAll.h"
#include "readers/ReaderDeletion.h"
#include "readers/ReaderIdentity.h"
#include "readers/ReaderModel.h"
#include "readers/ReaderRegistration.h"
#include "readers/WriteAll.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"
#include "views/IReaderTree.h"
#include "views/PendingColour.h"

#include <QGuiApplication>
#include <algorithm>
#include <optional>

namespace {

// Wait cursor and the view's busy flag for the length of a database loop.
class BusyScope {
public:
    explicit BusyScope(CGridBaseDlg* view) : m_view(view)
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_view->SetBusy(1);
    }
    ~BusyScope()
    {
        m_view->SetBusy(0);
        QGuiApplication::restoreOverrideCursor();
    }

private:
    CGridBaseDlg* m_view;
};

} // namespace

CLeserDlg::CLeserDlg(const ViewContext& ctx, QWidget* parent)
    : CGridBaseDlg(ctx, QStringLiteral("03"), 1003, parent)
{
    setObjectName(QStringLiteral("CLeserDlg"));
    CreateGrid(RecordCount() + 1);
    connect(Grid(), &CGridCtrl::ButtonClicked, this, &CLeserDlg::OnButton);
}

CLeserDlg::~CLeserDlg()
{
    // A running read ends before its next event and a running write at its next telegram;
    // neither reports to anyone. Each run's destructor waits a moment for its worker.
    m_bStop = 1;
    if (m_eventRun)
        m_eventRun->Stop();
    if (m_writeRun && m_nIdle == 0 && m_progress)
        m_progress->hide();
    m_writeRun.reset();
    EndProgress();
}

CSerialLink* CLeserDlg::Link() const
{
    return Tree() ? Tree()->Link() : nullptr;
}

// ---------------------------------------------------------------- columns and cells

void CLeserDlg::Fill()
{
    CGridBaseDlg::Fill();
    Grid()->SetColumnKind(ColChanged, CGridCtrl::CellKind::Check);
    Grid()->SetColumnKind(ColButton, CGridCtrl::CellKind::Button);
}

QString CLeserDlg::ColumnTitle(int col) const
{
    switch (col) {
    case ColPosition: return Text(20);
    case ColChanged: return Text(31);
    case ColModel: return Text(58);
    case ColName: return Text(28);
    case ColIdentity: return Text(30);
    case ColInfo: return Text(29);
    default: return {};
    }
}

int CLeserDlg::RecordCount() const
{
    return Store() ? Store()->Get_Ptr_To_tblLeser()->GetAnz_Leser() : 0;
}

QString CLeserDlg::RecordCellText(int index, int col) const
{
    if (index < 0 || index >= RecordCount())
        return {};
    const structLeser& r = Store()->Get_Ptr_To_tblLeser()->Get_Leser(index);
    switch (col) {
    case ColPosition: return QString::number(r.Position);
    case ColChanged: return QString::number(r.Changed);
    case ColModel: return Text(14) + QStringLiteral(": ") + r.Model;
    case ColName: return r.Name;
    case ColIdentity: return r.Identity;
    case ColInfo: return r.Info;
    case ColButton: return Text(59);
    default: return {};
    }
}

bool CLeserDlg::IsColumnReadOnly(int col) const
{
    return col == ColPosition || col == ColChanged || col == ColModel || col == ColIdentity || col == ColInfo;
}

std::vector<int> CLeserDlg::DefaultColumnWidths() const
{
    return {30, 45, 80, 155, 130, 50, 80};
}

CGridCtrl::ColumnFit CLeserDlg::ColumnFitOf(int col) const
{
    return col == ColName || col == ColInfo ? CGridCtrl::ColumnFit::FreeText : CGridCtrl::ColumnFit::Whole;
}

QColor CLeserDlg::CellBackground(int row, int col) const
{
    if (col == ColButton && row >= 1 && row <= RecordCount()
        && ReaderModel::Decide(Store()->Get_Ptr_To_tblLeser()->Get_Leser(row - 1).Model, -1) == ReaderModel::Alder)
        return ReadOnlyColour();
    if ((col == ColName || col == ColChanged) && row >= 1 && row <= RecordCount() && Store()->Get_Ptr_To_tblLeser()->Get_Leser(row - 1).Changed == 1)
        return PendingColour();   // changes not written yet
    return CGridBaseDlg::CellBackground(row, col);
}

// ---------------------------------------------------------------- rename

void CLeserDlg::EndEdit(int row, int col, const QString& text)
{
    if (col != ColName || row < 1 || row > RecordCount() || RefuseName(text))
        return;
    ReaderDeletion::RenameReader(*Store(), row - 1, text, Tree());
    Grid()->Refresh();
}

// ---------------------------------------------------------------- context menu

std::vector<CGridBaseDlg::MenuItem> CLeserDlg::ContextMenuItems(int row, int col)
{
    Q_UNUSED(col)
    const bool dataRow = row >= 1 && row <= RecordCount();
    m_nSelectedRow = dataRow ? row - 1 : -1;
    m_bIdentityOk = false;
    if (dataRow) {
        const structLeser& r = Store()->Get_Ptr_To_tblLeser()->Get_Leser(row - 1);
        m_nModel = ReaderModel::Decide(r.Model, m_nModel);
        m_strSelectedName = r.Name;
        m_nSelectedReaderID = r.ID;
        if (CSerialLink* link = Link())
            m_bIdentityOk = ReaderIdentity::CheckReaderIdentity(*link, r.Model, r.Identity);
    } else {
        m_nModel = ReaderModel::Cedar;
        m_strSelectedName.clear();
        m_nSelectedReaderID = 0;
    }

    const size_t selected = std::min<size_t>(SelectedIndices().size(), 2);
    const bool anySelected = selected > 0;
    CSerialLink* link = Link();
    const bool deskBirchConnected = link && link->m_nInterfaceType.load() == 0;
    const bool exchange = anySelected && dataRow && m_nModel != ReaderModel::Alder
        && (m_bIdentityOk || (m_nModel == ReaderModel::Birch && deskBirchConnected));

    return {
        {CmdInsert, QStringLiteral("actionInsertEntry"), 61, true},
        {CmdDelete, QStringLiteral("actionDeleteEntry"), selected >= 2 ? 67u : 62u, anySelected},
        {CmdDeleteAll, QStringLiteral("actionDeleteAllEntries"), 63, RecordCount() > 0},
        {CmdReadEvents, QStringLiteral("actionReadEvents"), 156, anySelected && m_bIdentityOk},
        {CmdDeleteReaderEvents, QStringLiteral("actionDeleteReaderEvents"), 157, anySelected && m_bIdentityOk},
        {CmdFetchAll, QStringLiteral("actionFetchAllData"), 158, exchange},
        {CmdWriteAll, QStringLiteral("actionWriteAllData"), 159, exchange},
        {CmdCompare, QStringLiteral("actionCompareWithDatabase"), 340, anySelected && m_bIdentityOk},
    };
}

void CLeserDlg::OnCommand(int command)
{
    if (OpenDeskReaderTransfer(command))
        return;
    switch (command) {
    case CmdInsert:
        InsertReader();
        break;
    case CmdDelete:
        DeleteReaders();
        break;
    case CmdDeleteAll:
        DeleteAllReaders();
        break;
    // A Birch or Alder went to its transfer dialog above: these are the bus readers'.
    case CmdFetchAll:
        FetchAllData();
        break;
    case CmdWriteAll:
        QMetaObject::invokeMethod(this, &CLeserDlg::StartWriteAll, Qt::QueuedConnection);
        break;
    case CmdReadEvents:
        ReadEvents();
        break;
    case CmdDeleteReaderEvents:
        DeleteEventsInReader();
        break;
    case CmdCompare:
        if (Link() && m_nIdle)
            CCompareDlg::CompareAndShow(*Link(), *Store(), Language(), m_strSelectedName, m_nModel, this);
        Grid()->Refresh();   // the comparison reloaded the reader list
        break;
    default:
        CGridBaseDlg::OnCommand(command);
        break;
    }
}

// ---------------------------------------------------------------- commands

void CLeserDlg::InsertReader()
{
    // No blank row: the reader that is plugged in is registered once the link is up again.
    m_bRegisterRequest = 1;
    IReaderTree* tree = Tree();
    if (!tree)
        return;
    tree->SetRegisterOnConnect(1);
    CSerialLink* link = Link();
    if (link && link->m_nPortOpen.load() == 1)
        tree->CloseComPort();
    tree->StartConnectWorker();
}

void CLeserDlg::DeleteReaders()
{
    std::vector<int> indices = SelectedIndices();
    if (indices.empty())
        return;
    {
        BusyScope busy(this);
        ReaderDeletion::DeleteReaders(*Store(), indices, Tree());
    }
    RefreshAfterDelete();
}

void CLeserDlg::DeleteAllReaders()
{
    {
        BusyScope busy(this);
        ReaderDeletion::DeleteAllReaders(*Store(), Tree());
    }
    RefreshAfterDelete();
}

void CLeserDlg::RefreshAfterDelete()
{
    Grid()->ResetSortColumnColour();
    Grid()->ClearSelection();
    Grid()->SetRowCount(RecordCount() + 1);
    Grid()->Refresh();
}

void CLeserDlg::OnButton(int row, int col)
{
    if (col != ColButton || row < 1 || row > RecordCount())
        return;
    const structLeser reader = Store()->Get_Ptr_To_tblLeser()->Get_Leser(row - 1);
    const int model = ReaderModel::Decide(reader.Model, -1);
    if (model == ReaderModel::Alder)
        return;   // an Alder has no parameters of its own to edit (its button is grey)
    if (model == ReaderModel::Birch) {
        CParamBirchDlg dlg(ParamContext(), reader, this);
        dlg.exec();
    } else {
        CParamMaple_CedarDlg dlg(ParamContext(), reader, this);
        dlg.exec();
    }
}

ParamSupport::Context CLeserDlg::ParamContext()
{
    ParamSupport::Context ctx;
    ctx.lang = Language();
    ctx.store = Store();
    ctx.link = Link();
    ctx.refreshReaders = [this] { Grid()->Refresh(); };
    return ctx;
}

// The desk readers keep their transponders in numbered slots: fetching and writing all data
// both go through the send dialog, which shows what the reader holds and what it shall hold.
bool CLeserDlg::OpenDeskReaderTransfer(int command)
{
    if ((command != CmdFetchAll && command != CmdWriteAll)
        || (m_nModel != ReaderModel::Birch && m_nModel != ReaderModel::Alder))
        return false;
    CSendBirchDlg dlg(ParamContext(), command == CmdWriteAll ? CSendBirchDlg::SendMode : CSendBirchDlg::TakeOverMode,
                      m_nSelectedReaderID, this);
    dlg.exec();
    Grid()->Refresh();
    return true;
}

// ---------------------------------------------------------------- fetch all, write all

void CLeserDlg::EndProgress()
{
    if (m_progress)
        m_progress->Destroy();
    m_progress = nullptr;
}

void CLeserDlg::FetchAllData()
{
    if (!Store())
        return;
    std::optional<BusyScope> busy(std::in_place, this);
    CFetchAllRun run(Link(), *Store(), Language());
    connect(&run, &CFetchAllRun::ProgressStarted, this, [this](const QString& label, int maximum) {
        EndProgress();
        m_progress = new CDataProgressDlg(Language());
        m_progress->SetRange(0, maximum);
        m_progress->SetText(label);
    });
    connect(&run, &CFetchAllRun::Progress, this, [this](int position) {
        if (m_progress)
            m_progress->SetPos(position);
    });
    // The end message comes without the wait cursor.
    connect(&run, &CFetchAllRun::ProgressEnded, this, [this, &busy] {
        EndProgress();
        busy.reset();
    });
    run.Run(m_strSelectedName);
    busy.reset();
    EndProgress();
    Grid()->Refresh();
}

void CLeserDlg::StartWriteAll()
{
    CSerialLink* link = Link();
    if (!Store() || !link || m_writeRun)
        return;
    WriteAll::Plan plan = WriteAll::Prepare(*Store(), m_strSelectedName, m_nModel);
    if (!WriteAll::CheckCapacity(plan, Language()))
        return;
    m_writeRun = std::make_unique<CWriteAllRun>(*link, *Store(), Language(), std::move(plan));
    EndProgress();
    m_progress = new CDataProgressDlg(Language());
    m_progress->SetRange(0, m_writeRun->Total());
    m_progress->SetText(QLatin1Char('\n') + Text(184));
    connect(m_writeRun.get(), &CWriteAllRun::Progress, this, [this](int position) {
        if (m_progress)
            m_progress->SetPos(position);
    });
    connect(m_writeRun.get(), &CWriteAllRun::LabelChanged, this, [this](const QString& text) {
        if (m_progress)
            m_progress->SetText(text);
    });
    connect(m_writeRun.get(), &CWriteAllRun::Finished, this, &CLeserDlg::OnWriteAllFinished, Qt::QueuedConnection);
    m_bStop = 0;
    if (!m_writeRun->Start()) {
        EndProgress();
        m_writeRun.reset();
        return;
    }
    m_nIdle = 0;
}

void CLeserDlg::OnWriteAllFinished(int written)
{
    if (m_progress)
        m_progress->hide();
    m_nIdle = 1;
    // The reader cache has been reloaded by now: the Changed column shows the new state.
    Grid()->Refresh();
    Prompt().ShowMessage(WriteAll::EndText(Language(), written));
    EndProgress();
    if (m_writeRun)
        m_writeRun.release()->deleteLater();
}

// ---------------------------------------------------------------- events in the reader

void CLeserDlg::ReadEvents()
{
    if (!m_nIdle)
        return;   // one run at a time
    CReadEventsDlg dlg(Language(), this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_bReadToPointer = dlg.ReadToPointer() ? 1 : 0;
    m_bDateFilter = dlg.DateFilter() ? 1 : 0;
    m_strFromDate = dlg.FromDate();
    m_strToDate = dlg.ToDate();
    QMetaObject::invokeMethod(this, &CLeserDlg::StartEventReading, Qt::QueuedConnection);
}

void CLeserDlg::StartEventReading()
{
    CSerialLink* link = Link();
    if (!link || !Store() || !m_nIdle)
        return;
    EventReadRequest request = EventReadRequestFor(*Store()->Get_Ptr_To_tblLeser(), m_strSelectedName, m_nModel);
    request.readToPointer = m_bReadToPointer != 0;
    request.dateFilter = m_bDateFilter != 0;
    request.fromDate = m_strFromDate;
    request.toDate = m_strToDate;

    if (!m_eventRun) {
        m_eventRun = std::make_unique<CEventReadRun>(*link, *Store(), Language());
        connect(m_eventRun.get(), &CEventReadRun::LastEventKnown, this, [this](int last) {
            if (m_progress)
                m_progress->SetRange(0, last & 0xFFFF);
        });
        connect(m_eventRun.get(), &CEventReadRun::Progress, this, [this](int position) {
            if (m_progress)
                m_progress->SetPos(position);
        });
        connect(m_eventRun.get(), &CEventReadRun::Finished, this, &CLeserDlg::OnEventReadingEnd);
    }
    // Shown at once: the event pointer is asked for on the worker, and a reader that does not
    // answer takes a few seconds to give up. The bar runs idle until the range is known.
    EndProgress();
    m_progress = new CDataProgressDlg(Language());
    m_progress->SetText(QStringLiteral("\n") + Text(188) + QStringLiteral("\n") + Text(189));
    m_progress->SetRange(0, 0);

    m_bStop = 0;
    if (m_eventRun->Start(request))
        m_nIdle = 0;
}

void CLeserDlg::OnEventReadingEnd(const EventReadResult& result)
{
    EndProgress();
    m_nIdle = 1;
    CEventReadRun::Report(result, Language());
}

void CLeserDlg::DeleteEventsInReader()
{
    CSerialLink* link = Link();
    IReaderTree* tree = Tree();
    if (!link || !tree)
        return;
    // Not connected yet: the link starts connecting and that is all this time.
    if (tree->StartConnectWorker() == 0)
        return;
    if (!Store() || ReaderRuns::RefuseIfActive(Text(303)))
        return;   // a run talks on the port and stores events of its own
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const int pointer = ReaderEvents::ReadEventPointer(*link);
    QGuiApplication::restoreOverrideCursor();
    if (pointer < 0) {
        ShowError(Text(141));
        return;
    }
    if (pointer == EventDecoding::kPointerEmpty) {
        ShowInfo(Text(190));
        return;
    }
    // The user agrees to delete what the reader holds now; events recorded after the question
    // keep the memory as it is.
    if (!AskDestructive(Text(300).replace(QLatin1String("%1"), QString::number(pointer + 1))))
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const ReaderEvents::ClearResult result = ReaderEvents::ClearIfPointerIs(*link, *Store(), pointer);
    QGuiApplication::restoreOverrideCursor();
    ReaderEvents::ReportClear(result, Language());
}

// ---------------------------------------------------------------- registration

void CLeserDlg::OnReaderOnline()
{
    IReaderTree* tree = Tree();
    const bool linkAsked = tree && tree->RegisterOnConnect();
    if (!m_bRegisterRequest && !linkAsked)
        return;
    m_bRegisterRequest = 0;
    if (tree)
        tree->SetRegisterOnConnect(0);
    CSerialLink* link = Link();
    if (!link || !Store())
        return;

    // The rows as the user sees them, so that "the first row with that name" is the first
    // one on screen also when the table is sorted.
    std::vector<ReaderRegistration::Row> rows;
    std::vector<int> ownerRows;
    CtblLeser* tbl = Store()->Get_Ptr_To_tblLeser();
    for (int display = 1; display <= RecordCount(); ++display) {
        const int owner = Grid()->OwnerRowAt(display);
        if (owner < 1 || owner > tbl->GetAnz_Leser())
            continue;
        const structLeser& r = tbl->Get_Leser(owner - 1);
        rows.push_back({r.Name, r.Model, r.Identity});
        ownerRows.push_back(owner);
    }

    const auto choose = [this](const QStringList& names, const QString& extra) {
        return CChooseReaderDlg::Choose(Language(), names, extra, this);
    };
    const ReaderRegistration::Result result =
        ReaderRegistration::RegisterConnectedReader(*link, *Store(), rows, choose);

    switch (result.outcome) {
    case ReaderRegistration::Result::Recognised:
        Grid()->SelectRow(ownerRows[size_t(result.row)]);
        break;
    case ReaderRegistration::Result::Added:
        Grid()->SetRowCount(RecordCount() + 1);
        Grid()->Refresh();
        Grid()->EnsureRowVisible(RecordCount());
        if (result.addToTree && tree)
            tree->AddReaderNodes(result.record.Name);
        break;
    default:
        break;
    }
}
