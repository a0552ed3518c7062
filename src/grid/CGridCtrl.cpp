#include "grid/CGridCtrl.h"

#include "grid/CGridDelegate.h"
#include "grid/CGridHeader.h"
#include "grid/CGridModel.h"
#include "grid/IGridSource.h"
#include "layout/CDialogSetup.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QtMath>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QToolTip>
#include <algorithm>
#include <array>
#include <numeric>

namespace {

const QColor kAscendingColour(255, 255, 190);
const QColor kDescendingColour(190, 255, 255);

CGridCtrl::PrintDialogHook& PrintHook()
{
    static CGridCtrl::PrintDialogHook hook;
    return hook;
}

// Sizes set by the grid itself are not the user's: they must not reach the layout file.
struct ProgrammaticScope {
    explicit ProgrammaticScope(int& counter)
        : m_counter(counter)
    {
        ++m_counter;
    }
    ~ProgrammaticScope() { --m_counter; }
    int& m_counter;
};

} // namespace

CGridCtrl::CGridCtrl(QWidget* parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("CGridCtrl"));
    m_columns.resize(1);

    m_header = new CGridHeader(Qt::Horizontal, this);
    m_header->setObjectName(QStringLiteral("gridHeader"));
    m_rowHeader = new CGridHeader(Qt::Vertical, this);
    m_rowHeader->setObjectName(QStringLiteral("gridRowHeader"));
    setHorizontalHeader(m_header);
    setVerticalHeader(m_rowHeader);

    m_model = new CGridModel(static_cast<IGridModelHost*>(this), this);
    m_model->setObjectName(QStringLiteral("gridModel"));
    setModel(m_model);
    m_delegate = new CGridDelegate(this);
    m_delegate->setObjectName(QStringLiteral("gridDelegate"));
    setItemDelegate(m_delegate);
    viewport()->setObjectName(QStringLiteral("gridViewport"));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                    | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setTabKeyNavigation(true);
    setGridStyle(Qt::SolidLine);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFrameShape(QFrame::Box);

    // Rows all have one height, kept as the header's default size, so 10,000 rows cost no
    // per-row bookkeeping.
    m_header->setDefaultSectionSize(80);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);
    m_rowHeader->setSectionResizeMode(QHeaderView::Interactive);
    m_rowHeader->setMinimumSectionSize(4);
    SetRowHeight(m_rowHeight);
    SetHeaderHeight(30);
    SetColumnWidth(0, m_col0Width);
    SetGridBackground(m_gridBackground);

    connect(m_header, &QHeaderView::sectionDoubleClicked, this, &CGridCtrl::OnHeaderDoubleClicked);
    connect(m_header, &QHeaderView::sectionResized, this, &CGridCtrl::OnColumnResized);
    connect(m_rowHeader, &QHeaderView::sectionResized, this, &CGridCtrl::OnRowResized);
    connect(m_header, &CGridHeader::HeightDragged, this, &CGridCtrl::OnHeaderHeightDragged);
    connect(m_header, &CGridHeader::HeightDragFinished, this, [this](int height) {
        if (m_store && !m_programmatic)
            m_store->StoreGridHeight(m_dialogId, m_gridId, 1, height);
    });
    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int section) { emit CellClicked(0, section + 1); });
    connect(m_rowHeader, &QHeaderView::sectionClicked, this,
            [this](int section) { emit CellClicked(OwnerRowOfIndex(section), 0); });
    connect(m_rowHeader, &QHeaderView::sectionDoubleClicked, this,
            [this](int section) { emit CellDoubleClicked(OwnerRowOfIndex(section), 0); });
    connect(m_header, &CGridHeader::RightClicked, this, [this](int section, const QPoint& global) {
        emit CellRightClicked(section < 0 ? -1 : 0, section < 0 ? -1 : section + 1, global);
    });
    connect(m_rowHeader, &CGridHeader::RightClicked, this, [this](int section, const QPoint& global) {
        emit CellRightClicked(section < 0 ? -1 : OwnerRowOfIndex(section), section < 0 ? -1 : 0,
                              global);
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit CellClicked(OwnerRowOfIndex(index.row()), index.column() + 1);
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit CellDoubleClicked(OwnerRowOfIndex(index.row()), index.column() + 1);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit RowSelectionChanged(); });
}

