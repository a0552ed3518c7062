// The two menu commands through the main window: the kind dialogs, the shown table exported as
// the user sees it, an import refreshing the tree, and the error list of a second import.
#include "app/CMainFrame.h"
#include "base/Prompt.h"
#include "csv/CsvTestSupport.h"
#include "exchange/CExportDataDlg.h"
#include "exchange/CImportDataDlg.h"
#include "exchange/CImportErrorDlg.h"
#include "readers/CDataProgressDlg.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QRadioButton>
#include <QSplitter>
#include <QTimer>
#include <QtTest>

using namespace CsvTest;

namespace {

// A transponder table of two rows with reader columns "Door" and "Gate".
class FakeTransponderView : public CGridBaseDlg {
public:
    FakeTransponderView(const ViewContext& ctx, QWidget* parent) : CGridBaseDlg(ctx, "98", 1005, parent) {}
    int ColumnCount() const override { return 7; }
    QString ColumnTitle(int col) const override { return QStringList{"", "No.", "C", "Nr", "Person", "Plan", "Door", "Gate"}.value(col); }
    int RecordCount() const override { return 2; }
    QString RecordCellText(int index, int col) const override
    {
        static const QStringList rows[2] = {{"", "1", "0", "0A1B2C3D4E", "Anna", "Frueh", "0", "1"},
                                            {"", "2", "0", "1234ABCD99", "---", "Frueh", "1", "1"}};
        return rows[index].value(col);
    }
};

// Plays the user at every modal window: picks a radio of a kind dialog and presses OK, and
// notes the lines of the error list.
class User : public QObject {
public:
    explicit User(QString radio = {}) : m_radio(std::move(radio))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* dlg = qobject_cast<QDialog*>(modal);
            if (!dlg)
                return;
            if (auto* errors = qobject_cast<CImportErrorDlg*>(dlg))
                for (int i = 0; i < errors->List()->count(); ++i)
                    errorList << errors->List()->item(i)->text();
            if (auto* r = dlg->findChild<QRadioButton*>(m_radio))
                r->click();
            dlg->accept();
        });
        m_timer.start(10);
    }
    QStringList errorList;

private:
    QString m_radio;
    QTimer m_timer;
};

} // namespace

class TstCsvCommands : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_lang;
    std::unique_ptr<CStoreDB_Handler> m_store;
    ScriptedPrompt m_prompt;

    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(m_lang.get(), m_store.get(), nullptr);
        frame->Tree()->SetViewFactory([](CLeftTreeView::Category c, const ViewContext& ctx, QWidget* parent) -> CGridBaseDlg* {
            return c == CLeftTreeView::Transponders ? new FakeTransponderView(ctx, parent) : nullptr;
        });
        return frame;
    }
    QAction* Action(CMainFrame& frame, const char* name) { return frame.findChild<QAction*>(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_lang = std::make_unique<CLanguageHandler>(1, QCoreApplication::applicationDirPath() + QStringLiteral("/SysFiles/"));
        CLeftTreeView::SetPortQuestion([](CLeftTreeView*) { return 0; });
        Settings::WriteLanguage(1);   // the literals follow the setting
    }
    void init()
    {
        m_prompt.Clear();
        m_store.reset();
        m_store = FreshStore(m_lang.get());
        AddReader(*m_store, QStringLiteral("Door"));
        AddReader(*m_store, QStringLiteral("Gate"));
    }

    void exportDialogOffersCurrentViewOnlyForATable()
    {
        CExportDataDlg without(m_lang.get(), false);
        auto* current = without.findChild<QRadioButton*>(QStringLiteral("1028"));
        QVERIFY(!current->isEnabled());
        QVERIFY(without.findChild<QRadioButton*>(QStringLiteral("1029"))->isChecked());
        QCOMPARE(without.Kind(), CsvExportKind::Transponders);
        without.findChild<QRadioButton*>(QStringLiteral("1031"))->click();
        QCOMPARE(without.Kind(), CsvExportKind::Events);

        CExportDataDlg with(m_lang.get(), true);
        QVERIFY(with.findChild<QRadioButton*>(QStringLiteral("1028"))->isChecked());
        QCOMPARE(with.Kind(), CsvExportKind::CurrentView);
        QCOMPARE(with.windowTitle(), m_lang->GetLangItem(86));

        CImportDataDlg import(m_lang.get());
        QCOMPARE(import.Kind(), CsvImportKind::Transponders);
        import.findChild<QRadioButton*>(QStringLiteral("1030"))->click();
        QCOMPARE(import.Kind(), CsvImportKind::Persons);
    }

    // The shown transponder table, sorted by the user, is written in the order on screen.
    void exportOfTheShownTable()
    {
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        tree->setCurrentItem(tree->CategoryItem(CLeftTreeView::Transponders));
        QTRY_VERIFY(dynamic_cast<FakeTransponderView*>(tree->RightView()));
        tree->RightView()->Grid()->SetSort(3, CGridCtrl::SortDescending);

        const QString path = VmTest::IsolateHome() + QStringLiteral("/view.txt");
        m_prompt.NextFileName(path);
        User user;
        Action(*frame, "actionExport")->trigger();
        QCOMPARE(ReadAll(VmTest::IsolateHome() + QStringLiteral("/view.csv")),
                 QByteArray("Transponder;1234ABCD99;---;Frueh;Door;Gate\r\nTransponder;0A1B2C3D4E;Anna;Frueh;;Gate\r\n"));
        QVERIFY(m_prompt.LastFileRequest().fileName.startsWith(QStringLiteral("Current_view_")));
        QCOMPARE(frame->WaitFlag(), 0);
    }

    // An import fills the tree's reader nodes again and the table; the same file a second time
    // lists every line, numbered from 1.
    void importTwice()
    {
        const QString path = WriteTemp(QStringLiteral("in.csv"), "Transponder;0000000001;Anna;;Door\r\n"
                                                                 "Transponder;0000000002;---;;Gate\r\n"
                                                                 "Transponder;0000000003;Ben;\r\n");
        auto frame = MakeFrame();
        CLeftTreeView* tree = frame->Tree();
        // A reader added behind the tree's back appears once the import refreshes it.
        AddReader(*m_store, QStringLiteral("Lab"));
        User user;
        m_prompt.NextFileName(path);
        Action(*frame, "actionImport")->trigger();
        QCOMPARE(m_store->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 3);
        QCOMPARE(user.errorList, QStringList());
        QCOMPARE(tree->CategoryItem(CLeftTreeView::Transponders)->childCount(), 3);
        QCOMPARE(Settings::ReadPath(QStringLiteral("ImportPath")), path);
        QCOMPARE(frame->WaitFlag(), 0);

        m_prompt.NextFileName(path);
        Action(*frame, "actionImport")->trigger();
        QCOMPARE(user.errorList, QStringList({"Nr.: 1 -> 0000000001;Anna;;Door", "Nr.: 2 -> 0000000002;---;;Gate",
                                              "Nr.: 3 -> 0000000003;Ben;"}));
        QCOMPARE(m_store->Get_Ptr_To_tblTransponder()->GetAnz_Transponder(), 3);
        QTRY_VERIFY([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<CDataProgressDlg*>(w) && w->isVisible())
                    return false;
            return true;
        }());
    }
};

QTEST_MAIN(TstCsvCommands)
#include "tst_csv_commands.moc"
