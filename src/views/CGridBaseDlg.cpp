#include "views/CGridBaseDlg.h"
#include "views/IReaderTree.h"

#include "base/Prompt.h"
#include "records/CStoreDB_Handler.h"
#include "records/ChangeNotice.h"
#include "records/CStoreTransaction.h"
#include "records/ScheduleOps.h"
#include "records/TextOps.h"
#include "base/Settings.h"
#include "texts/CLanguageHandler.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>

namespace {
std::atomic<bool> g_menuPopup{true};
}

CGridBaseDlg::CGridBaseDlg(const ViewContext& ctx, const QString& dialogId, int gridCtrlId, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_dialogId(dialogId), m_gridCtrlId(gridCtrlId)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* refresh = new QAction(this);
    refresh->setObjectName(QStringLiteral("actionRefreshView"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    refresh->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(refresh, &QAction::triggered, this, &CGridBaseDlg::RefreshFromStore);
    addAction(refresh);
}

void CGridBaseDlg::RefreshFromStore()
{
    CStoreDB_Handler* store = m_ctx.store;
    if (m_busy || !store)
        return;
    // Every list, not just the view's own: a view shows names and numbers of the others too
    // (persons beside transponders, reader names in columns and in events).
    CChangeNotice::ReloadTables(store, CChangeNotice::AllTables());
    Load(m_filter);
    if (m_ctx.tree)
        m_ctx.tree->ListsReloaded();
}

bool CGridBaseDlg::HoldsNotices() const
{
    return m_busy || (m_grid && m_grid->IsEditing());
}

int64_t CGridBaseDlg::RowKey(int row) const
{
    bool ok = false;
    const int position = CellText(row, 1).toInt(&ok);
    const int index = ok ? position - 1 : row - 1;
    const int id = RecordIdAt(index);
    return id ? id : -(int64_t(index) + 1);
}

int CGridBaseDlg::RowOfKey(int64_t key) const
{
    for (int row = 1; row <= RecordCount(); ++row)
        if (RowKey(row) == key)
            return row;
    return 0;
}

void CGridBaseDlg::KeepPlace()
{
    m_place = {};
    if (!m_grid)
        return;
    m_place.kept = true;
    const QModelIndex current = m_grid->currentIndex();
    const int currentRow = current.isValid() ? m_grid->OwnerRowAt(current.row() + 1) : 0;
    m_place.current = currentRow > 0 ? RowKey(currentRow) : 0;
    m_place.currentColumn = current.isValid() ? current.column() : 0;
    for (int row : m_grid->SelectedRows())
        m_place.selected.push_back(RowKey(row));
    m_place.top = m_grid->verticalScrollBar()->value();
    m_place.left = m_grid->horizontalScrollBar()->value();
}

void CGridBaseDlg::FollowReload(const QStringList& tables)
{
    Q_UNUSED(tables)
    const Place place = std::exchange(m_place, {});
    const int keepWidths = m_keepWidths;
    m_keepWidths = 1;   // the widths the user set stay
    Refill();
    m_keepWidths = keepWidths;
    if (!m_grid || !place.kept)
        return;
    if (m_grid->SortColumn() >= 1 && m_grid->SortStep() != CGridCtrl::SortNone)
        m_grid->Resort();
    m_grid->ClearSelection();
    for (int64_t key : place.selected)
        if (const int row = RowOfKey(key))
            m_grid->SetRowSelected(row, true);
    if (const int row = place.current ? RowOfKey(place.current) : 0) {
        const int display = m_grid->DisplayRowOf(row);
        if (display > 0)
            m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(display - 1, place.currentColumn),
                                                      QItemSelectionModel::NoUpdate);
    }
    m_grid->verticalScrollBar()->setValue(place.top);
    m_grid->horizontalScrollBar()->setValue(place.left);
}

CGridBaseDlg::~CGridBaseDlg()
{
    // The grid asks its source while it is torn down; it must not reach a half-destroyed view.
    if (m_grid)
        m_grid->SetSource(nullptr);
}

QString CGridBaseDlg::Text(uint32_t number) const
{
    return m_ctx.lang ? m_ctx.lang->GetLangItem(number) : QString();
}

bool CGridBaseDlg::RefuseName(const QString& name)
{
    if (IsValidName(name))
        return false;
    ShowExclamation(Text(380));
    m_grid->Refresh();
    return true;
}

// ---------------------------------------------------------------- grid and filling

void CGridBaseDlg::CreateGrid(int rows)
{
    if (m_grid) {
        m_grid->SetRowCount(rows);
        m_grid->Refresh();
        return;
    }
    m_grid = new CGridCtrl(this);
    m_grid->setObjectName(QString::number(m_gridCtrlId));
    m_grid->setFrameShape(QFrame::StyledPanel);
    layout()->addWidget(m_grid);
    setFocusProxy(m_grid);

    m_grid->SetGridBackground(QColor(220, 220, 220));
    m_grid->SetHeaderHeight(30);
    m_grid->SetRowHeight(18);
    m_grid->SetColumnCount(ColumnCount() + 1);
    m_grid->SetColumnWidth(0, 10);
    m_grid->SetRowCount(rows);
    if (m_ctx.layout)
        m_grid->SetLayoutStore(m_ctx.layout, m_dialogId, GridId());
    m_grid->SetSource(this);

    connect(m_grid, &CGridCtrl::EndEdit, this, [this](int row, int col, const QString& text) {
        EndEdit(row, col, text);
    });
    connect(m_grid, &CGridCtrl::CellRightClicked, this, &CGridBaseDlg::OnRightClick);
    m_grid->show();
}

void CGridBaseDlg::Fill()
{
    CreateGrid(RecordCount() + 1);
    m_grid->SetColumnCount(ColumnCount() + 1);
    SetDefaultWidths();
    m_grid->Refresh();
}

void CGridBaseDlg::SetDefaultWidths()
{
    if (!m_grid || m_keepWidths)
        return;
    const std::vector<int> widths = DefaultColumnWidths();
    for (size_t i = 0; i < widths.size() && int(i) < ColumnCount(); ++i)
        m_grid->SetColumnWidth(int(i) + 1, widths[i]);
}

void CGridBaseDlg::ApplyLayout()
{
    // Columns the layout file does not name keep what the fill gave them.
    if (m_grid && m_ctx.layout)
        m_grid->ApplyLayout();
}

void CGridBaseDlg::Refill()
{
    Fill();
    ApplyLayout();
    FitColumns();
}

void CGridBaseDlg::FitColumns()
{
    if (!m_grid)
        return;
    for (int col = 1; col <= ColumnCount(); ++col)
        m_grid->SetColumnFit(col, ColumnFitOf(col));
    m_grid->FitColumns();
}

void CGridBaseDlg::Load(int filter)
{
    m_filter = filter;
    Refill();
}

void CGridBaseDlg::RefreshColumnTitles()
{
    // The titles are asked for like any cell, so a repaint shows them in the new language.
    if (m_grid)
        m_grid->Refresh();
    FitColumns();
}

void CGridBaseDlg::EndEdit(int, int, const QString&) {}

// ---------------------------------------------------------------- display callback

QString CGridBaseDlg::CellText(int row, int col) const
{
    if (col < 1 || col > ColumnCount())
        return {};
    if (row == 0)
        return ColumnTitle(col);
    if (row < 1 || row > RecordCount())
        return {};
    return RecordCellText(row - 1, col);
}

QColor CGridBaseDlg::CellBackground(int row, int col) const
{
    if (row >= 1 && col >= 1 && IsColumnReadOnly(col))
        return ReadOnlyColour();
    return {};
}

bool CGridBaseDlg::IsCellEditable(int row, int col) const
{
    // Grey means read-only, whichever view made the cell grey and for whatever reason.
    return row >= 1 && row <= RecordCount() && col >= 1 && CellBackground(row, col) != ReadOnlyColour();
}

int CGridBaseDlg::SortColumn() const { return m_grid ? m_grid->SortColumn() : -1; }
int CGridBaseDlg::SortStep() const { return m_grid ? m_grid->SortStep() : 0; }

// ---------------------------------------------------------------- selection

std::vector<int> CGridBaseDlg::SelectedIndices() const
{
    std::vector<int> indices;
    if (!m_grid)
        return indices;
    for (int row : m_grid->SelectedRows()) {
        if (row < 1 || row > RecordCount())
            continue;
        // Column 1 shows Position; the list index is one less.
        bool ok = false;
        const int position = CellText(row, 1).toInt(&ok);
        const int index = ok ? position - 1 : row - 1;
        indices.insert(std::upper_bound(indices.begin(), indices.end(), index), index);
    }
    return indices;
}

// ---------------------------------------------------------------- context menu

void CGridBaseDlg::SetContextMenuPopupEnabled(bool enabled) { g_menuPopup.store(enabled); }

std::vector<CGridBaseDlg::MenuItem> CGridBaseDlg::ContextMenuItems(int, int)
{
    const size_t selected = SelectedIndices().size();
    return {
        {CmdInsert, QStringLiteral("actionInsertEntry"), 61, true},
        {CmdDelete, QStringLiteral("actionDeleteEntry"), selected >= 2 ? 67u : 62u, selected > 0},
        {CmdDeleteAll, QStringLiteral("actionDeleteAllEntries"), 63, RecordCount() > 0},
    };
}

QMenu* CGridBaseDlg::BuildContextMenu(const std::vector<MenuItem>& items)
{
    if (m_lastMenu)
        m_lastMenu->deleteLater();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("contextMenu"));
    for (const MenuItem& item : items) {
        QAction* action = menu->addAction(Text(item.textNo));
        action->setObjectName(item.objectName);
        action->setData(item.command);
        action->setEnabled(item.enabled);
        const int command = item.command;
        // Queued, so the command runs after the menu has closed.
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); },
                Qt::QueuedConnection);
    }
    m_lastMenu = menu;
    return menu;
}