CGridCtrl::~CGridCtrl() = default;

// ---- numbering ----------------------------------------------------------------------------

int CGridCtrl::OwnerRowOfIndex(int displayIndex) const
{
    if (displayIndex < 0 || displayIndex >= m_dataRows)
        return -1;
    if (m_order.empty())
        return displayIndex + 1;
    return m_order[static_cast<size_t>(displayIndex)] + 1;
}

int CGridCtrl::DisplayIndexOfOwner(int ownerRow) const
{
    if (ownerRow < 1 || ownerRow > m_dataRows)
        return -1;
    if (m_inverse.empty())
        return ownerRow - 1;
    return m_inverse[static_cast<size_t>(ownerRow - 1)];
}

int CGridCtrl::DisplayRowOf(int ownerRow) const
{
    if (ownerRow == 0)
        return 0;
    const int d = DisplayIndexOfOwner(ownerRow);
    return d < 0 ? -1 : d + 1;
}

int CGridCtrl::OwnerRowAt(int displayRow) const
{
    if (displayRow == 0)
        return 0;
    return OwnerRowOfIndex(displayRow - 1);
}

QModelIndex CGridCtrl::IndexOf(int ownerRow, int col) const
{
    const int d = DisplayIndexOfOwner(ownerRow);
    if (d < 0 || col < 1 || col > m_dataCols)
        return {};
    return m_model->index(d, col - 1);
}

const CGridCtrl::ColumnInfo* CGridCtrl::Column(int col) const
{
    if (col < 1 || col >= static_cast<int>(m_columns.size()))
        return nullptr;
    return &m_columns[static_cast<size_t>(col)];
}

bool CGridCtrl::IsEditable(int ownerRow, int col) const
{
    if (ownerRow < 1 || col < 1 || !m_source)
        return false;
    return m_source->IsCellEditable(ownerRow, col);
}

bool CGridCtrl::IsTextEditable(int ownerRow, int col) const
{
    const CellKind kind = ColumnKind(col);
    return (kind == CellKind::Text || kind == CellKind::Combo) && IsEditable(ownerRow, col);
}

QColor CGridCtrl::CellFill(int row, int col) const
{
    const QColor own = m_source ? m_source->CellBackground(row, col) : QColor();
    return own.isValid() ? own : m_cellColour;
}

QColor CGridCtrl::CellInk(int row, int col) const
{
    return m_source ? m_source->CellTextColour(row, col) : QColor();
}

void CGridCtrl::CommitEdit(int row, int col, const QString& text)
{
    // The owner stores the value; the cell shows it once the owner's records have it.
    PostEndEdit(row, col, text);
}

// ---- set-up -------------------------------------------------------------------------------

void CGridCtrl::SetSource(IGridSource* source)
{
    m_source = source;
    Refresh();
}

void CGridCtrl::SetRowCount(int rows)
{
    const int dataRows = qMax(0, rows - 1);
    if (dataRows == m_dataRows) {
        Refresh();
        return;
    }
    ProgrammaticScope scope(m_programmatic);
    if (state() == QAbstractItemView::EditingState)
        setCurrentIndex(QModelIndex());   // an open editor hands in its text and closes
    selectionModel()->clear();
    // The old order does not fit the new rows; the new rows are sorted again below.
    m_order.clear();
    m_inverse.clear();
    m_dataRows = dataRows;
    m_model->SetDataRows(dataRows);
    if (m_sortColumn >= 1 && m_sortStep != SortNone)
        ApplyOrder();
    Refresh();
}

