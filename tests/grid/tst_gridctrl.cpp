// The grid control against a small table source: header sorting, the row mapping behind it,
// end-of-edit reports of every editable cell kind, the layout file, column widths that show
// every cell whole, printing and a 10,000-row table.
#include "grid/CGridCtrl.h"
#include "grid/CGridDelegate.h"
#include "grid/IGridSource.h"
#include "layout/CDialogSetup.h"
#include "support/TestEnv.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Columns: 1 Position, 2 name (text), 3 amount (numbers), 4 flag (check box),
// 5 choice (combo), 6 button. Column 2 of row 3 and column 4 of row 2 are read-only.
class TableSource : public IGridSource {
public:
    QStringList titles{QString(), "Pos", "Name", "Amount", "Flag", "Choice", "Action"};
    QList<QStringList> rows{
        {"1", "delta", "10", "0", "b", "Go"},  {"2", "Alpha", "9", "1", "a", "Go"},
        {"3", "charlie", "100", "0", "c", "Go"}, {"4", "bravo", "", "1", "a", "Go"},
        {"5", "echo", "9.5", "0", "b", "Go"},
    };
    mutable int textRequests = 0;
    bool generated = false;   // answer from the row number instead of `rows`

    QString CellText(int row, int col) const override
    {
        ++textRequests;
        if (row == 0)
            return titles.value(col);
        if (col == 0)
            return {};
        if (generated)
            return col == 1 ? QString::number(row) : QStringLiteral("r%1c%2").arg(row).arg(col);
        return rows.value(row - 1).value(col - 1);
    }
    bool IsCellEditable(int row, int col) const override
    {
        return col != 1 && !(row == 3 && col == 2) && !(row == 2 && col == 4);
    }
};

QList<int> DisplayOrder(const CGridCtrl& grid)
{
    QList<int> order;
    for (int d = 1; d < grid.RowCount(); ++d)
        order.append(grid.OwnerRowAt(d));
    return order;
}

QPoint CellCentre(const CGridCtrl& grid, int ownerRow, int col)
{
    return grid.visualRect(grid.model()->index(grid.DisplayRowOf(ownerRow) - 1, col - 1)).center();
}

// What the platform delivers for a double click: press, release, double click, release.
void DoubleClickHeader(CGridCtrl& grid, int col)
{
    QHeaderView* header = grid.horizontalHeader();
    const QPoint pos(header->sectionViewportPosition(col - 1) + header->sectionSize(col - 1) / 2,
                     header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, pos);
}

} // namespace

class TestGridCtrl : public QObject {
    Q_OBJECT
    TableSource m_source;
    std::unique_ptr<CGridCtrl> m_grid;

private slots:
    void initTestCase() { VmTest::IsolateHome(); }

    void init()
    {
        m_source = TableSource();
        m_grid = std::make_unique<CGridCtrl>();
        m_grid->SetSource(&m_source);
        m_grid->SetColumnCount(7);
        m_grid->SetRowCount(6);
        m_grid->SetColumnKind(4, CGridCtrl::CellKind::Check);
        m_grid->SetColumnKind(5, CGridCtrl::CellKind::Combo, {"a", "b", "c"});
        m_grid->SetColumnKind(6, CGridCtrl::CellKind::Button);
        m_grid->SetComboPopupOnEdit(false);
        m_grid->resize(600, 300);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
    }

    void cleanup() { m_grid.reset(); }

    void headerSort_data()
    {
        QTest::addColumn<QList<int>>("clicks");       // header columns double-clicked in turn
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<QList<int>>("order");        // owner rows from the top
        QTest::newRow("once: ascending") << QList<int>{2} << 2 << QList<int>{2, 4, 3, 1, 5};
        QTest::newRow("twice: descending") << QList<int>{2, 2} << 2 << QList<int>{5, 1, 3, 4, 2};
        QTest::newRow("three times: unsorted") << QList<int>{2, 2, 2} << 2 << QList<int>{1, 2, 3, 4, 5};
        // Numbers by value, the empty cell first.
        QTest::newRow("other column at once ascending") << QList<int>{2, 2, 3} << 3 << QList<int>{4, 2, 5, 1, 3};
        QTest::newRow("numbers descending") << QList<int>{3, 3} << 3 << QList<int>{3, 1, 5, 2, 4};
    }
    void headerSort()
    {
        QFETCH(QList<int>, clicks);
        QSignalSpy doubleClicks(m_grid.get(), &CGridCtrl::HeaderDoubleClicked);
        for (int col : clicks)
            DoubleClickHeader(*m_grid, col);
        QCOMPARE(doubleClicks.count(), clicks.size());
        QTEST(m_grid->SortColumn(), "sortColumn");
        QTEST(DisplayOrder(*m_grid), "order");
    }

