#pragma once
// The common base of the table views in the right-hand pane (readers, transponders, persons,
// time schedules, events). It owns the grid and does what every table does alike: grid set-up,
// column layout from the layout file, the display callback, selection to list indices, header
// sorting (the grid cycles it), the context menu and the insert / delete / delete-all pattern.
//
// A view supplies its columns (ColumnCount, ColumnTitle, RecordCellText), its fill, its record
// count and the store calls of the change pattern. Rows follow the owner numbering of the grid:
// data row r shows the record at list index r - 1, and column 1 shows its Position.
//
// Every view is made with the same context and shown with Load(filter):
//     auto* view = new CTransponderDlg(ctx, parent);
//     view->Load(readerId);          // 0 = all readers
#include "grid/CGridCtrl.h"
#include "grid/IGridSource.h"
#include "records/RecordOps.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class CDialogSetup;
class CLanguageHandler;
class IReaderTree;
class CStoreDB_Handler;
class QMenu;

// What every table view gets at construction: plain pointers, owned elsewhere.
struct ViewContext {
    CLanguageHandler* lang = nullptr;
    CStoreDB_Handler* store = nullptr;
    CDialogSetup* layout = nullptr;   // grid layout file; may be null (no layout kept)
    IReaderTree* tree = nullptr;      // the reader tree with the link; may be null in tests
};

class CGridBaseDlg : public QWidget, public IGridSource {
    Q_OBJECT
public:
    // The commands every table's context menu may carry.
    enum Command { CmdInsert = 32785, CmdDelete = 32786, CmdDeleteAll = 32787 };

    // Background of cells the user cannot change.
    static QColor ReadOnlyColour() { return QColor(185, 185, 185); }

    // dialogId: the view's name in the layout file (two digits, e.g. "02"); gridCtrlId: the
    // grid's control number (1003 readers, 1005 transponders, 1004 persons, 1006 schedules,
    // 1001 events), kept as the grid's object name so tests can find it.
    CGridBaseDlg(const ViewContext& ctx, const QString& dialogId, int gridCtrlId, QWidget* parent = nullptr);
    ~CGridBaseDlg() override;

    // ---- the show operation: store the reader (or schedule) filter, refill from the cache ----
    virtual void Load(int filter);
    int Filter() const { return m_filter; }

    // ---- operations of the base, overridable ----
    // Creates the grid (first call) or sets its row count (count includes the header row).
    virtual void CreateGrid(int rows);
    // Re-reads the column titles after a language change.
    virtual void RefreshColumnTitles();
    // Sets up the columns and the row count from the current cached list. The base version
    // makes RecordCount() + 1 rows, ColumnCount() + 1 columns and the default widths.
    virtual void Fill();
    // A committed edit of a cell; the base ignores it (the event table has no edits).
    virtual void EndEdit(int row, int col, const QString& text);

    // ---- what each view answers ----
    virtual int ColumnCount() const = 0;                       // data columns, without column 0
    virtual QString ColumnTitle(int col) const = 0;            // col from 1
    virtual int RecordCount() const = 0;                       // records shown (data rows)
    virtual QString RecordCellText(int index, int col) const = 0;   // index = row - 1
    virtual bool IsColumnReadOnly(int col) const { Q_UNUSED(col) return false; }
    // Default widths by column (index 0 = column 1); columns beyond the list keep theirs.
    virtual std::vector<int> DefaultColumnWidths() const { return {}; }
    // What a column must show whole: by default its title and all its cells (numbers, dates,
    // codes); views name their free-text columns (names) and their reader columns.
    virtual CGridCtrl::ColumnFit ColumnFitOf(int col) const { Q_UNUSED(col) return CGridCtrl::ColumnFit::Whole; }

    // Display callback of the grid: titles for row 0, record texts for data rows, nothing
    // for column 0 or an empty table. Read-only cells are grey.
    QString CellText(int row, int col) const override;
    QColor CellBackground(int row, int col) const override;
    bool IsCellEditable(int row, int col) const override;

    // ---- messages from the link, handed on by the tree view ----
    // A reader has come online: the reader table registers it (the others ignore it).
    virtual void OnReaderOnline() {}
    // A transponder number was seen: the transponder table takes it (the others ignore it).
    virtual void OnTransponderSeen(const QString& number) { Q_UNUSED(number) }

    // ---- selection ----
    // List indices (Position - 1) of the selected rows, ascending.
    std::vector<int> SelectedIndices() const;

    // ---- context menu ----
    struct MenuItem {
        int command = 0;
        QString objectName;   // e.g. "actionInsertEntry"
        uint32_t textNo = 0;  // language text of the label
        bool enabled = true;
    };
    // The items for a right click on (row, col); the base offers insert, delete (when rows are
    // selected) and delete all (when there are records). Views relabel or extend them.
    virtual std::vector<MenuItem> ContextMenuItems(int row, int col);
    // Builds the menu (parented to this view): one QAction per item, its object name, its
    // label in the current language, its enabled flag, and the command number as data.
    QMenu* BuildContextMenu(const std::vector<MenuItem>& items);
    // Runs a menu command. The base handles insert, delete and delete all.
    virtual void OnCommand(int command);
    // The menu shown by the last right click (tests look into it); null before.
    QMenu* LastContextMenu() const { return m_lastMenu; }
    // Shows the context menu for a cell at a screen point. Tests switch the popup off and
    // trigger the actions of LastContextMenu() themselves.
    void ShowContextMenu(int row, int col, const QPoint& globalPos);
    static void SetContextMenuPopupEnabled(bool enabled);
    int LastRightClickIndex() const { return m_rightClickIndex; }

