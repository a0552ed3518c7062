#include "app/Paths.h"
#include "app/Prompt.h"
#include "layout/CDialogSetup.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

namespace {

// A table over an in-memory list, standing in for a record cache: column 1 Position,
// column 2 name (editable), column 3 a read-only number.
class ListView : public CGridBaseDlg {
public:
    struct Rec { int id; QString name; int number; };
    std::vector<Rec> recs;
    std::vector<int> missingIds;      // DeleteRecordById answers NotFound for these
    std::vector<int> removedAt;       // RemoveCachedAt calls, in order
    std::vector<int> busyDuringDelete;
    int allDeleted = 0;

    ListView(const ViewContext& ctx, const QString& dialogId) : CGridBaseDlg(ctx, dialogId, 1005) {}

    int ColumnCount() const override { return 3; }
    QString ColumnTitle(int col) const override { return QStringLiteral("T%1").arg(col); }
    int RecordCount() const override { return int(recs.size()); }
    QString RecordCellText(int index, int col) const override
    {
        const Rec& r = recs[size_t(index)];
        switch (col) {
        case 1: return QString::number(index + 1);
        case 2: return r.name;
        case 3: return QString::number(r.number);
        default: return {};
        }
    }
    bool IsColumnReadOnly(int col) const override { return col != 2; }
    std::vector<int> DefaultColumnWidths() const override { return {30, 150, 60}; }

    ChangeTexts ChangeTextNumbers() const override { return {69, 68, 75, 76, 64}; }
    int RecordIdAt(int index) const override { return recs[size_t(index)].id; }
    RecordResult DeleteRecordById(int id) override
    {
        busyDuringDelete.push_back(Busy());
        for (int m : missingIds)
            if (m == id)
                return RecordResult::NotFound;
        return RecordResult::Done;
    }
    int RemoveCachedAt(int index) override
    {
        removedAt.push_back(index);
        if (index < 0 || index >= RecordCount())
            return 0;
        recs.erase(recs.begin() + index);
        return 1;
    }
    RecordResult DeleteAllRecords() override
    {
        ++allDeleted;
        return RecordResult::Done;
    }
    void RemoveAllCached() override { recs.clear(); }