    void selectionMapsToOwnerRows()
    {
        m_grid->SetSort(2, CGridCtrl::SortDescending);   // top: 5, 1, 3, 4, 2
        QWidget* vp = m_grid->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, CellCentre(*m_grid, 5, 2));
        QCOMPARE(m_grid->SelectedRows(), (QList<int>{5}));
        // Shift-click on the third display row selects display rows 1 to 3.
        const QPoint third = m_grid->visualRect(m_grid->model()->index(2, 1)).center();
        QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, third);
        QCOMPARE(m_grid->SelectedRows(), (QList<int>{1, 3, 5}));
        // Sorting again keeps the same records selected.
        m_grid->SetSort(3, CGridCtrl::SortAscending);
        QCOMPARE(m_grid->SelectedRows(), (QList<int>{1, 3, 5}));
        m_grid->SelectRow(2);
        QCOMPARE(m_grid->SelectedRows(), (QList<int>{2}));
    }

    // Text cells report on Return (not on Escape), combo cells on choosing, check boxes on a
    // click; always with the owner row, also when sorted.
    void endEdit_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("sorted");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("reported");   // empty: no report
        QTest::newRow("text, sorted") << 5 << 2 << true << int(Qt::Key_Return) << "foxtrot";
        QTest::newRow("text, Escape") << 1 << 2 << false << int(Qt::Key_Escape) << "";
        QTest::newRow("grey text cell") << 3 << 2 << false << int(Qt::Key_Return) << "";
        QTest::newRow("combo") << 2 << 5 << false << int(Qt::Key_Down) << "b";
        QTest::newRow("unchecked becomes 1") << 1 << 4 << false << 0 << "1";
        QTest::newRow("checked becomes 0") << 4 << 4 << false << 0 << "0";
        QTest::newRow("read-only check box") << 2 << 4 << false << 0 << "";
        QTest::newRow("check box, sorted") << 5 << 4 << true << 0 << "1";
    }
    void endEdit()
    {
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(bool, sorted);
        QFETCH(int, key);
        QFETCH(QString, reported);
        if (sorted)
            m_grid->SetSort(2, CGridCtrl::SortDescending);
        QSignalSpy spy(m_grid.get(), &CGridCtrl::EndEdit);
        if (col == 4) {
            QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, CellCentre(*m_grid, row, col));
        } else if (col == 5) {
            QVERIFY(m_grid->EditCell(row, col));
            auto* combo = m_grid->findChild<QComboBox*>("gridComboBox");
            QVERIFY(combo);
            QTest::keyClick(combo, Qt::Key(key));
        } else if (m_grid->EditCell(row, col)) {
            auto* edit = m_grid->findChild<QLineEdit*>("gridLineEdit");
            QVERIFY(edit);
            edit->setText(QStringLiteral("foxtrot"));
            QTest::keyClick(edit, Qt::Key(key));
        }
        QCoreApplication::processEvents();
        QTRY_COMPARE(spy.count(), reported.isEmpty() ? 0 : 1);
        if (!reported.isEmpty())
            QCOMPARE(spy.at(0), (QVariantList{row, col, reported}));
        QTRY_VERIFY(!m_grid->findChild<QLineEdit*>("gridLineEdit") && !m_grid->findChild<QComboBox*>("gridComboBox"));
    }

    void ownerMayRefillFromEndEdit()
    {
        // A view stores the edit and refills its grid with fewer rows from the slot itself.
        m_grid->SetSort(2, CGridCtrl::SortAscending);
        connect(m_grid.get(), &CGridCtrl::EndEdit, m_grid.get(), [this](int row, int, const QString&) {
            m_source.rows.removeAt(row - 1);
            m_grid->SetRowCount(int(m_source.rows.size()) + 1);
        });
        QSignalSpy spy(m_grid.get(), &CGridCtrl::EndEdit);
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, CellCentre(*m_grid, 5, 4));
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(DisplayOrder(*m_grid), (QList<int>{2, 4, 3, 1}));
        m_grid->grab();
    }

    // The layout file's sizes are applied, save a width not above 0 and another view's. A drag
    // stores its size; the program's own sizes, and the applying itself, store nothing.
    void layoutStore()
    {
        CDialogSetup store;
        store.StoreGridHeight("02", "0", 1, 44);
        store.StoreGridHeight("02", "0", 0, 22);
        store.StoreColumnWidth("02", "0", 2, 150);
        store.StoreColumnWidth("02", "0", 3, 0);
        store.StoreColumnWidth("01", "0", 4, 99);
        m_grid->SetColumnWidth(3, 60);
        m_grid->SetColumnWidth(4, 61);
        m_grid->SetLayoutStore(&store, QStringLiteral("02"));
        m_grid->ApplyLayout();
        QCOMPARE(m_grid->HeaderHeight(), 44);
        QCOMPARE(m_grid->rowHeight(3), 22);
        QCOMPARE((QList<int>{m_grid->ColumnWidth(2), m_grid->ColumnWidth(3), m_grid->ColumnWidth(4)}),
                 (QList<int>{150, 60, 61}));
        m_grid->SetColumnWidth(5, 77);
        QCOMPARE(store.ReadColumnWidth("02", "0", 4), -1);
        QCOMPARE(store.ReadColumnWidth("02", "0", 5), -1);
        m_grid->horizontalHeader()->resizeSection(1, 123);   // what a drag does
        QCOMPARE(store.ReadColumnWidth("02", "0", 2), 123);
        m_grid->verticalHeader()->resizeSection(2, 25);
        QCOMPARE(store.ReadGridHeight("02", "0", 0), 25);
        QCOMPARE(m_grid->rowHeight(4), 25);   // every data row follows
    }

    void printToPdfOnSeveralPages()
    {
        m_source.generated = true;
        m_grid->SetRowCount(401);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("grid.pdf"));
        CGridCtrl::SetPrintDialogHook([&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            return true;
        });
        const bool printed = m_grid->Print();
        CGridCtrl::SetPrintDialogHook({});
        QVERIFY(printed);
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray content = pdf.readAll();
        QVERIFY(content.startsWith("%PDF"));
        const qsizetype pages = content.count("/Type /Page") - content.count("/Type /Pages");
        QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
    }

    // A column is widened to its widest cell, which need not be its longest text, and every
    // row to the font. Dragged narrower, the column stops there; dragged wider, it keeps its
    // width when the table is fitted again.
    void columnsFitTheirWidestCell()
    {
        m_source.rows[0][2] = QStringLiteral("11111111111");   // longer, yet narrower than the next
        m_source.rows[4][2] = QStringLiteral("DDDDDDDDDD");
        m_grid->SetColumnWidth(3, 20);
        m_grid->FitColumns();
        const QFontMetrics cells(m_grid->font());
        QVERIFY(m_grid->RowHeight() >= cells.height());
        const int fitted = m_grid->ColumnWidth(3);
        for (int row = 1; row <= 5; ++row) {
            const QString text = m_source.CellText(row, 3);
            QVERIFY2(cells.horizontalAdvance(text) <= fitted - 2 * CGridDelegate::kTextMargin - 1, qPrintable(text));
        }
        QHeaderView* header = m_grid->horizontalHeader();
        header->resizeSection(2, 5);
        QCOMPARE(m_grid->ColumnWidth(3), fitted);
        header->resizeSection(2, fitted + 40);
        m_grid->FitColumns();
        QCOMPARE(m_grid->ColumnWidth(3), fitted + 40);
    }

    void tenThousandRowsStayVirtual()
    {
        m_source.generated = true;
        m_grid->SetRowCount(10001);
        m_source.textRequests = 0;
        m_grid->grab();
        // Only the visible cells are asked for, not 60,000.
        QVERIFY2(m_source.textRequests < 2000, qPrintable(QString::number(m_source.textRequests)));
        DoubleClickHeader(*m_grid, 2);   // text sort of 10,000 rows: "r10000c2" before "r1c2"
        QCOMPARE(m_grid->OwnerRowAt(1), 10000);
        QCOMPARE(m_grid->OwnerRowAt(10000), 9);   // "r9c2" last
        DoubleClickHeader(*m_grid, 1);   // numbers by value
        QCOMPARE(m_grid->OwnerRowAt(10000), 10000);
    }
};

QTEST_MAIN(TestGridCtrl)
#include "tst_gridctrl.moc"