void CGridBaseDlg::ShowContextMenu(int row, int col, const QPoint& globalPos)
{
    m_rightClickIndex = row - 1;
    QMenu* menu = BuildContextMenu(ContextMenuItems(row, col));
    emit ContextMenuBuilt(menu);
    if (g_menuPopup.load())
        menu->popup(globalPos);
}

void CGridBaseDlg::OnRightClick(int row, int col, const QPoint& globalPos)
{
    ShowContextMenu(row, col, globalPos);
}

void CGridBaseDlg::OnCommand(int command)
{
    switch (command) {
    case CmdInsert:
        InsertEntry();
        break;
    case CmdDelete:
        DeleteEntries();
        break;
    case CmdDeleteAll:
        DeleteAllEntries();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- change pattern

void CGridBaseDlg::InsertEntry()
{
    if (AddDefaultRecord() != RecordResult::Done)
        return;
    RequeryCache();
    Refill();
    if (m_grid && RecordCount() > 0)
        m_grid->EnsureRowVisible(RecordCount());
}

void CGridBaseDlg::DeleteEntries()
{
    const std::vector<int> indices = SelectedIndices();
    if (indices.empty())
        return;
    const ChangeTexts texts = ChangeTextNumbers();
    const uint32_t question = indices.size() == 1 ? texts.confirmOne : texts.confirmMany;
    if (question && !AskDestructive(Text(question)))
        return;

    m_busy = 1;
    // IDs first: the cached list shifts as records leave it.
    std::vector<int32_t> ids;
    for (int index : indices)
        ids.push_back(RecordIdAt(index));

    // All of the selection is one transaction; the cached list loses the deleted records in one
    // pass afterwards. A record that was not found stays in the list.
    std::vector<int32_t> deleted;
    {
        CStoreTransaction tx(Store());
        bool ok = true;
        for (size_t k = 0; k < ids.size(); ++k) {
            const RecordResult result = DeleteRecordById(ids[k]);
            if (result == RecordResult::NotFound) {
                if (texts.notFound)
                    ShowExclamation(Text(texts.notFound));
                continue;
            }
            if (result != RecordResult::Done) {
                ok = false;
                break;
            }
            deleted.push_back(ids[k]);
        }
        if (tx.Started() && (!ok || !tx.Commit()))
            deleted.clear();   // rolled back: nothing left the table
    }
    if (!deleted.empty() && RemoveCachedIds(deleted) != int(deleted.size()) && texts.removeFailed)
        ShowExclamation(Text(texts.removeFailed));
    if (m_grid)
        m_grid->ClearSelection();
    Refill();
    m_busy = 0;
}

void CGridBaseDlg::DeleteAllEntries()
{
    const ChangeTexts texts = ChangeTextNumbers();
    if (texts.confirmAll && !AskDestructive(Text(texts.confirmAll)))
        return;
    m_busy = 1;
    if (DeleteAllRecords() == RecordResult::Done)
        RemoveAllCached();
    if (m_grid)
        m_grid->ClearSelection();
    Refill();
    m_busy = 0;
}
