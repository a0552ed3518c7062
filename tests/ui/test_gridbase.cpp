// The table view base over an in-memory list: deleting selected rows.
#include "base/Paths.h"
#include "base/Prompt.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"
#include "views/CGridBaseDlg.h"

#include <QTest>

namespace {

// Column 1 Position, column 2 the name, column 3 a number falling from A to F. Record "A" has
// ID 11, "B" 12 and so on.
class ListView : public CGridBaseDlg {
public:
    QStringList recs{"A", "B", "C", "D", "E", "F"};
    std::vector<int> missingIds;      // DeleteRecordById answers NotFound for these
    int busyDuringDelete = 1;

    ListView(const ViewContext& ctx, const QString& dialogId) : CGridBaseDlg(ctx, dialogId, 1005) { Load(0); }
    int ColumnCount() const override { return 3; }
    QString ColumnTitle(int) const override { return {}; }
    int RecordCount() const override { return int(recs.size()); }
    QString RecordCellText(int index, int col) const override
    {
        const int letter = recs[index][0].unicode() - 'A';
        return col == 1 ? QString::number(index + 1) : col == 2 ? recs[index] : QString::number(6 - letter);
    }
    ChangeTexts ChangeTextNumbers() const override { return {69, 68, 75, 76, 64}; }
    int RecordIdAt(int index) const override { return 11 + recs[index][0].unicode() - 'A'; }
    RecordResult DeleteRecordById(int id) override
    {
        busyDuringDelete = std::min(busyDuringDelete, Busy());
        return std::count(missingIds.begin(), missingIds.end(), id) ? RecordResult::NotFound : RecordResult::Done;
    }
    int RemoveCachedIds(const std::vector<int32_t>& ids) override
    {
        int n = 0;
        for (int32_t id : ids)
            n += recs.removeAll(QString(QChar('A' + id - 11)));
        return n;
    }
};

} // namespace

class TestGridBase : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    ViewContext Ctx() { return ViewContext{m_lang.get(), nullptr, nullptr, nullptr}; }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, Paths::ProgramDir() + "/SysFiles/");
    }

    void deleteSelected_data()
    {
        QTest::addColumn<QList<int>>("rows");          // selected grid rows
        QTest::addColumn<bool>("yes");
        QTest::addColumn<std::vector<int>>("missing");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("rows 3 and 5") << QList<int>{5, 3} << true << std::vector<int>{} << QStringList{"A", "B", "D", "F"};
        QTest::newRow("answered no") << QList<int>{2, 4} << false << std::vector<int>{}
                                     << QStringList{"A", "B", "C", "D", "E", "F"};
        // A record gone from the table stays in the list; the others still go, the right ones.
        QTest::newRow("first not found") << QList<int>{2, 4, 6} << true << std::vector<int>{12}
                                         << QStringList{"A", "B", "C", "E"};
    }
    void deleteSelected()
    {
        QFETCH(QList<int>, rows);
        QFETCH(bool, yes);
        QFETCH(std::vector<int>, missing);
        QFETCH(QStringList, left);
        ScriptedPrompt prompt;
        prompt.NextAnswer(yes);
        ListView view(Ctx(), "02");
        view.missingIds = missing;
        for (int row : rows)
            view.Grid()->SetRowSelected(row, true);
        view.DeleteEntries();
        QCOMPARE(view.recs, left);
        QCOMPARE(prompt.Log().front().text, m_lang->GetLangItem(68));   // the question for several rows
        QCOMPARE(int(prompt.Log().size()), missing.empty() ? 1 : 2);   // the not-found message
        QCOMPARE(view.Grid()->RowCount(), int(left.size()) + 1);
        QCOMPARE(view.busyDuringDelete, 1);
        QCOMPARE(view.Busy(), 0);
    }
};

QTEST_MAIN(TestGridBase)
#include "test_gridbase.moc"
