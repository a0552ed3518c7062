#pragma once
// The person table: one row per person (or, opened for one reader, per person whose
// transponder is assigned to that reader). Persons are renamed here (a name is used once) and
// given a transponder; the time schedule and the readers of that transponder are shown grey.
//
// Cells come from the store's cached lists through keyed lookups (transponder by ID, schedule
// by head ID), never from a scan per cell. The rules themselves are records/PersonOps.
#include "views/CGridBaseDlg.h"

#include <QString>
#include <vector>

class CNameDlg : public CGridBaseDlg {
    Q_OBJECT
public:
    enum Column { ColPosition = 1, ColName, ColTransponder, ColSchedule, ColFirstReader };

    explicit CNameDlg(const ViewContext& ctx, QWidget* parent = nullptr);

    // ---- the base's operations ----
    void Load(int readerId) override;            // 0 = all persons
    void Fill() override;
    void EndEdit(int row, int col, const QString& text) override;
    int ColumnCount() const override;
    QString ColumnTitle(int col) const override;
    int RecordCount() const override;
    QString RecordCellText(int index, int col) const override;
    bool IsColumnReadOnly(int col) const override;
    std::vector<int> DefaultColumnWidths() const override;
    CGridCtrl::ColumnFit ColumnFitOf(int col) const override;

    // ---- the change pattern ----
    ChangeTexts ChangeTextNumbers() const override { return {69, 68, 77, 78, 64}; }
    RecordResult AddDefaultRecord() override;
    int RecordIdAt(int index) const override;
    RecordResult DeleteRecordById(int id) override;
    int RemoveCachedIds(const std::vector<int32_t>& ids) override;
    RecordResult DeleteAllRecords() override;
    void RemoveAllCached() override;
    void OnCommand(int command) override;
    std::vector<MenuItem> ContextMenuItems(int row, int col) override;

    // The person shown in a data row (row from 1); null outside.
    const structPerson* PersonInRow(int row) const;

private:
    // List index of the person shown at data index i (filter mode keeps a subset).
    int ListIndex(int i) const;
    // After a store error: the lists again from the database, then the grid.
    void ReloadFromDatabase();

    std::vector<int> m_shown;              // filter mode: person list indices, in list order
    std::vector<int32_t> m_readerIds;      // the reader of each reader column
    std::vector<int32_t> m_deleteAllIds;   // filter mode: the persons delete-all removes
    bool m_storeFailed = false;
};