    // Reads every cached list of the store again and shows the view anew with its filter, so
    // that changes another workstation made to a shared database appear. Bound to F5 (the
    // action "actionRefreshView"); nothing happens while a delete runs.
    virtual void RefreshFromStore();
    // Another connection changed tables: KeepPlace() before their lists are read again notes
    // the current record and cell, the selected records and the scroll position (records by ID
    // where the view knows it, by place otherwise); FollowReload() afterwards shows the lists
    // with the view's filter and widths and puts all that back.
    void KeepPlace();
    virtual void FollowReload(const QStringList& tables);
    // A cell editor is open or a delete runs: a notice waits, so nothing moves under the user.
    bool HoldsNotices() const;

    // ---- the change pattern ----
    void InsertEntry();          // one record with the defaults, then refill and scroll down
    void DeleteEntries();        // the selected records, after the view's question
    void DeleteAllEntries();     // every record, after the view's question

    // Texts of the pattern, by number (0 = no text / question skipped).
    struct ChangeTexts {
        uint32_t confirmOne = 0;      // delete one record?
        uint32_t confirmMany = 0;     // delete several records?
        uint32_t notFound = 0;        // the record was not found by ID
        uint32_t removeFailed = 0;    // the cached record could not be removed
        uint32_t confirmAll = 64;     // delete all entries?
    };
    virtual ChangeTexts ChangeTextNumbers() const { return {}; }

    // Store calls of the pattern. Each view implements them with the record-change helpers of
    // records/RecordOps.h, cascades included. NotFound makes the base show the view's text and
    // go on with the next record; OpenFailed and StoreError (already shown by the helpers) end
    // the operation. The base runs the deletes of a selection in one CStoreTransaction, so a
    // failure leaves every selected record in place.
    virtual RecordResult AddDefaultRecord() { return RecordResult::OpenFailed; }
    virtual int RecordIdAt(int index) const { Q_UNUSED(index) return 0; }
    virtual RecordResult DeleteRecordById(int id) { Q_UNUSED(id) return RecordResult::OpenFailed; }
    // Takes the deleted records out of the cached list in one pass (RemoveIds); the number removed.
    virtual int RemoveCachedIds(const std::vector<int32_t>& ids) { Q_UNUSED(ids) return 0; }
    virtual RecordResult DeleteAllRecords() { return RecordResult::OpenFailed; }
    virtual void RemoveAllCached() {}                                      // RemoveAllData
    virtual int RequeryCache() { return 1; }                               // _Requery

    // ---- flags ----
    int Busy() const { return m_busy; }
    void SetBusy(int busy) { m_busy = busy; }
    int KeepWidths() const { return m_keepWidths; }
    void SetKeepWidths(int keep) { m_keepWidths = keep; }

    // ---- sort state (the grid cycles it on header double clicks) ----
    int SortColumn() const;
    int SortStep() const;

    // ---- layout ----
    QString DialogId() const { return m_dialogId; }
    static QString GridId() { return QStringLiteral("0"); }
    void ApplyLayout();

    CGridCtrl* Grid() const { return m_grid; }
    CLanguageHandler* Language() const { return m_ctx.lang; }
    CStoreDB_Handler* Store() const { return m_ctx.store; }
    // After a database restore the application makes a new store handler.
    void SetStoreHandler(CStoreDB_Handler* store) { m_ctx.store = store; }
    CDialogSetup* Layout() const { return m_ctx.layout; }
    IReaderTree* Tree() const { return m_ctx.tree; }
    const ViewContext& Context() const { return m_ctx; }
    QString Text(uint32_t number) const;
    // A typed name of a person, time schedule or reader that cannot be stored (IsValidName):
    // says so (text 380), shows the cell's old text again and returns true.
    bool RefuseName(const QString& name);


signals:
    // The right-click menu was built (tests read it before it is shown).
    void ContextMenuBuilt(QMenu* menu);

protected:
    // Sets the default widths unless the keep-widths flag is set.
    void SetDefaultWidths();
    // Refill after a change: row count from the cache, layout applied again, columns fitted.
    void Refill();
    // Widens the columns to their titles and fixed-width contents in the font in use. The
    // widths of the layout file (or the defaults) are the start; what the user dragged wider
    // stays.
    void FitColumns();

    ViewContext m_ctx;
    int m_filter = 0;

private:
    void OnRightClick(int row, int col, const QPoint& globalPos);
    // What identifies the record of a row across a reload: its ID, or minus its place + 1.
    int64_t RowKey(int row) const;
    int RowOfKey(int64_t key) const;

    QString m_dialogId;
    int m_gridCtrlId;
    CGridCtrl* m_grid = nullptr;
    int m_busy = 0;
    int m_keepWidths = 0;
    int m_rightClickIndex = -1;
    QMenu* m_lastMenu = nullptr;
    struct Place {
        bool kept = false;
        int64_t current = 0;
        int currentColumn = 0;
        std::vector<int64_t> selected;
        int top = 0, left = 0;
    } m_place;
};