void CGridCtrl::SetColumnCount(int cols)
{
    const int dataCols = qMax(0, cols - 1);
    m_columns.resize(static_cast<size_t>(dataCols + 1));
    if (dataCols == m_dataCols) {
        Refresh();
        return;
    }
    ProgrammaticScope scope(m_programmatic);
    if (state() == QAbstractItemView::EditingState)
        setCurrentIndex(QModelIndex());
    m_dataCols = dataCols;
    m_model->SetDataCols(dataCols);
    if (m_sortColumn > dataCols)
        ResetSortColumnColour();
    Refresh();
}

void CGridCtrl::SetColumnKind(int col, CellKind kind, const QStringList& comboEntries)
{
    if (col < 1)
        return;
    if (col >= static_cast<int>(m_columns.size()))
        m_columns.resize(static_cast<size_t>(col + 1));
    m_columns[static_cast<size_t>(col)].kind = kind;
    m_columns[static_cast<size_t>(col)].entries = comboEntries;
    viewport()->update();
}

CGridCtrl::CellKind CGridCtrl::ColumnKind(int col) const
{
    const ColumnInfo* c = Column(col);
    return c ? c->kind : CellKind::Text;
}

QStringList CGridCtrl::ComboEntries(int col) const
{
    const ColumnInfo* c = Column(col);
    return c ? c->entries : QStringList();
}

void CGridCtrl::SetColumnValidator(int col, const QRegularExpression& expression)
{
    if (col < 1)
        return;
    if (col >= static_cast<int>(m_columns.size()))
        m_columns.resize(static_cast<size_t>(col + 1));
    m_columns[static_cast<size_t>(col)].validator = expression;
}

QRegularExpression CGridCtrl::ColumnValidator(int col) const
{
    const ColumnInfo* c = Column(col);
    return c ? c->validator : QRegularExpression();
}

// ---- sizes --------------------------------------------------------------------------------

void CGridCtrl::SetColumnWidth(int col, int width)
{
    if (width < 0)
        return;
    ProgrammaticScope scope(m_programmatic);
    if (col == 0) {
        m_col0Width = width;
        m_rowHeader->setFixedWidth(width);
        m_rowHeader->setVisible(width > 0);
        updateGeometries();
        return;
    }
    if (col >= 1 && col <= m_dataCols) {
        // A shown column never gets narrower than what its content needs (0 still hides it).
        if (width > 0)
            width = qMax(width, m_columns[static_cast<size_t>(col)].minWidth);
        setColumnWidth(col - 1, width);
    }
}

void CGridCtrl::SetColumnFit(int col, ColumnFit fit)
{
    if (col < 1)
        return;
    if (col >= static_cast<int>(m_columns.size()))
        m_columns.resize(static_cast<size_t>(col + 1));
    m_columns[static_cast<size_t>(col)].fit = fit;
}

CGridCtrl::ColumnFit CGridCtrl::GetColumnFit(int col) const
{
    const ColumnInfo* c = Column(col);
    return c ? c->fit : ColumnFit::Whole;
}

int CGridCtrl::ColumnMinimumWidth(int col) const
{
    const ColumnInfo* c = Column(col);
    return c ? c->minWidth : 0;
}

int CGridCtrl::TitleWidthNeeded(const QString& title) const
{
    // The header paints with 2 pixels of room on either side and wraps at blanks; one pixel
    // more for the section line.
    const QFontMetrics fm = m_header->fontMetrics();
    int widest = 0;
    for (const QString& word : title.split(u' ', Qt::SkipEmptyParts))
        widest = qMax(widest, fm.horizontalAdvance(word));
    return widest == 0 ? 0 : widest + 5;
}

int CGridCtrl::CellWidthNeeded(int col, const QString& text) const
{
    // One pixel more than the text's room for the grid line, which the cell rectangle leaves out.
    switch (ColumnKind(col)) {
    case CellKind::Check:
        return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 6;
    case CellKind::Button: {
        QStyleOptionButton option;
        option.initFrom(this);
        option.text = text;
        const QSize content(fontMetrics().horizontalAdvance(text), fontMetrics().height());
        return style()->sizeFromContents(QStyle::CT_PushButton, &option, content, this).width() + 3;
    }
    case CellKind::Text:
    case CellKind::Combo:
        break;
    }
    return text.isEmpty() ? 0 : fontMetrics().horizontalAdvance(text) + 2 * CGridDelegate::kTextMargin + 1;
}

