// The two menu commands through the main window: the shown table exported as the user sees it,
// an import refreshing the tree, and the error list of a second import.
#include "base/Prompt.h"
#include "csv/CsvTestSupport.h"
#include "exchange/CImportErrorDlg.h"
#include "persons/ShowView.h"
#include "support/WindowFixture.h"
#include "views/CEventsDlg.h"
#include "views/CNameDlg.h"
#include "views/CTransponderDlg.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <QtTest>

using namespace CsvTest;

namespace {

// Plays the user at every modal window: takes what it offers (OK), and notes the lines of the
// error list.
class User : public QObject {
public:
    User()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dlg = qobject_cast<QDialog*>(modal);
            if (!dlg)
                return;
            if (auto* errors = qobject_cast<CImportErrorDlg*>(dlg))
                for (int i = 0; i < errors->List()->count(); ++i)
                    errorList << errors->List()->item(i)->text();
            dlg->accept();
        });
        m_timer.start(10);
    }
    QStringList errorList;

private:
    QTimer m_timer;
};

} // namespace

class TstCsvCommands : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    ScriptedPrompt m_prompt;
    int32_t m_door = 0, m_gate = 0;

    // What the file must hold for the shown table: each row in the order on screen, the kind,
    // the cells of `cols`, then for each reader column from `firstReader` (0: none) its title
    // when ticked.
    static QStringList Shown(const CGridCtrl& g, const QString& kind, const QList<int>& cols, int firstReader)
    {
        QStringList lines;
        for (int d = 1; d < g.RowCount(); ++d) {
            const int row = g.OwnerRowAt(d);
            QStringList fields{kind};
            for (int c : cols)
                fields << g.CellText(row, c);
            for (int c = firstReader; firstReader && c < g.ColumnCount(); ++c)
                fields << (g.CellText(row, c) == QLatin1String("1") ? g.CellText(0, c) : QString());
            lines << fields.join(u';');
        }
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
        m_w.ShowFrame();
    }
    void init()
    {
        m_prompt.Clear();
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblLeser(), {});
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblPerson(), {});
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblTransponder(), {});
        DeleteRecordsWhere(m_store->Get_Ptr_To_tblEvents(), {});
        m_store->Get_Ptr_To_tblEvents()->_Requery();
        m_door = AddReader(*m_store, QStringLiteral("Door"));
        m_gate = AddReader(*m_store, QStringLiteral("Gate"));
        m_w.frame->Tree()->RebuildTreeChildren();
    }

    // The shown table, sorted by the user, is written row by row as on screen, each field
    // taken from the column of its title.
    void exportOfTheShownTable_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QList<int>>("cols");
        QTest::addColumn<int>("firstReader");
        QTest::addColumn<QString>("known");   // one line, as the file must hold it
        QTest::newRow("transponders") << int(CLeftTreeView::Transponders) << "Transponder"
            << QList<int>{CTransponderDlg::ColNumber, CTransponderDlg::ColPerson, CTransponderDlg::ColSchedule}
            << int(CTransponderDlg::ColFirstReader) << "Transponder;0A1B2C3D4E;Anna;Full access;Door;Gate";
        QTest::newRow("persons") << int(CLeftTreeView::Persons) << "Person"
            << QList<int>{CNameDlg::ColName, CNameDlg::ColTransponder, CNameDlg::ColSchedule}
            << int(CNameDlg::ColFirstReader) << "Person;Anna;0A1B2C3D4E;Full access;Door;Gate";
        QList<int> eventCols;
        for (int c = CEventsDlg::ColTransponder; c <= CEventsDlg::ColDetailText; ++c)
            eventCols << c;
        QTest::newRow("events") << int(CLeftTreeView::Events) << "Event" << eventCols << 0
            << "Event;0A1B2C3D4E;Anna;Gate;04.12.2026;14:05;10;Alarm;011;Opened";
    }
    void exportOfTheShownTable()
    {
        QFETCH(int, category);
        QFETCH(QString, kind);
        QFETCH(QList<int>, cols);
        QFETCH(int, firstReader);
        const QString both = QStringLiteral(";%1;%2;").arg(m_door).arg(m_gate);
        AddTransponder(*m_store, QStringLiteral("0A1B2C3D4E"), QStringLiteral("Anna"), 1, both);
        AddTransponder(*m_store, QStringLiteral("1234ABCD99"), QString(), 1, QString::number(m_door));
        AddTransponder(*m_store, QStringLiteral("00FF112233"), QStringLiteral("Ben"), 1, QString::number(m_gate));
        AddRecords(m_store->Get_Ptr_To_tblEvents(), 3, [&](int k, structEvents& e) {
            e.TransponderNo = QStringList{"0A1B2C3D4E", "00FF112233", "1234ABCD99"}.at(k);
            e.Date = QStringLiteral("04122026"), e.Time = QStringLiteral("1405");
            e.ClassCode = QStringLiteral("10"), e.ClassText = QStringLiteral("Alarm");
            e.DetailCode = QStringLiteral("011"), e.DetailText = QStringLiteral("Opened");
            e.ReaderID = m_gate, e.ReaderName = QStringLiteral("Gate");
        });
        m_store->Get_Ptr_To_tblEvents()->_Requery();
        auto* view = VmTest::ShowView<CGridBaseDlg>(*m_w.frame, CLeftTreeView::Category(category));
        view->Grid()->SetSort(cols.first(), CGridCtrl::SortDescending);

        const QString path = VmTest::IsolateHome() + u'/' + QString::fromLatin1(QTest::currentDataTag());
        m_prompt.NextFileName(path + QStringLiteral(".txt"));
        User user;
        m_w.Action("actionExport")->trigger();
        const QStringList lines = QString::fromLatin1(VmTest::ReadFile(path + QStringLiteral(".csv")))
                                      .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines, Shown(*view->Grid(), kind, cols, firstReader));
        QTEST(lines.value(1), "known");   // the second row: sorted descending
        QVERIFY(m_prompt.LastFileRequest().fileName.startsWith(QStringLiteral("Current_view_")));
        QCOMPARE(m_w.frame->WaitFlag(), 0);
    }

    // An import fills the tree's reader nodes again and the table; the same file a second time
    // lists every line, numbered from 1.
    void importTwice()
    {
        const QString path = WriteTemp(QStringLiteral("in.csv"), "Transponder;0000000001;Anna;;Door\r\n"
                                                                 "Transponder;0000000002;---;;Gate\r\n"
                                                                 "Transponder;0000000003;Ben;\r\n");
        // A reader added behind the tree's back appears once the import refreshes it.
        AddReader(*m_store, QStringLiteral("Lab"));
        User user;
        m_prompt.NextFileName(path);
        m_w.Action("actionImport")->trigger();
        QCOMPARE(m_store->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 3);
        QCOMPARE(user.errorList, QStringList());
        QCOMPARE(m_w.frame->Tree()->CategoryItem(CLeftTreeView::Transponders)->childCount(), 3);
        QCOMPARE(m_w.frame->WaitFlag(), 0);

        m_prompt.NextFileName(path);
        m_w.Action("actionImport")->trigger();
        QCOMPARE(user.errorList, QStringList({"Nr.: 1 -> 0000000001;Anna;;Door", "Nr.: 2 -> 0000000002;---;;Gate",
                                              "Nr.: 3 -> 0000000003;Ben;"}));
        QCOMPARE(m_store->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 3);
    }
};

QTEST_MAIN(TstCsvCommands)
#include "tst_csv_commands.moc"
