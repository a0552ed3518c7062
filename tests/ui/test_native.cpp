// The program as a German or English desktop user meets it: tables that show every number,
// date and title whole in the font in use.
#include "grid/CGridDelegate.h"
#include "layout/CDialogSetup.h"
#include "records/RecordOps.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

namespace {

using Fit = CGridCtrl::ColumnFit;

// Hexadecimal numbers with the widest letters first, so a width taken from narrow digits fails.
QString TransponderNumber(int i)
{
    static const char* wide[] = {"DDDDDDDDDD", "0000DDDDDD", "BBBBBBBBBB", "8888888888", "00000CCCCC"};
    if (i < 5)
        return QString::fromLatin1(wide[i]);
    return QStringLiteral("%1").arg(quint64(i) * 0x2F3B7D1ull, 10, 16, QLatin1Char('0')).toUpper().right(10);
}

} // namespace

class TestNative : public QObject {
    Q_OBJECT
    VmTest::WindowFixture w;
    CDialogSetup m_layout;
    std::vector<int32_t> m_readers;

    // A site: 12 readers with long names (the last a Birch), 400 transponders and persons,
    // 25 schedules and 3000 events over a year.
    void SeedSite()
    {
        CStoreDB_Handler& s = *w.store;
        AddRecords<structLeser>(s.Get_Ptr_To_tblLeser(), 12, [](int k, structLeser& l) {
            l.Name = QStringLiteral("Leser_EC%1AB_Nordtor").arg(k, 2, 10, QLatin1Char('0'));
            l.Model = k == 11 ? QStringLiteral("Birch") : k % 2 ? QStringLiteral("Maple") : QStringLiteral("Cedar");
            l.Identity = QStringLiteral("CDWWMM%1").arg(k, 14, 10, QLatin1Char('0'));
            l.Info = QStringLiteral("WM");
            l.SwitchTime = QStringLiteral("5");
            l.Params = QStringLiteral("00");
        }, &m_readers);
        for (int k = 0; k < 25; ++k)
            AddRecords<structZeitschema>(s.Get_Ptr_To_tblZeitschema(), 4, [k](int w, structZeitschema& z) {
                z.Name = QStringLiteral("Schicht %1").arg(k);
                z.From = w ? QStringLiteral("0000") : QStringLiteral("0545");
                z.To = QStringLiteral("2359");
                for (int d = 0; d < 7; ++d)
                    z.Day[d] = 1;
            });
        const QString readers = QString::number(m_readers[0]) + QLatin1Char(',') + QString::number(m_readers[1]);
        std::vector<int32_t> transponders;
        AddRecords<structTransponder>(s.Get_Ptr_To_tblTransponder(), 400, [&](int k, structTransponder& t) {
            t.Number = TransponderNumber(k);
            t.ScheduleID = 1;
            t.Readers = readers;
        }, &transponders);
        AddRecords<structPerson>(s.Get_Ptr_To_tblPerson(), 400, [&](int k, structPerson& p) {
            p.Name = QStringLiteral("Maximiliane Wolkenstein-Übermuth %1").arg(k);
            p.TransponderID = transponders[size_t(k)];
        });
        AddRecords<structEvents>(s.Get_Ptr_To_tblEvents(), 3000, [&](int k, structEvents& e) {
            e.TransponderNo = TransponderNumber(k % 400);
            e.Date = QStringLiteral("%1%2%3").arg(k % 28 + 1, 2, 10, QLatin1Char('0'))
                         .arg(k % 12 + 1, 2, 10, QLatin1Char('0')).arg(2026);
            e.Time = QStringLiteral("%1%2").arg(k % 24, 2, 10, QLatin1Char('0')).arg(k % 60, 2, 10, QLatin1Char('0'));
            e.ClassCode = QStringLiteral("0W%1").arg(k % 8);
            e.ClassText = QStringLiteral("Zutritt gewährt");
            e.DetailCode = QStringLiteral("MW%1").arg(k % 16, 2, 16, QLatin1Char('0'));
            e.DetailText = QStringLiteral("Transponder im Zeitplan");
            e.ReaderID = m_readers[size_t(k % 12)];
            e.ReaderName = QStringLiteral("Leser_EC%1AB_Nordtor").arg(k % 12, 2, 10, QLatin1Char('0'));
        });
        s.Get_Ptr_To_tblLeser()->_Requery();
        s.Get_Ptr_To_tblZeitschema()->_Requery();
        s.Get_Ptr_To_tblTransponder()->_Requery();
        s.Get_Ptr_To_tblPerson()->_Requery();
        s.Get_Ptr_To_tblEvents()->_Requery();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(w.Open(0));
        QCOMPARE(m_layout.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        SeedSite();
    }

    void tablesShowNumbersAndTitlesWhole_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<uint>("language");
        QTest::addColumn<int>("pointSize");
        const std::pair<const char*, CLeftTreeView::Category> views[] = {
            {"readers", CLeftTreeView::Readers}, {"transponders", CLeftTreeView::Transponders},
            {"persons", CLeftTreeView::Persons}, {"schedules", CLeftTreeView::Schedules},
            {"events", CLeftTreeView::Events}};
        // The font of the desktop, and a larger one than the default widths were made for.
        const int normal = QApplication::font().pointSize();
        for (int size : {normal, 13})
            for (uint language : {0u, 1u})
                for (const auto& [name, category] : views)
                    QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3pt").arg(name, language ? "en" : "de").arg(size)))
                        << int(category) << language << size;
    }
    void tablesShowNumbersAndTitlesWhole()
    {
        QFETCH(int, category);
        QFETCH(uint, language);
        QFETCH(int, pointSize);
        QFont font = QApplication::font();
        font.setPointSize(pointSize);
        QApplication::setFont(font);
        w.SetLanguage(language);
        ViewContext ctx{w.lang.get(), w.store.get(), &m_layout, nullptr};
        std::unique_ptr<CGridBaseDlg> view(
            CLeftTreeView::CreateDefaultView(CLeftTreeView::Category(category), ctx, nullptr));
        view->resize(1200, 700);
        view->Load(0);
        CGridCtrl* grid = view->Grid();
        QVERIFY(view->RecordCount() > 0);
        const QFontMetrics cells(grid->font());
        const QFontMetrics titles(grid->horizontalHeader()->font());
        QVERIFY(grid->RowHeight() >= cells.height());
        auto checkColumn = [&](int col) -> QString {
            const int width = grid->ColumnWidth(col);
            if (width == 0)
                return {};   // hidden
            const QString title = view->CellText(0, col);
            const Fit fit = view->ColumnFitOf(col);
            if (fit == Fit::FreeTitle) {
                if (grid->CellToolTip(0, col) != title)
                    return QStringLiteral("no tooltip \"%1\"").arg(title);
            } else {
                const QRect room(0, 0, width - 4, grid->HeaderHeight() - 2);
                const QRect need = titles.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, title);
                if (need.width() > room.width() || need.height() > room.height())
                    return QStringLiteral("title \"%1\" in %2 pixels").arg(title).arg(width);
            }
            if (fit == Fit::FreeText || grid->ColumnKind(col) == CGridCtrl::CellKind::Check)
                return {};
            const int room = width - 2 * CGridDelegate::kTextMargin - 1;
            for (int row = 1; row <= view->RecordCount(); ++row) {
                const QString text = view->CellText(row, col);
                if (cells.horizontalAdvance(text) > room)
                    return QStringLiteral("\"%1\" of column \"%2\" in %3 pixels").arg(text, title).arg(width);
            }
            return {};
        };
        for (int col = 1; col <= view->ColumnCount(); ++col) {
            const QString fault = checkColumn(col);
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
        }
        // Dragged narrower than its numbers, a column stops at their width; dragged wider, it
        // keeps its width when the table is filled again.
        QHeaderView* header = grid->horizontalHeader();
        header->resizeSection(0, 5);
        QVERIFY2(checkColumn(1).isEmpty(), qPrintable(checkColumn(1)));
        const int wider = grid->ColumnWidth(1) + 40;
        header->resizeSection(0, wider);
        view->Load(0);
        QCOMPARE(grid->ColumnWidth(1), wider);
    }
};

QTEST_MAIN(TestNative)
#include "test_native.moc"