int CGridCtrl::WidestCellNeeded(int col) const
{
    if (m_dataRows == 0)
        return 0;
    const CellKind kind = ColumnKind(col);
    if (kind == CellKind::Check)
        return CellWidthNeeded(col, QString());
    if (kind == CellKind::Button) {
        int need = 0;
        for (int row = 1; row <= m_dataRows; ++row)
            need = qMax(need, CellWidthNeeded(col, m_source->CellText(row, col)));
        return need;
    }
    // A table may hold 50,000 events: the texts are summed from the advances of their letters
    // (measured once each, unrounded), and only the widest is measured whole.
    const QFontMetricsF fm(font());
    std::array<qreal, 256> latin;
    latin.fill(-1);
    auto letters = [&](const QString& text) {
        qreal sum = 0;
        for (const QChar c : text) {
            if (c.unicode() < latin.size()) {
                qreal& a = latin[c.unicode()];
                if (a < 0)
                    a = fm.horizontalAdvance(c);
                sum += a;
            } else {
                sum += fm.horizontalAdvance(c);
            }
        }
        return sum;
    };
    qreal widest = -1;
    QString widestText;
    for (int row = 1; row <= m_dataRows; ++row) {
        const QString text = m_source->CellText(row, col);
        const qreal w = letters(text);
        if (w > widest) {
            widest = w;
            widestText = text;
        }
    }
    // Kerning may make a text a little narrower or wider than its letters side by side.
    return widestText.isEmpty() ? 0 : qMax(CellWidthNeeded(col, widestText),
                                           qCeil(widest) + 2 * CGridDelegate::kTextMargin + 2);
}

void CGridCtrl::FitColumns()
{
    if (!m_source)
        return;
    ProgrammaticScope scope(m_programmatic);
    const QFontMetrics headerMetrics = m_header->fontMetrics();
    int headerNeed = 0;
    for (int col = 1; col <= m_dataCols; ++col) {
        ColumnInfo& info = m_columns[static_cast<size_t>(col)];
        const QString title = m_source->CellText(0, col);
        int need = 0;
        if (info.fit != ColumnFit::FreeTitle)
            need = TitleWidthNeeded(title);
        if (info.fit != ColumnFit::FreeText)
            need = qMax(need, WidestCellNeeded(col));
        info.minWidth = need;
        const int width = columnWidth(col - 1);
        if (width > 0 && width < need)
            setColumnWidth(col - 1, need);
        if (width > 0 && info.fit != ColumnFit::FreeTitle && !title.isEmpty()) {
            const QRect room(0, 0, qMax(need, width) - 4, 10000);
            headerNeed = qMax(headerNeed, headerMetrics.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap,
                                                                     title).height() + 4);
        }
    }
    if (m_headerHeight > 0 && headerNeed > m_headerHeight)
        SetHeaderHeight(headerNeed);
    const int rowNeed = qMax(fontMetrics().height(),
                             style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this)) + 2;
    if (m_rowHeight < rowNeed)
        ApplyRowHeight(rowNeed);
}

int CGridCtrl::ColumnWidth(int col) const
{
    if (col == 0)
        return m_col0Width;
    if (col >= 1 && col <= m_dataCols)
        return columnWidth(col - 1);
    return -1;
}

void CGridCtrl::SetHeaderHeight(int height)
{
    if (height < 0)
        return;
    m_headerHeight = height;
    m_header->setFixedHeight(height);
    m_header->setVisible(height > 0);
    updateGeometries();
}

int CGridCtrl::HeaderHeight() const
{
    return m_headerHeight;
}

void CGridCtrl::SetRowHeight(int height)
{
    if (height <= 0)
        return;
    ProgrammaticScope scope(m_programmatic);
    ApplyRowHeight(height);
}

