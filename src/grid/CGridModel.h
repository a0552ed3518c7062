#pragma once
// The grid's table model: no storage of its own, every value comes from the grid's source
// through the grid's row mapping. Model rows are display rows (0-based), model columns are the
// data columns (owner column - 1).
#include <QAbstractTableModel>
#include <functional>

class CGridCtrl;

class CGridModel : public QAbstractTableModel {
public:
    explicit CGridModel(CGridCtrl* grid);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Count changes as row/column insertions and removals, so the headers keep their sizes.
    void SetDataRows(int rows);
    void SetDataCols(int cols);
    // Runs change() (which reorders the display rows) and moves the persistent indexes, i.e. the
    // selection and the current cell, along with their owner rows.
    void Reorder(const std::function<void()>& change);
    // Repaints all cells.
    void Touch();

private:
    CGridCtrl* m_grid;
    int m_rows = 0;
    int m_cols = 0;
};
