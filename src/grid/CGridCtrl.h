#pragma once
// The editable grid every table view uses: a QTableView in virtual mode over a source
// (IGridSource) that the owning view implements. The grid stores no cell text; it asks the
// source for texts and colours whenever it paints, sorts, prints or opens an editor.
//
// Numbering follows the owner's (see IGridSource.h): row 0 is the header row, data rows are
// 1..n; column 0 is the narrow fixed column, data columns are 1..m. Counts passed to
// SetRowCount / SetColumnCount include row 0 / column 0. Every row number going in or out of the
// public interface is an owner row: when the user sorts by a header, the grid only changes which
// owner row is shown at which display row, so the owner keeps addressing records by its own
// row numbers (row r is the record whose Position column reads r).
//
// Shape: the horizontal header is row 0, the vertical header is column 0; data columns are the
// model's columns. A double click on a header title cycles the sort of that column
// (ascending, descending, unsorted; another column starts at ascending) and colours the title.
// Cell kinds are set per column: text (line edit), check box ("1"/"0", toggled by a click or
// the space key), combo box (a fixed list of entries per column) and button.
//
// The owner learns of changes through signals: EndEdit (row, column, new text) for every edit
// that was committed — text, combo and check box alike — and the click notifications. EndEdit
// and ButtonClicked are delivered from the event loop after the input event has been handled,
// so the owner may refill or resize the grid from its slot.
//
// Sizes the user changes are written to the grid layout file when the owner gave the store
// (SetLayoutStore); ApplyLayout reads them back. FitColumns widens what is too narrow for the
// font in use; a column the user drags narrower than that snaps back to its minimum.
#include "grid/CGridModel.h"

#include <QColor>
#include <QRegularExpression>
#include <QStringList>
#include <QTableView>
#include <functional>
#include <vector>

class CDialogSetup;
class CGridDelegate;
class CGridHeader;
class IGridSource;
class QPrinter;

class CGridCtrl : public QTableView, private IGridModelHost {
    Q_OBJECT
public:
    enum class CellKind { Text, Check, Combo, Button };
    // What a column must show whole. Whole: its title and every cell (numbers, dates, times,
    // codes). FreeText: its title; the cells are free texts (names) that may end in "…" with
    // the whole text as tooltip. FreeTitle: its cells; the title is itself data (a reader's
    // name) that may be cut, with the whole title as tooltip.
    enum class ColumnFit { Whole, FreeText, FreeTitle };
    enum SortStep { SortNone = 0, SortAscending = 1, SortDescending = 2 };

    explicit CGridCtrl(QWidget* parent = nullptr);
    ~CGridCtrl() override;

    // The owner answering text and colour requests; it must outlive the grid or be reset to
    // nullptr first. Without a source every cell is empty.
    void SetSource(IGridSource* source);
    IGridSource* Source() const { return m_source; }

    // Counts include the header row / column 0. A change of the row count clears the selection
    // and, while a column is sorted, sorts the new rows again; the same count only repaints and
    // keeps the row order, so a row does not jump away under the user after an edit (Resort
    // sorts again on request).
    void SetRowCount(int rows);
    int RowCount() const { return m_dataRows + 1; }
    void SetColumnCount(int cols);
    int ColumnCount() const { return m_dataCols + 1; }

    void SetColumnKind(int col, CellKind kind, const QStringList& comboEntries = {});
    CellKind ColumnKind(int col) const;
    QStringList ComboEntries(int col) const;
    // A text cell of this column only accepts input matching the expression (empty: any).
    void SetColumnValidator(int col, const QRegularExpression& expression);
    QRegularExpression ColumnValidator(int col) const;

    void SetColumnFit(int col, ColumnFit fit);
    ColumnFit GetColumnFit(int col) const;
    // Widens every shown column to what its title and cells need in the current fonts (see
    // ColumnFit), the header row to its wrapped titles and the rows to the font's height.
    // None of these sizes is written to the layout file: they follow the font, not the user.
    void FitColumns();
    // The least width FitColumns found for a column; 0 before the first fit.
    int ColumnMinimumWidth(int col) const;

    // Sizes in pixels. SetColumnWidth(0, w) sets the fixed column; a width of 0 hides a column
    // without removing it. SetRowHeight applies to every data row.
    void SetColumnWidth(int col, int width);
    int ColumnWidth(int col) const;
    void SetHeaderHeight(int height);
    int HeaderHeight() const;
    void SetRowHeight(int height);
    int RowHeight() const;

    // Colour of the area outside the cells (RGB 220,220,220 by default), of the header row and
    // fixed column, and of a data cell for which the source gives no colour.
    void SetGridBackground(const QColor& colour);
    QColor GridBackground() const { return m_gridBackground; }
    void SetFixedCellColour(const QColor& colour);
    QColor FixedCellColour() const { return m_fixedColour; }
    void SetDefaultCellColour(const QColor& colour);
    QColor DefaultCellColour() const { return m_cellColour; }

    // The source's text of a cell (owner numbering); empty outside the grid.
    QString CellText(int row, int col) const override;
    // The full text of a cell when it does not fit its cell, else empty: what the tooltip shows.
    QString CellToolTip(int row, int col) const;
    // Cell under a point of the viewport as (x = column, y = owner row); (-1, -1) outside.
    QPoint CellAt(const QPoint& viewportPos) const;