int CGridCtrl::RowHeight() const
{
    return m_rowHeight;
}

void CGridCtrl::ApplyRowHeight(int height)
{
    m_rowHeight = height;
    {
        // One signal per row would be 10,000 signals for the event table; repaint once instead.
        const QSignalBlocker block(m_rowHeader);
        m_rowHeader->setDefaultSectionSize(height);
    }
    m_rowHeader->viewport()->update();
    updateGeometries();
    viewport()->update();
}

void CGridCtrl::OnColumnResized(int section, int oldSize, int newSize)
{
    Q_UNUSED(oldSize)
    if (m_programmatic)
        return;
    const int min = ColumnMinimumWidth(section + 1);
    if (newSize < min) {
        // Narrower would cut a number or a title: the column stops at its minimum.
        ProgrammaticScope scope(m_programmatic);
        setColumnWidth(section, min);
        newSize = min;
    }
    if (m_store)
        m_store->StoreColumnWidth(m_dialogId, m_gridId, section + 1, newSize);
}

void CGridCtrl::OnRowResized(int section, int oldSize, int newSize)
{
    Q_UNUSED(section) Q_UNUSED(oldSize)
    if (m_programmatic)
        return;
    // The user dragged one row: all data rows take that height, as the layout file keeps one.
    {
        ProgrammaticScope scope(m_programmatic);
        ApplyRowHeight(newSize);
    }
    if (m_store)
        m_store->StoreGridHeight(m_dialogId, m_gridId, 0, newSize);
}

void CGridCtrl::OnHeaderHeightDragged(int height)
{
    SetHeaderHeight(height);
}

void CGridCtrl::SetLayoutStore(CDialogSetup* store, const QString& dialogId, const QString& gridId)
{
    m_store = store;
    m_dialogId = dialogId;
    m_gridId = gridId;
}

void CGridCtrl::ApplyLayout()
{
    if (!m_store)
        return;
    ProgrammaticScope scope(m_programmatic);
    const int header = m_store->ReadGridHeight(m_dialogId, m_gridId, 1);
    if (header > 0)
        SetHeaderHeight(header);
    const int row = m_store->ReadGridHeight(m_dialogId, m_gridId, 0);
    if (row > 0)
        SetRowHeight(row);
    for (int col = 0; col <= m_dataCols; ++col) {
        const int width = m_store->ReadColumnWidth(m_dialogId, m_gridId, col);
        if (width > 0)
            SetColumnWidth(col, width);
    }
}

// ---- colours ------------------------------------------------------------------------------

void CGridCtrl::SetGridBackground(const QColor& colour)
{
    m_gridBackground = colour;
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, colour);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
    viewport()->update();
}

void CGridCtrl::SetFixedCellColour(const QColor& colour)
{
    m_fixedColour = colour;
    m_header->viewport()->update();
    m_rowHeader->viewport()->update();
}

void CGridCtrl::SetDefaultCellColour(const QColor& colour)
{
    m_cellColour = colour;
    viewport()->update();
}

QColor CGridCtrl::HeaderBackground(int col) const
{
    if (col >= 1 && col == m_sortColumn) {
        if (m_sortStep == SortAscending)
            return kAscendingColour;
        if (m_sortStep == SortDescending)
            return kDescendingColour;
    }
    return m_fixedColour;
}

// ---- texts and tooltips -------------------------------------------------------------------

QString CGridCtrl::CellText(int row, int col) const
{
    if (!m_source || row < 0 || row > m_dataRows || col < 0 || col > m_dataCols)
        return {};
    return m_source->CellText(row, col);
}

