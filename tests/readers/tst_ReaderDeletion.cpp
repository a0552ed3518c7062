// Deleting readers: cache positions, the Readers lists of transponders, the events' fate as
// answered, the tree, and the questions asked.
#include "ReaderTestSupport.h"
#include "base/Prompt.h"
#include "readers/ReaderDeletion.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace ReaderTest;

class TestReaderDeletion : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    QList<int32_t> m_ids;   // Leser_0 .. Leser_7; even ones are Cedars, odd ones Birches

    QString text(int n) const { return m_texts->GetLangItem(n); }
    void AddEvents(int reader, int count)
    {
        AddRecords<structEvents>(m_store->Get_Ptr_To_tblEvents(), count, [&](int, structEvents& e) {
            e.ReaderID = m_ids[reader];
            e.ReaderName = QStringLiteral("Leser_%1").arg(reader);
        });
        m_store->Get_Ptr_To_tblEvents()->_Requery();
    }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY2(m_store->IsDatabaseOpen(), qPrintable(m_store->DatabaseError()));
    }

    void init()
    {
        ClearTables(*m_store);
        m_ids.clear();
        for (int i = 0; i < 8; ++i)
            m_ids << AddReader(*m_store, QStringLiteral("Leser_%1").arg(i), i % 2 ? "Birch" : "Cedar");
        QVERIFY(m_store->Get_Ptr_To_tblLeser()->_Requery());
    }

    void deleteReadersAtPositions257()
    {
        // The readers leave the transponders' lists, the first of two equal entries only.
        AddTransponder(*m_store, "A", QString::number(m_ids[5]));
        AddTransponder(*m_store, "B", QStringLiteral("%1;%2;%1").arg(m_ids[2]).arg(m_ids[3]));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        ScriptedPrompt prompt;
        prompt.NextAnswer(false);   // not yet
        QCOMPARE(ReaderDeletion::DeleteReaders(*m_store, {7, 2, 5}, nullptr), 0);
        QCOMPARE(ReaderNames(*m_store, true).size(), 8);
        prompt.NextAnswer(true);
        prompt.NextAnswer(false);   // keep the events
        RecordingTree tree;
        // Whatever the selection order, positions 2, 5 and 7 leave the cache as entries 2, 4 and
        // 5 once the earlier ones are gone.
        QCOMPARE(ReaderDeletion::DeleteReaders(*m_store, {7, 2, 5}, &tree), 3);
        const QStringList left{"Leser_0", "Leser_1", "Leser_3", "Leser_4", "Leser_6"};
        QCOMPARE(ReaderNames(*m_store, false), left);
        QCOMPARE(ReaderNames(*m_store, true), left);
        QCOMPARE(tree.calls, (QStringList{"remove Leser_2", "remove Leser_5", "remove Leser_7"}));
        QCOMPARE(prompt.Texts(), (QStringList{text(68), text(68), text(70)}));
        const QStringList lists{"A=", QStringLiteral("B=%1;%2").arg(m_ids[3]).arg(m_ids[2])};
        QCOMPARE(Transponders(*m_store, false), lists);
        QCOMPARE(Transponders(*m_store, true), lists);
    }

    void eventsDeletedOrDetached_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("asked");          // a bus reader among them: text 70 is asked
        QTest::addColumn<bool>("deleteEvents");   // the answer to text 70
        QTest::addColumn<int>("eventsLeft");
        QTest::addColumn<int>("detached");
        // Readers 0 (Cedar), 1 (Birch) and 6 (Cedar, a bystander) have two events each.
        QTest::newRow("Cedar and Birch, kept") << QList<int>{1, 0} << true << false << 6 << 4;
        QTest::newRow("Birch, never asked") << QList<int>{1} << false << false << 6 << 2;
    }
    void eventsDeletedOrDetached()
    {
        QFETCH(QList<int>, selected);
        QFETCH(bool, asked);
        QFETCH(bool, deleteEvents);
        QFETCH(int, eventsLeft);
        QFETCH(int, detached);
        for (int i : {0, 1, 6})
            AddEvents(i, 2);
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        if (asked)
            prompt.NextAnswer(deleteEvents);
        ReaderDeletion::DeleteReaders(*m_store, std::vector<int>(selected.begin(), selected.end()), nullptr);
        QCOMPARE(prompt.Texts().contains(text(70)), asked);

        CtblEvents* events = m_store->Get_Ptr_To_tblEvents();
        for (int pass = 0; pass < 2; ++pass, events->_Requery()) {   // the cache, then the table
            QCOMPARE(events->GetAnz_Events(), eventsLeft);
            int zero = 0;
            for (int i = 0; i < events->GetAnz_Events(); ++i) {
                const structEvents& ev = events->Get_Event(i);
                zero += ev.ReaderID == 0;
                QVERIFY(ev.ReaderID == 0 || !selected.contains(int(m_ids.indexOf(ev.ReaderID))));
                QVERIFY(ev.ReaderName.startsWith("Leser_"));   // the name at reading time stays
            }
            QCOMPARE(zero, detached);
        }
    }

    void deleteAllKeepsEventsWithReaderZero()
    {
        AddEvents(5, 2);
        AddTransponder(*m_store, "T", QStringLiteral("%1;%2").arg(m_ids[0]).arg(m_ids[1]));
        m_store->Get_Ptr_To_tblTransponder()->_Requery();
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(false);   // keep the events
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::DeleteAllReaders(*m_store, &tree), 1);
        QCOMPARE(prompt.Texts(), (QStringList{text(64), text(71)}));
        QCOMPARE(tree.calls, QStringList{"remove all"});
        QCOMPARE(ReaderNames(*m_store, true), QStringList());
        CtblEvents* ev = m_store->Get_Ptr_To_tblEvents();
        QVERIFY(ev->_Requery());
        QCOMPARE(ev->GetAnz_Events(), 2);
        QCOMPARE(ev->Get_Event(1).ReaderID, 0);
        QCOMPARE(Transponders(*m_store, true), QStringList{"T="});
    }
};

QTEST_GUILESS_MAIN(TestReaderDeletion)
#include "tst_ReaderDeletion.moc"
