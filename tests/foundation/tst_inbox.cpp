// The inbox that carries workers' reports to the window's thread: order across posters, calls
// dropped with their object, and reports that keep arriving while a report shows a modal loop.
#include "base/ThreadInbox.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>
#include <thread>

class TestInbox : public QObject {
    Q_OBJECT
private slots:
    // Two workers' objects post alternately from other threads; the calls run in the order
    // they were posted, whichever object they belong to.
    void keepsPostingOrderAcrossObjects()
    {
        CThreadInbox& inbox = CThreadInbox::OfThisThread();
        QVERIFY(inbox.IsOpen());
        QStringList ran;
        int a = 0, b = 0;
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i) {
                inbox.Post(&a, [&ran, i] { ran << QStringLiteral("a%1").arg(i); });
                inbox.Post(&b, [&ran, i] { ran << QStringLiteral("b%1").arg(i); });
            }
        });
        worker.join();
        QTRY_COMPARE(ran.size(), 10);
        QCOMPARE(ran, (QStringList{"a0", "b0", "a1", "b1", "a2", "b2", "a3", "b3", "a4", "b4"}));
    }

    // An object that goes away takes its waiting calls with it; the others still run.
    void discardDropsOnlyThatObjectsCalls()
    {
        CThreadInbox& inbox = CThreadInbox::OfThisThread();
        QStringList ran;
        int gone = 0, stays = 0;
        inbox.Post(&gone, [&] { ran << "gone"; });
        inbox.Post(&stays, [&] { ran << "stays"; });
        inbox.Discard(&gone);
        QTRY_COMPARE(ran, QStringList{"stays"});
    }

    // A report that opens a modal loop (a message box) must not stop the reports behind it:
    // here the second report ends the loop the first one runs.
    void laterCallsRunInsideANestedLoop()
    {
        CThreadInbox& inbox = CThreadInbox::OfThisThread();
        bool nestedEnded = false;
        QEventLoop* nested = nullptr;
        int owner = 0;
        inbox.Post(&owner, [&] {
            QEventLoop loop;
            nested = &loop;
            QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });   // a bound, not the test
            std::thread([&inbox, &owner, &nested] {
                inbox.Post(&owner, [&nested] { nested->exit(0); });
            }).join();
            nestedEnded = loop.exec() == 0;
            nested = nullptr;
        });
        QTRY_VERIFY(nestedEnded);
    }
};

QTEST_MAIN(TestInbox)
#include "tst_inbox.moc"