    QStringList Names() const
    {
        QStringList n;
        for (const Rec& r : recs)
            n << r.name;
        return n;
    }
};

std::vector<ListView::Rec> SixRecords()
{
    return {{11, "A", 6}, {12, "B", 5}, {13, "C", 4}, {14, "D", 3}, {15, "E", 2}, {16, "F", 1}};
}

void DoubleClickHeader(CGridCtrl* grid, int col)
{
    QHeaderView* header = grid->horizontalHeader();
    const int section = col - 1;   // data column 1 is the first section
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestGridBase : public QObject {
    Q_OBJECT
    CLanguageHandler* m_lang = nullptr;
    ViewContext Ctx(CDialogSetup* layout = nullptr) { return ViewContext{m_lang, nullptr, layout, nullptr}; }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = new CLanguageHandler(1, Paths::ProgramDir() + "/SysFiles/");
        CGridBaseDlg::SetContextMenuPopupEnabled(false);
    }
    void cleanupTestCase() { delete m_lang; }

    void displayCallback()
    {
        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.Load(0);
        CGridCtrl* grid = view.Grid();
        QVERIFY(grid);
        QCOMPARE(grid->objectName(), QString("1005"));
        QCOMPARE(grid->RowCount(), 7);
        QCOMPARE(grid->ColumnCount(), 4);
        QCOMPARE(grid->CellText(0, 2), QString("T2"));
        QCOMPARE(grid->CellText(3, 2), QString("C"));     // row r shows list index r - 1
        QCOMPARE(grid->CellText(3, 1), QString("3"));
        QCOMPARE(view.CellText(3, 0), QString());         // nothing for the fixed column
        QCOMPARE(view.CellText(8, 2), QString());         // nor below the last record
        QCOMPARE(view.CellBackground(2, 3), QColor(185, 185, 185));
        QVERIFY(!view.CellBackground(2, 2).isValid());
        QVERIFY(view.IsCellEditable(2, 2));
        QVERIFY(!view.IsCellEditable(2, 3));
        QCOMPARE(grid->HeaderHeight(), 30);
        QCOMPARE(grid->RowHeight(), 18);
        QCOMPARE(grid->ColumnWidth(0), 10);
        QCOMPARE(grid->ColumnWidth(2), 150);

        ListView empty(Ctx(), "02");
        empty.Load(0);
        QCOMPARE(empty.Grid()->RowCount(), 1);            // the header row only
    }

    void keepWidthsFlag()
    {
        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.Load(0);
        view.Grid()->SetColumnWidth(2, 77);
        view.SetKeepWidths(1);
        view.Load(0);
        QCOMPARE(view.Grid()->ColumnWidth(2), 77);
        view.SetKeepWidths(0);
        view.Load(0);
        QCOMPARE(view.Grid()->ColumnWidth(2), 150);
    }

    void headerDoubleClicksCycleTheSort()
    {
        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.resize(600, 400);
        view.show();
        view.Load(0);
        CGridCtrl* grid = view.Grid();
        const QColor plain = grid->HeaderBackground(3);

        DoubleClickHeader(grid, 3);
        QCOMPARE(view.SortColumn(), 3);
        QCOMPARE(view.SortStep(), 1);
        QCOMPARE(grid->HeaderBackground(3), QColor(255, 255, 190));
        QCOMPARE(grid->OwnerRowAt(1), 6);                 // number 1 is record F

        DoubleClickHeader(grid, 3);
        QCOMPARE(view.SortStep(), 2);
        QCOMPARE(grid->HeaderBackground(3), QColor(190, 255, 255));
        QCOMPARE(grid->OwnerRowAt(1), 1);

        DoubleClickHeader(grid, 3);
        QCOMPARE(view.SortStep(), 0);
        QCOMPARE(grid->HeaderBackground(3), plain);

        DoubleClickHeader(grid, 3);
        DoubleClickHeader(grid, 2);                       // another column: ascending at once
        QCOMPARE(view.SortColumn(), 2);
        QCOMPARE(view.SortStep(), 1);
        QCOMPARE(grid->HeaderBackground(3), plain);
    }

    void removalIndices_data()
    {
        QTest::addColumn<std::vector<int>>("sorted");
        QTest::addColumn<std::vector<int>>("removed");
        QTest::newRow("rows 3 and 5") << std::vector<int>{2, 4} << std::vector<int>{2, 3};
        QTest::newRow("positions 2, 5, 7") << std::vector<int>{1, 4, 6} << std::vector<int>{1, 3, 4};
        QTest::newRow("adjacent") << std::vector<int>{0, 1, 2} << std::vector<int>{0, 0, 0};
        QTest::newRow("none") << std::vector<int>{} << std::vector<int>{};
    }
    void removalIndices()
    {
        QFETCH(std::vector<int>, sorted);
        QFETCH(std::vector<int>, removed);
        QCOMPARE(CGridBaseDlg::RemovalIndices(sorted), removed);
    }

    void deleteSelected_data()
    {
        QTest::addColumn<QList<int>>("rows");          // selected grid rows
        QTest::addColumn<bool>("yes");
        QTest::addColumn<std::vector<int>>("missing");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("exclamations");
        QTest::newRow("rows 3 and 5") << QList<int>{5, 3} << true << std::vector<int>{} << "68"
                                      << QStringList{"A", "B", "D", "F"} << 0;
        QTest::newRow("one row") << QList<int>{1} << true << std::vector<int>{} << "69"
                                 << QStringList{"B", "C", "D", "E", "F"} << 0;
        QTest::newRow("answered no") << QList<int>{2, 4} << false << std::vector<int>{} << "68"
                                     << QStringList{"A", "B", "C", "D", "E", "F"} << 0;
        // A record gone from the table stays in the list; the others still go, the right ones.
        QTest::newRow("first not found") << QList<int>{2, 4, 6} << true << std::vector<int>{12} << "68"
                                         << QStringList{"A", "B", "C", "E"} << 1;
    }
    void deleteSelected()
    {
        QFETCH(QList<int>, rows);
        QFETCH(bool, yes);
        QFETCH(std::vector<int>, missing);
        QFETCH(QString, question);
        QFETCH(QStringList, left);
        QFETCH(int, exclamations);

        ScriptedPrompt prompt;
        prompt.NextAnswer(yes);
        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.missingIds = missing;
        view.Load(0);
        for (int row : rows)
            view.Grid()->SetRowSelected(row, true);
        view.DeleteEntries();

        QCOMPARE(view.Names(), left);
        QCOMPARE(prompt.Log().front().text, m_lang->GetLangItem(question.toUInt()));
        int shown = 0;
        for (const auto& e : prompt.Log())
            shown += e.kind == ScriptedPrompt::Shown::Message && e.icon == PromptIcon::Exclamation;
        QCOMPARE(shown, exclamations);
        QCOMPARE(view.Grid()->RowCount(), int(left.size()) + 1);
        for (int busy : view.busyDuringDelete)
            QCOMPARE(busy, 1);
        QCOMPARE(view.Busy(), 0);
    }

    void deleteAllOnEmptyTable()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        ListView view(Ctx(), "02");
        view.Load(0);
        view.DeleteAllEntries();
        QCOMPARE(prompt.Texts(), QStringList{m_lang->GetLangItem(64)});
        QCOMPARE(view.allDeleted, 1);
        QCOMPARE(view.Grid()->RowCount(), 1);

        prompt.NextAnswer(false);
        view.recs = SixRecords();
        view.Load(0);
        view.DeleteAllEntries();
        QCOMPARE(view.allDeleted, 1);
        QCOMPARE(view.RecordCount(), 6);
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("deleteLabel");
        QTest::addColumn<bool>("deleteEnabled");
        QTest::addColumn<bool>("deleteAllEnabled");
        QTest::newRow("empty table") << 0 << QList<int>{} << "62" << false << false;
        QTest::newRow("one selected") << 6 << QList<int>{2} << "62" << true << true;
        QTest::newRow("two selected") << 6 << QList<int>{2, 5} << "67" << true << true;
    }
    void contextMenu()
    {
        QFETCH(int, records);
        QFETCH(QList<int>, selected);
        QFETCH(QString, deleteLabel);
        QFETCH(bool, deleteEnabled);
        QFETCH(bool, deleteAllEnabled);

        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.recs.resize(size_t(records));
        view.Load(0);
        for (int row : selected)
            view.Grid()->SetRowSelected(row, true);
        view.ShowContextMenu(2, 2, QPoint());
        QMenu* menu = view.LastContextMenu();
        QVERIFY(menu);
        QCOMPARE(view.LastRightClickIndex(), 1);
        auto* insert = menu->findChild<QAction*>("actionInsertEntry");
        auto* del = menu->findChild<QAction*>("actionDeleteEntry");
        auto* all = menu->findChild<QAction*>("actionDeleteAllEntries");
        QVERIFY(insert && del && all);
        QCOMPARE(insert->text(), m_lang->GetLangItem(61));
        QVERIFY(insert->isEnabled());
        QCOMPARE(del->text(), m_lang->GetLangItem(deleteLabel.toUInt()));
        QCOMPARE(del->isEnabled(), deleteEnabled);
        QCOMPARE(all->isEnabled(), deleteAllEnabled);
    }

