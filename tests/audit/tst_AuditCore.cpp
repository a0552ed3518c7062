// The comparison of a reader's list with the database's, the event filter on a site's worth of
// events, the event table's filter row (what it shows, and that delete all then removes only
// what is shown), and the readers' pending marks and event counts.
#include "base/Prompt.h"
#include "readers/PendingWrites.h"
#include "readers/ReaderComparison.h"
#include "report/EventFilter.h"
#include "support/SiteEvents.h"
#include "support/WindowFixture.h"
#include "views/CEventFilterBar.h"
#include "views/CEventsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QtTest>

namespace {

constexpr int kEvents = 21000;        // 750 days of four readers' worth; a multiple of 4, 3 and 28
const QDate kFirst(2026, 2, 1);

} // namespace

class TestAuditCore : public QObject {
    Q_OBJECT
    VmTest::WindowFixture m_w;
    CStoreDB_Handler* m_store = nullptr;
    std::vector<int32_t> m_readers;

private slots:
    void initTestCase()
    {
        QVERIFY(m_w.Open(1));
        m_store = m_w.store.get();
        m_readers = VmTest::FillSite(*m_store, kEvents, kFirst);
    }

    // Lists as "reader|database" (numbers a letter each) and what must be found.
    void compare_data()
    {
        QTest::addColumn<QString>("lists");
        QTest::addColumn<QString>("onlyInReader");
        QTest::addColumn<QString>("onlyInDatabase");
        QTest::addColumn<bool>("orderDiffers");
        QTest::newRow("same") << "abc|abc" << "" << "" << false;
        QTest::newRow("revoked and new") << "abc|bcd" << "a" << "d" << false;
        QTest::newRow("order among the common ones") << "xbca|abcy" << "x" << "y" << true;
        QTest::newRow("held twice") << "aab|ab" << "a" << "" << false;
        QTest::newRow("empty reader") << "|ab" << "" << "ab" << false;
    }
    void compare()
    {
        QFETCH(QString, lists);
        QFETCH(QString, onlyInReader);
        QFETCH(QString, onlyInDatabase);
        QFETCH(bool, orderDiffers);
        const auto numbers = [](const QString& letters) {
            QStringList out;
            for (QChar c : letters)
                out << QString(10, c);
            return out;
        };
        WriteAll::Plan plan;
        plan.transponders = numbers(lists.section('|', 1));
        plan.params = QStringLiteral("0A");
        plan.switchTime = QStringLiteral("133");
        const ReaderComparison::Differences d =
            ReaderComparison::Compare(plan, {numbers(lists.section('|', 0, 0)), QStringLiteral("000A"), QStringLiteral("0084")});
        QCOMPARE(d.onlyInReader, numbers(onlyInReader));
        QCOMPARE(d.onlyInDatabase, numbers(onlyInDatabase));
        QCOMPARE(d.orderDiffers, orderDiffers);
        // Parameter 1 differs in every row: 133 is written as 0085.
        QCOMPARE(d.params, (QList<ReaderComparison::ParamDiff>{{1, QStringLiteral("0084"), QStringLiteral("0085")}}));
        QCOMPARE(d.Same(), false);
    }