    // Sorting. SortColumn() is -1 when no column was sorted; SortStep() is a SortStep value.
    void SetHeaderSortEnabled(bool enabled) { m_headerSort = enabled; }
    bool HeaderSortEnabled() const { return m_headerSort; }
    void SetSort(int col, int step);
    int SortColumn() const { return m_sortColumn; }
    int SortStep() const { return m_sortStep; }
    // Ends any sort: original row order, the sorted title gets its default colour again.
    void ResetSortColumnColour();
    // Sorts again by the current sort column (after the owner changed the column's texts).
    void Resort();
    // Background of a title cell: light yellow ascending, light cyan descending, else default.
    QColor HeaderBackground(int col) const;
    // Mapping between owner rows and display rows (both from 1); -1 when out of range.
    int DisplayRowOf(int ownerRow) const;
    int OwnerRowAt(int displayRow) const;

    // Selection of whole rows, in owner numbering, ascending.
    QList<int> SelectedRows() const;
    // Makes the row the only selected one and scrolls to it.
    void SelectRow(int row);
    void SetRowSelected(int row, bool selected);
    void ClearSelection();
    void EnsureRowVisible(int row);

    // Repaints every cell from the source.
    void Refresh();
    // Opens the in-place editor of a text or combo cell; false when the cell can't be edited.
    bool EditCell(int row, int col);
    // Whether a cell editor is open.
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }
    // Opens the combo box's list right away when its editor opens (on by default).
    void SetComboPopupOnEdit(bool on) { m_comboPopup = on; }
    bool ComboPopupOnEdit() const { return m_comboPopup; }

    // Resizes by the user are stored under (dialogId, gridId) in the layout file; ApplyLayout
    // sets the stored header height, row height and column widths that are above 0.
    void SetLayoutStore(CDialogSetup* store, const QString& dialogId,
                        const QString& gridId = QStringLiteral("0"));
    void ApplyLayout();

    // Prints the table (header row and all data rows in display order, without the fixed
    // column and columns of width 0), scaled to the page width, titles repeated on every page.
    bool PrintTo(QPrinter* printer) const;
    // Asks for a printer with the platform's print dialog, then prints; false when cancelled.
    bool Print();
    // Replaces the print dialog (tests): the hook sets up the printer and returns whether to
    // print. An empty hook restores the dialog.
    using PrintDialogHook = std::function<bool(QPrinter&)>;
    static void SetPrintDialogHook(PrintDialogHook hook);

signals:
    void EndEdit(int row, int col, const QString& text);
    void CellClicked(int row, int col);
    void CellDoubleClicked(int row, int col);
    // row -1 / col -1 when the click was outside the cells.
    void CellRightClicked(int row, int col, const QPoint& globalPos);
    void ButtonClicked(int row, int col);
    void HeaderDoubleClicked(int col);
    void SortChanged(int col, int step);
    void RowSelectionChanged();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class CGridDelegate;
    friend class CGridHeader;

    struct ColumnInfo {
        CellKind kind = CellKind::Text;
        QStringList entries;
        QRegularExpression validator;
        ColumnFit fit = ColumnFit::Whole;
        int minWidth = 0;
    };

    // Model index (0-based display row, 0-based data column) <-> owner numbering.
    int OwnerRowOfIndex(int displayIndex) const override;
    int DisplayIndexOfOwner(int ownerRow) const override;
    QColor CellFill(int row, int col) const override;
    QColor CellInk(int row, int col) const override;
    bool IsTextEditable(int row, int col) const override;
    void CommitEdit(int row, int col, const QString& text) override;
    QModelIndex IndexOf(int ownerRow, int col) const;
    const ColumnInfo* Column(int col) const;
    bool IsEditable(int ownerRow, int col) const;

    // Reports a committed edit after the current event has been handled.
    void PostEndEdit(int ownerRow, int col, const QString& text);
    void PostButtonClicked(int ownerRow, int col);
    void ToggleCheck(const QModelIndex& index);
    void ComputeOrder();
    void ApplyOrder();
    void OnHeaderDoubleClicked(int section);
    void OnColumnResized(int section, int oldSize, int newSize);
    void OnRowResized(int section, int oldSize, int newSize);
    void OnHeaderHeightDragged(int height);
    void ApplyRowHeight(int height);
    // What FitColumns asks of a column: the title's widest word (titles wrap at blanks) with
    // the header's margins; a cell's text in the cell font with the cell's margins; the widest
    // cell of the column.
    int TitleWidthNeeded(const QString& title) const;
    int CellWidthNeeded(int col, const QString& text) const;
    int WidestCellNeeded(int col) const;

    IGridSource* m_source = nullptr;
    CGridModel* m_model = nullptr;
    CGridDelegate* m_delegate = nullptr;
    CGridHeader* m_header = nullptr;
    CGridHeader* m_rowHeader = nullptr;
    int m_dataRows = 0;
    int m_dataCols = 0;
    std::vector<ColumnInfo> m_columns;   // index = owner column, [0] unused
    int m_col0Width = 10;
    int m_rowHeight = 18;
    int m_headerHeight = 30;

    QColor m_gridBackground{220, 220, 220};
    QColor m_fixedColour{240, 240, 240};
    QColor m_cellColour{255, 255, 255};

    bool m_headerSort = true;
    int m_sortColumn = -1;
    int m_sortStep = SortNone;
    std::vector<int> m_order;     // display index -> owner data index; empty: unsorted
    std::vector<int> m_inverse;   // owner data index -> display index

    bool m_comboPopup = true;
    int m_programmatic = 0;       // > 0 while the grid itself changes sizes: not stored
    CDialogSetup* m_store = nullptr;
    QString m_dialogId;
    QString m_gridId;
};
