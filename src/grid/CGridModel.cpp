#include "grid/CGridModel.h"

#include <QBrush>

CGridModel::CGridModel(IGridModelHost* host, QObject* parent)
    : QAbstractTableModel(parent)
    , m_host(host)
{
}

int CGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant CGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = m_host->OwnerRowOfIndex(index.row());
    const int col = index.column() + 1;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return m_host->CellText(row, col);
    case Qt::BackgroundRole:
        return QBrush(m_host->CellFill(row, col));
    case Qt::ForegroundRole: {
        const QColor c = m_host->CellInk(row, col);
        return c.isValid() ? QVariant(QBrush(c)) : QVariant();
    }
    default:
        return {};
    }
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_host->CellText(0, section + 1);
    return m_host->CellText(m_host->OwnerRowOfIndex(section), 0);
}

Qt::ItemFlags CGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_host->IsTextEditable(m_host->OwnerRowOfIndex(index.row()), index.column() + 1))
        f |= Qt::ItemIsEditable;
    return f;
}

bool CGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    // The owner stores the value; the cell shows it once the owner's records have it.
    m_host->CommitEdit(m_host->OwnerRowOfIndex(index.row()), index.column() + 1, value.toString());
    return true;
}

void CGridModel::SetDataRows(int rows)
{
    rows = qMax(0, rows);
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
}

void CGridModel::SetDataCols(int cols)
{
    cols = qMax(0, cols);
    if (cols > m_cols) {
        beginInsertColumns({}, m_cols, cols - 1);
        m_cols = cols;
        endInsertColumns();
    } else if (cols < m_cols) {
        beginRemoveColumns({}, cols, m_cols - 1);
        m_cols = cols;
        endRemoveColumns();
    }
}

void CGridModel::Reorder(const std::function<void()>& change)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QList<int> owners;
    owners.reserve(from.size());
    for (const QModelIndex& i : from)
        owners.append(m_host->OwnerRowOfIndex(i.row()));
    change();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype k = 0; k < from.size(); ++k) {
        const int display = m_host->DisplayIndexOfOwner(owners[k]);
        to.append(display < 0 ? QModelIndex() : index(display, from[k].column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CGridModel::Touch()
{
    if (m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
    if (m_cols > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
}