    // Each row: the criteria, and which generated events must pass (counted from how they were
    // made, not from what was stored).
    void filter_data()
    {
        QTest::addColumn<int>("reader");          // 0..3, -1 all
        QTest::addColumn<int>("fromDay");         // -1 open
        QTest::addColumn<int>("toDay");
        QTest::addColumn<QString>("who");
        QTest::addColumn<unsigned>("classes");
        QTest::addColumn<QList<int>>("transponders");   // the transponders "who" must find; empty: any
        const unsigned all = EventFilter::AllClasses;
        QTest::newRow("nothing left out") << -1 << -1 << -1 << "" << all << QList<int>{};
        QTest::newRow("no access") << -1 << -1 << -1 << "" << unsigned(EventFilter::Refused | EventFilter::Alarm) << QList<int>{};
        QTest::newRow("transponder number") << -1 << -1 << -1 << VmTest::SiteNumber(321).toLower() << all << QList<int>{321};
        QTest::newRow("all at once") << 1 << 5 << 25 << "person 1" << unsigned(EventFilter::Access)
                                     << QList<int>{1, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    }
    void filter()
    {
        QFETCH(int, reader);
        QFETCH(int, fromDay);
        QFETCH(int, toDay);
        QFETCH(QString, who);
        QFETCH(unsigned, classes);
        QFETCH(QList<int>, transponders);
        EventFilter::Criteria c;
        c.readerId = reader < 0 ? 0 : m_readers[size_t(reader)];
        c.from = fromDay < 0 ? QDate() : kFirst.addDays(fromDay);
        c.to = toDay < 0 ? QDate() : kFirst.addDays(toDay);
        c.who = who;
        c.classes = classes;
        int expected = 0;
        for (int i = 0; i < kEvents; ++i) {
            const VmTest::SiteEvent e = VmTest::SiteEventAt(i);
            expected += (reader < 0 || e.reader == reader) && (fromDay < 0 || e.day >= fromDay) && (toDay < 0 || e.day <= toDay)
                && (classes & (1u << e.cls)) && (transponders.isEmpty() || transponders.contains(e.transponder));
        }
        const std::vector<int> found = EventFilter::Apply(*m_store, c);
        QCOMPARE(int(found.size()), expected);
        QVERIFY(std::is_sorted(found.begin(), found.end()));
    }

    // The filter row narrows the table while typing; delete all then removes only those rows.
    void filterRowAndDeleteAll()
    {
        ScriptedPrompt prompt;
        CEventsDlg view(ViewContext{m_w.lang.get(), m_store, nullptr, nullptr});
        view.Load(0);
        CEventFilterBar* bar = view.FilterBar();
        QVERIFY(bar);
        QCOMPARE(view.RecordCount(), kEvents);
        bar->findChild<QLineEdit*>("whoEdit")->setText(QStringLiteral("Person 42"));
        const int person42 = kEvents / 500;   // transponder 42 only
        QCOMPARE(view.RecordCount(), person42);
        QCOMPARE(view.Grid()->CellText(1, CEventsDlg::ColPerson), QStringLiteral("Person 42"));
        bar->findChild<QCheckBox*>("classAlarm")->setChecked(false);
        QCOMPARE(view.RecordCount(), person42 * 2 / 3);

        prompt.NextAnswer(true);
        view.DeleteAllEvents();
        QCOMPARE(view.RecordCount(), 0);
        QVERIFY(m_store->Get_Ptr_To_tblEvents()->_Requery());
        QCOMPARE(m_store->Get_Ptr_To_tblEvents()->GetAnz_Events(), kEvents - person42 * 2 / 3);
    }

    void pendingStates()
    {
        EditRecordById(m_store->Get_Ptr_To_tblLeser(), m_readers[1], [](structLeser& r) { r.Changed = 1; });
        m_store->Get_Ptr_To_tblLeser()->_Requery();
        QVERIFY(PendingWrites::IsPending(*m_store, QStringLiteral("Door 2")));
        QVERIFY(!PendingWrites::IsPending(*m_store, QStringLiteral("Door 1")));
        // Door 1 has every fourth event (none of Person 42's), on days 0, 4, ... 24 of every 28.
        const PendingWrites::ReaderState door1 = PendingWrites::States(*m_store).at(0);
        QCOMPARE(door1.events, kEvents / 4);
        QVERIFY2(door1.lastEvent.startsWith(kFirst.addDays(24).toString("dd.MM.yyyy")), qPrintable(door1.lastEvent));
    }
};

QTEST_MAIN(TestAuditCore)
#include "tst_AuditCore.moc"