    void menuCommandRunsAfterTheMenu()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        ListView view(Ctx(), "02");
        view.recs = SixRecords();
        view.Load(0);
        view.ShowContextMenu(1, 2, QPoint());
        view.LastContextMenu()->findChild<QAction*>("actionDeleteAllEntries")->trigger();
        QCOMPARE(view.RecordCount(), 6);                  // queued: not yet
        QTRY_COMPARE(view.RecordCount(), 0);
    }

    void columnWidthsGoThroughTheLayoutFile()
    {
        // The layout file lives in "SysFiles/" beside the program.
        const QString programDir = VmTest::IsolateHome() + "/program";
        QDir().mkpath(programDir + "/SysFiles");
        Paths::SetProgramDir(programDir);
        const QString file = "DialogSetup.xml";
        {
            CDialogSetup layout;
            QCOMPARE(layout.OpenFile(file), 1);
            ListView view(Ctx(&layout), "04");
            view.recs = SixRecords();
            view.Load(0);
            // the user drags column 2 wider
            view.Grid()->horizontalHeader()->resizeSection(1, 123);
            layout.SaveFile();
        }
        CDialogSetup reread;
        QCOMPARE(reread.OpenFile(file), 1);
        QCOMPARE(reread.ReadColumnWidth("04", "0", 2), 123);
        QCOMPARE(reread.ReadColumnWidth("02", "0", 2), -1);   // filed under its own view only

        ListView again(Ctx(&reread), "04");
        again.recs = SixRecords();
        again.Load(0);
        QCOMPARE(again.Grid()->ColumnWidth(2), 123);
        QCOMPARE(again.Grid()->ColumnWidth(3), 60);            // not in the file: the default
        Paths::SetProgramDir(QString());
    }
};

QTEST_MAIN(TestGridBase)
#include "test_gridbase.moc"
