#pragma once
// The grid's table model: no storage of its own, every value comes from its host (the grid)
// through the host's row mapping. Model rows are display rows (0-based), model columns are the
// data columns (owner column - 1).
#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <functional>

// What the model needs of the grid, and nothing more: the mapping between display rows and
// owner rows, and the cells in owner numbering.
class IGridModelHost {
public:
    virtual int OwnerRowOfIndex(int displayIndex) const = 0;
    virtual int DisplayIndexOfOwner(int ownerRow) const = 0;
    virtual QString CellText(int row, int col) const = 0;
    virtual QColor CellFill(int row, int col) const = 0;       // always valid
    virtual QColor CellInk(int row, int col) const = 0;        // invalid: the default
    // Whether a text or combo cell opens an editor (check boxes and buttons never do).
    virtual bool IsTextEditable(int row, int col) const = 0;
    virtual void CommitEdit(int row, int col, const QString& text) = 0;

protected:
    ~IGridModelHost() = default;
};

class CGridModel : public QAbstractTableModel {
public:
    CGridModel(IGridModelHost* host, QObject* parent);

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
    IGridModelHost* m_host;
    int m_rows = 0;
    int m_cols = 0;
};