QString CGridCtrl::CellToolTip(int row, int col) const
{
    if (col < 1 || col > m_dataCols || row < 0 || row > m_dataRows)
        return {};
    const QString text = CellText(row, col);
    if (text.isEmpty())
        return {};
    const int width = columnWidth(col - 1);
    if (row == 0 && GetColumnFit(col) == ColumnFit::FreeTitle)
        return text;   // a reader's name: the whole name, however much of it the title shows
    if (row == 0) {
        // Titles wrap; they are cut off only when the wrapped text does not fit either.
        const QRect box(0, 0, qMax(0, width - 4), qMax(0, HeaderHeight() - 2));
        const QRect need = m_header->fontMetrics().boundingRect(
            box, Qt::AlignCenter | Qt::TextWordWrap, text);
        return need.width() > box.width() || need.height() > box.height() ? text : QString();
    }
    const CellKind kind = ColumnKind(col);
    if (kind == CellKind::Check)
        return {};
    const int margin = kind == CellKind::Button ? 6 : CGridDelegate::kTextMargin;
    const int room = width - 2 * margin;
    return fontMetrics().horizontalAdvance(text) > room ? text : QString();
}

QPoint CGridCtrl::CellAt(const QPoint& viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid())
        return {-1, -1};
    return {index.column() + 1, OwnerRowOfIndex(index.row())};
}

bool CGridCtrl::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString tip = index.isValid()
            ? CellToolTip(OwnerRowOfIndex(index.row()), index.column() + 1) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
        return true;
    }
    return QTableView::viewportEvent(event);
}

// ---- sorting ------------------------------------------------------------------------------

void CGridCtrl::OnHeaderDoubleClicked(int section)
{
    const int col = section + 1;
    if (m_headerSort) {
        // Another column starts at ascending; the same column goes on 1 -> 2 -> 0 -> 1.
        if (col != m_sortColumn)
            SetSort(col, SortAscending);
        else
            SetSort(col, (m_sortStep + 1) % 3);
    }
    emit HeaderDoubleClicked(col);
}

void CGridCtrl::SetSort(int col, int step)
{
    if (col < 1 || col > m_dataCols) {
        ResetSortColumnColour();
        return;
    }
    m_sortColumn = col;
    m_sortStep = (step == SortAscending || step == SortDescending) ? step : SortNone;
    ApplyOrder();
    m_header->viewport()->update();
    emit SortChanged(m_sortColumn, m_sortStep);
}

void CGridCtrl::ResetSortColumnColour()
{
    const bool wasSorted = !m_order.empty();
    m_sortColumn = -1;
    m_sortStep = SortNone;
    if (wasSorted)
        ApplyOrder();
    m_header->viewport()->update();
}

void CGridCtrl::Resort()
{
    ApplyOrder();
}

void CGridCtrl::ApplyOrder()
{
    m_model->Reorder([this] { ComputeOrder(); });
    viewport()->update();
    m_rowHeader->viewport()->update();
}

void CGridCtrl::ComputeOrder()
{
    m_order.clear();
    m_inverse.clear();
    if (m_sortColumn < 1 || m_sortColumn > m_dataCols || m_sortStep == SortNone || !m_source
        || m_dataRows == 0)
        return;

    const size_t n = static_cast<size_t>(m_dataRows);
    std::vector<QString> keys(n);
    std::vector<double> numbers(n);
    // Numbers sort by value, but only when every non-empty text of the column is a number:
    // mixing the two orders would not be a consistent order at all.
    bool numeric = true;
    for (size_t i = 0; i < n; ++i) {
        keys[i] = m_source->CellText(static_cast<int>(i) + 1, m_sortColumn).trimmed();
        if (numeric && !keys[i].isEmpty()) {
            bool ok = false;
            numbers[i] = keys[i].toDouble(&ok);
            numeric = ok;
        }
    }
    auto less = [&](int a, int b) {
        const QString& ka = keys[static_cast<size_t>(a)];
        const QString& kb = keys[static_cast<size_t>(b)];
        if (ka.isEmpty() || kb.isEmpty())
            return ka.isEmpty() && !kb.isEmpty();
        if (numeric)
            return numbers[static_cast<size_t>(a)] < numbers[static_cast<size_t>(b)];
        return QString::compare(ka, kb, Qt::CaseInsensitive) < 0;
    };
    m_order.resize(n);
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_sortStep == SortAscending)
        std::stable_sort(m_order.begin(), m_order.end(), less);
    else
        std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) { return less(b, a); });
    m_inverse.resize(n);
    for (size_t d = 0; d < n; ++d)
        m_inverse[static_cast<size_t>(m_order[d])] = static_cast<int>(d);
}

