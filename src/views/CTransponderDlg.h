#pragma once
// The transponder table: every transponder (or, opened from a reader's node, those assigned to
// that reader) with its person, its time schedule and one tick box per reader. Edits, whole
// reader columns, deleting and capturing numbers seen at the connected reader all go through
// the widget-free TransponderEdits; the view turns grid notifications into those calls and
// repaints from the store's cached lists.
//
// Cells are answered from the caches and their lookups only (the person by TransponderID, the
// schedule by ID, the readers by the column's reader ID), never by a scan per cell. A filtered
// view keeps the IDs of the transponders it shows, never references into the cached list.
#include "records/TransponderEdits.h"
#include "views/CGridBaseDlg.h"

#include <QString>
#include <functional>
#include <vector>

class CSerialLink;

class CTransponderDlg : public CGridBaseDlg {
    Q_OBJECT
public:
    // Columns after the fixed column 0; one reader column per reader from ColFirstReader on.
    enum Column { ColPosition = 1, ColChanged, ColNumber, ColPerson, ColSchedule, ColFirstReader };
    // Commands of the context menu (the base's insert number toggles capture here).
    enum TransponderCommand {
        CmdCapture = CmdInsert,
        CmdAssignedCount = 32834,
        CmdRemoveAllAssignments = 32832,
        CmdAssignAll = 32836,
        CmdEntryDialog = 32840,
    };

    explicit CTransponderDlg(const ViewContext& ctx, QWidget* parent = nullptr);

    // ---- the base's operations ----
    void Load(int readerFilter) override;   // also switches capture off and resets the widths
    void Fill() override;
    void EndEdit(int row, int col, const QString& text) override;
    int ColumnCount() const override;
    QString ColumnTitle(int col) const override;
    int RecordCount() const override;
    QString RecordCellText(int index, int col) const override;
    bool IsColumnReadOnly(int col) const override;
    std::vector<int> DefaultColumnWidths() const override;
    CGridCtrl::ColumnFit ColumnFitOf(int col) const override;
    std::vector<MenuItem> ContextMenuItems(int row, int col) override;
    void OnCommand(int command) override;
    ChangeTexts ChangeTextNumbers() const override { return {69, 68, 75, 76, 64}; }
    int RecordIdAt(int index) const override;
    RecordResult DeleteRecordById(int id) override;
    int RemoveCachedIds(const std::vector<int32_t>& ids) override;
    RecordResult DeleteAllRecords() override;
    void RemoveAllCached() override;

    // ---- capture ----
    // A number the monitor reported while online (handed on by the tree).
    void OnTransponderSeen(const QString& number) override;
    // A number handed to the view as a message: selected, and added when capture is on, but
    // an existing transponder is not given the reader.
    void OnCaptureMessage(const QString& number);
    // 1 while captures are ignored (the state after every show), 0 while they are taken.
    int CaptureIgnored() const { return m_captureIgnored; }
    void ToggleCapture() { m_captureIgnored = m_captureIgnored ? 0 : 1; }
    // The connected reader's answer to the identity query of the last right click.
    QString IdentityText() const { return m_identityText; }

    // ---- whole reader columns (the last right-clicked one from the menu) ----
    void AssignAll(int32_t readerId);
    void RemoveAllAssignments(int32_t readerId);

    // ---- for the entry dialog ----
    // Selects and shows the row of the transponder with this number; false when it is not shown.
    bool SelectNumber(const QString& number);
    // Adds an entered number ("0" as its Readers) and shows its row at once; Exists when the
    // database has it already (its row is shown then).
    TransponderEdits::AddResult AddEnteredNumber(const QString& number);
    // The dialog behind command 32840; the program installs it (the dialog lives in a layer
    // above the views), tests may install their own.
    using EntryDialog = std::function<void(CTransponderDlg&)>;
    void SetEntryDialog(EntryDialog dialog) { m_entryDialog = std::move(dialog); }

    // ---- lookups ----
    int32_t ReaderIdOfColumn(int col) const;   // 0 for any other column
    int ReaderColumnCount() const { return int(m_columnReaders.size()); }
    // Owner row showing this transponder; 0 when it is not shown.
    int RowOfTransponder(int32_t transponderId) const;
    // Rows whose cell in this reader column shows "1".
    int AssignedCount(int col) const;
    int LastRightClickColumn() const { return m_rightClickColumn; }

private:
    const structTransponder* RecordAtRow(int rowIndex) const;   // rowIndex = row - 1
    CSerialLink* Link() const;
    int InterfaceType() const;
    QString ShownScheduleName(const QString& name) const;
    void RefreshIdentity();
    void TakeNumber(const QString& number, bool fromMonitor);
    void RebuildFilter();
    // After records were added or removed: the row count follows the cache, the filter is
    // made again.
    void RowsChanged();

    int m_captureIgnored = 1;
    QString m_identityText;
    std::vector<int32_t> m_columnReaders;   // reader ID of each reader column
    std::vector<int32_t> m_filtered;        // IDs shown while a reader filter is set
    std::vector<int32_t> m_deleteAllIds;    // what a filtered delete-all took out
    int m_rightClickColumn = -1;
    QString m_rightClickReader;             // header text of the last right-clicked reader column
    QString m_countLabel;                   // "<n> transponders assigned" of the last menu
    EntryDialog m_entryDialog;
};