// ---- selection ----------------------------------------------------------------------------

QList<int> CGridCtrl::SelectedRows() const
{
    QList<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int d = range.top(); d <= range.bottom(); ++d)
            rows.append(OwnerRowOfIndex(d));
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.removeAll(-1);
    return rows;
}

void CGridCtrl::SelectRow(int row)
{
    const int d = DisplayIndexOfOwner(row);
    if (d < 0 || m_dataCols == 0)
        return;
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    selectionModel()->setCurrentIndex(m_model->index(d, col),
                                      QItemSelectionModel::ClearAndSelect
                                          | QItemSelectionModel::Rows);
    EnsureRowVisible(row);
}

void CGridCtrl::SetRowSelected(int row, bool selected)
{
    const int d = DisplayIndexOfOwner(row);
    if (d < 0 || m_dataCols == 0)
        return;
    selectionModel()->select(m_model->index(d, 0),
                             (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                 | QItemSelectionModel::Rows);
}

void CGridCtrl::ClearSelection()
{
    selectionModel()->clearSelection();
}

void CGridCtrl::EnsureRowVisible(int row)
{
    const int d = DisplayIndexOfOwner(row);
    if (d < 0 || m_dataCols == 0)
        return;
    // Keep the horizontal position: scroll to the row in the leftmost visible column.
    int col = columnAt(0);
    if (col < 0)
        col = 0;
    const int x = horizontalScrollBar()->value();
    scrollTo(m_model->index(d, col), QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(x);
}

// ---- editing and clicks -------------------------------------------------------------------

void CGridCtrl::Refresh()
{
    m_model->Touch();
    viewport()->update();
    m_header->viewport()->update();
    m_rowHeader->viewport()->update();
}

bool CGridCtrl::EditCell(int row, int col)
{
    const QModelIndex index = IndexOf(row, col);
    if (!index.isValid() || !(m_model->flags(index) & Qt::ItemIsEditable))
        return false;
    setCurrentIndex(index);
    scrollTo(index);
    edit(index);
    return state() == QAbstractItemView::EditingState;
}

void CGridCtrl::PostEndEdit(int ownerRow, int col, const QString& text)
{
    QMetaObject::invokeMethod(
        this, [this, ownerRow, col, text] { emit EndEdit(ownerRow, col, text); },
        Qt::QueuedConnection);
}

void CGridCtrl::PostButtonClicked(int ownerRow, int col)
{
    QMetaObject::invokeMethod(
        this, [this, ownerRow, col] { emit ButtonClicked(ownerRow, col); }, Qt::QueuedConnection);
}

void CGridCtrl::ToggleCheck(const QModelIndex& index)
{
    const int row = OwnerRowOfIndex(index.row());
    const int col = index.column() + 1;
    const QString now = CellText(row, col);
    PostEndEdit(row, col, now == QLatin1String("1") ? QStringLiteral("0") : QStringLiteral("1"));
}

void CGridCtrl::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex index = currentIndex();
    if (index.isValid() && state() != QAbstractItemView::EditingState
        && ColumnKind(index.column() + 1) == CellKind::Button
        && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return
            || event->key() == Qt::Key_Enter)) {
        const int row = OwnerRowOfIndex(index.row());
        if (IsEditable(row, index.column() + 1))
            PostButtonClicked(row, index.column() + 1);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CGridCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint pos = event->pos();
    QPoint global = event->globalPos();
    if (event->reason() == QContextMenuEvent::Keyboard && currentIndex().isValid()) {
        pos = visualRect(currentIndex()).center();
        global = viewport()->mapToGlobal(pos);
    }
    const QModelIndex index = indexAt(pos);
    if (index.isValid())
        emit CellRightClicked(OwnerRowOfIndex(index.row()), index.column() + 1, global);
    else
        emit CellRightClicked(-1, -1, global);
    event->accept();
}

// ---- printing -----------------------------------------------------------------------------

void CGridCtrl::SetPrintDialogHook(PrintDialogHook hook)
{
    PrintHook() = std::move(hook);
}

bool CGridCtrl::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    bool accepted = false;
    if (PrintHook()) {
        accepted = PrintHook()(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        dialog.setObjectName(QStringLiteral("gridPrintDialog"));
        accepted = dialog.exec() == QDialog::Accepted;
    }
    return accepted && PrintTo(&printer);
}

bool CGridCtrl::PrintTo(QPrinter* printer) const
{
    if (!printer)
        return false;
    QPainter painter;
    if (!painter.begin(printer))
        return false;

    // Lay the table out in screen pixels and scale it onto the page: at the screen's size when
    // it fits, narrower when the columns are wider than the page.
    std::vector<int> cols;
    int tableWidth = 0;
    for (int c = 1; c <= m_dataCols; ++c) {
        if (columnWidth(c - 1) > 0) {
            cols.push_back(c);
            tableWidth += columnWidth(c - 1);
        }
    }
    const QRect page = painter.viewport();
    const double dpiScale = double(printer->logicalDpiX()) / qMax(1, logicalDpiX());
    double scale = dpiScale;
    if (tableWidth > 0 && tableWidth * scale > page.width())
        scale = double(page.width()) / tableWidth;
    painter.scale(scale, scale);
    const double pageHeight = page.height() / scale;

    QFont font = this->font();
    font.setPixelSize(qMax(6, QFontMetrics(this->font()).height() - 3));
    painter.setFont(font);
    const QPen linePen(QColor(128, 128, 128), 0);

    const int headerHeight = qMax(HeaderHeight(), 20);
    const int rowHeight = qMax(m_rowHeight, 12);

    auto drawRow = [&](int y, int height, int ownerRow) {
        int x = 0;
        for (int c : cols) {
            const int w = columnWidth(c - 1);
            const QRect cell(x, y, w, height);
            QString text = CellText(ownerRow, c);
            QColor fill = ownerRow == 0 ? QColor(230, 230, 230) : QColor(Qt::white);
            if (ownerRow > 0 && m_source) {
                const QColor own = m_source->CellBackground(ownerRow, c);
                if (own.isValid())
                    fill = own;
            }
            painter.fillRect(cell, fill);
            painter.setPen(linePen);
            painter.drawRect(cell);
            painter.setPen(Qt::black);
            const QRect inner = cell.adjusted(CGridDelegate::kTextMargin, 0,
                                              -CGridDelegate::kTextMargin, 0);
            if (ownerRow == 0) {
                painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap, text);
            } else if (ColumnKind(c) == CellKind::Check) {
                const int s = qMin(height - 6, 10);
                const QRect box(cell.center().x() - s / 2, cell.center().y() - s / 2, s, s);
                painter.drawRect(box);
                if (text == QLatin1String("1")) {
                    painter.drawLine(box.topLeft(), box.bottomRight());
                    painter.drawLine(box.bottomLeft(), box.topRight());
                }
            } else {
                text = painter.fontMetrics().elidedText(text, Qt::ElideRight, inner.width());
                const Qt::Alignment align = ColumnKind(c) == CellKind::Button
                    ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
                painter.drawText(inner, align | Qt::TextSingleLine, text);
            }
            x += w;
        }
    };

    int y = 0;
    drawRow(y, headerHeight, 0);
    y += headerHeight;
    for (int d = 0; d < m_dataRows; ++d) {
        if (y + rowHeight > pageHeight) {
            if (!printer->newPage())
                break;
            y = 0;
            drawRow(y, headerHeight, 0);   // every page starts with the titles
            y += headerHeight;
        }
        drawRow(y, rowHeight, OwnerRowOfIndex(d));
        y += rowHeight;
    }
    return painter.end();
}
