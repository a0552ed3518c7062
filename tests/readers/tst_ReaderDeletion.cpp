// Deleting and renaming readers: cache positions, the Readers lists of transponders, the
// events' fate as answered, the tree, and the questions asked.
#include "ReaderTestSupport.h"
#include "app/Prompt.h"
#include "readers/ReaderDeletion.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace ReaderTest;

class TestReaderDeletion : public QObject {
    Q_OBJECT
    std::unique_ptr<CLanguageHandler> m_texts;
    std::unique_ptr<CStoreDB_Handler> m_store;
    QList<int32_t> m_ids;   // IDs of the readers made by init(): Leser_0 .. Leser_7

    CStoreDB_Handler& store() { return *m_store; }
    QString text(int n) const { return m_texts->GetLangItem(n); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_texts = MakeTexts();
        QVERIFY(m_texts->IsLoaded());
        m_store = std::make_unique<CStoreDB_Handler>(m_texts.get());
        QVERIFY2(m_store->IsDatabaseOpen(), qPrintable(m_store->DatabaseError()));
    }

    // Eight readers, Leser_0 .. Leser_7; even ones are Cedars, odd ones Birches.
    void init()
    {
        ClearTables(store());
        m_ids.clear();
        for (int i = 0; i < 8; ++i)
            m_ids << AddReader(store(), QStringLiteral("Leser_%1").arg(i), i % 2 ? "Birch" : "Cedar",
                               QStringLiteral("ID%1").arg(i).leftJustified(20, '0'));
        QVERIFY(store().Get_Ptr_To_tblLeser()->_Requery());
        QCOMPARE(store().Get_Ptr_To_tblLeser()->GetAnz_Leser(), 8);
    }

    void deletingShiftsLaterPositions()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);    // delete the readers
        prompt.NextAnswer(false);   // keep their events
        RecordingTree tree;
        // Selection order does not matter; positions 2, 5 and 7 leave the cache as entries
        // 2, 4 and 5 once the earlier ones are gone.
        QCOMPARE(ReaderDeletion::DeleteReaders(store(), {7, 2, 5}, &tree), 3);
        const QStringList expected{"Leser_0", "Leser_1", "Leser_3", "Leser_4", "Leser_6"};
        QCOMPARE(CachedReaderNames(store()), expected);
        QCOMPARE(StoredReaderNames(store()), expected);
        QCOMPARE(tree.calls, (QStringList{"remove Leser_2", "remove Leser_5", "remove Leser_7"}));
        QCOMPARE(prompt.Texts(), (QStringList{text(68), text(70)}));
        QCOMPARE(prompt.Unanswered(), 0);
    }

    void answeringNoChangesNothing()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(false);
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::DeleteReaders(store(), {3}, &tree), 0);
        QCOMPARE(prompt.Texts(), QStringList{text(69)});
        QCOMPARE(StoredReaderNames(store()).size(), 8);
        QCOMPARE(store().Get_Ptr_To_tblLeser()->GetAnz_Leser(), 8);
        QVERIFY(tree.calls.isEmpty());
    }

    void readerLeavesTransponderLists_data()
    {
        QTest::addColumn<QString>("readers");   // G = the deleted reader, K another one
        QTest::addColumn<QString>("expected");
        QTest::newRow("first of two equal") << "G;K;G" << "K;G";
        QTest::newRow("only one") << "G" << "";
        QTest::newRow("last") << "K;G" << "K";
        QTest::newRow("not listed") << "K" << "K";
        QTest::newRow("no reader") << "0" << "0";
    }
    void readerLeavesTransponderLists()
    {
        QFETCH(QString, readers);
        QFETCH(QString, expected);
        auto ids = [this](QString list) {
            return list.replace('G', QString::number(m_ids[3])).replace('K', QString::number(m_ids[4]));
        };
        AddTransponder(store(), "00000000AA", ids(readers));
        store().Get_Ptr_To_tblTransponder()->_Requery();

        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        QCOMPARE(ReaderDeletion::DeleteReaders(store(), {3}, nullptr), 1);
        const QString want = ids(expected);
        QCOMPARE(store().Get_Ptr_To_tblTransponder()->Get_Transponder(0).Readers, want);
        QVERIFY(store().Get_Ptr_To_tblTransponder()->_Requery());
        QCOMPARE(store().Get_Ptr_To_tblTransponder()->Get_Transponder(0).Readers, want);
    }

    void eventsDeletedOrDetached_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<bool>("asked");          // a bus reader among them: text 70 is asked
        QTest::addColumn<bool>("deleteEvents");   // the answer to text 70
        QTest::addColumn<int>("eventsLeft");
        QTest::addColumn<int>("detached");
        // Readers 0 (Cedar), 1 (Birch) and 6 (Cedar, a bystander) have two events each.
        QTest::newRow("Cedar, events deleted") << QList<int>{0} << true << true << 4 << 0;
        QTest::newRow("Cedar, events kept") << QList<int>{0} << true << false << 6 << 2;
        QTest::newRow("Cedar and Birch, deleted") << QList<int>{0, 1} << true << true << 2 << 0;
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
        for (int i : {0, 1, 6}) {
            AddEvent(store(), m_ids[i], QStringLiteral("Leser_%1").arg(i));
            AddEvent(store(), m_ids[i], QStringLiteral("Leser_%1").arg(i));
        }
        CtblEvents* events = store().Get_Ptr_To_tblEvents();
        events->_Requery();

        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        if (asked)
            prompt.NextAnswer(deleteEvents);
        ReaderDeletion::DeleteReaders(store(), std::vector<int>(selected.begin(), selected.end()), nullptr);
        QCOMPARE(prompt.Texts().contains(text(70)), asked);
        QCOMPARE(prompt.Unanswered(), 0);

        auto check = [&]() {
            QCOMPARE(events->GetAnz_Events(), eventsLeft);
            int zero = 0;
            for (int i = 0; i < events->GetAnz_Events(); ++i) {
                const structEvents& ev = events->Get_Event(i);
                if (ev.ReaderID == 0) {
                    ++zero;
                    QVERIFY(ev.ReaderName.startsWith("Leser_"));   // the name at reading time stays
                } else {
                    // Events of readers that stay keep their reader.
                    QVERIFY(m_ids.contains(ev.ReaderID));
                    QVERIFY(!selected.contains(int(m_ids.indexOf(ev.ReaderID))));
                }
            }
            QCOMPARE(zero, detached);
        };
        check();              // the cache, as patched
        events->_Requery();
        check();              // the table itself
    }

    void readerMissingFromTableIsReported()
    {
        // Someone else removed reader 2 from the table; the cache still shows it.
        DeleteRecordById(store().Get_Ptr_To_tblLeser(), m_ids[2]);
        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(true);
        QCOMPARE(ReaderDeletion::DeleteReaders(store(), {2, 4}, nullptr), 1);
        QVERIFY(prompt.Texts().contains(text(66)));
        // The loop went on: reader 4 is gone, and the cache lost the right entry.
        QVERIFY(!CachedReaderNames(store()).contains("Leser_4"));
        QVERIFY(CachedReaderNames(store()).contains("Leser_2"));
        QCOMPARE(StoredReaderNames(store()).size(), 6);
    }

    void deleteAll_data()
    {
        QTest::addColumn<bool>("deleteEvents");
        QTest::newRow("events deleted") << true;
        QTest::newRow("events kept with reader 0") << false;
    }
    void deleteAll()
    {
        QFETCH(bool, deleteEvents);
        AddEvent(store(), m_ids[0], "Leser_0");
        AddEvent(store(), m_ids[5], "Leser_5");
        AddTransponder(store(), "00000000AA", QStringLiteral("%1;%2").arg(m_ids[0]).arg(m_ids[1]));
        AddTransponder(store(), "00000000BB", "0");
        store().Get_Ptr_To_tblEvents()->_Requery();
        store().Get_Ptr_To_tblTransponder()->_Requery();

        ScriptedPrompt prompt;
        prompt.NextAnswer(true);
        prompt.NextAnswer(deleteEvents);
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::DeleteAllReaders(store(), &tree), 1);
        QCOMPARE(prompt.Texts(), (QStringList{text(64), text(71)}));
        QCOMPARE(tree.calls, QStringList{"remove all"});

        for (int pass = 0; pass < 2; ++pass) {   // the cache, then the reloaded tables
            QCOMPARE(store().Get_Ptr_To_tblLeser()->GetAnz_Leser(), 0);
            CtblEvents* ev = store().Get_Ptr_To_tblEvents();
            QCOMPARE(ev->GetAnz_Events(), deleteEvents ? 0 : 2);
            for (int i = 0; i < ev->GetAnz_Events(); ++i)
                QCOMPARE(ev->Get_Event(i).ReaderID, 0);
            CtblTransponder* tr = store().Get_Ptr_To_tblTransponder();
            QCOMPARE(tr->GetAnz_Transponder(), 2);
            for (int i = 0; i < tr->GetAnz_Transponder(); ++i)
                QCOMPARE(tr->Get_Transponder(i).Readers, QString());
            store().Get_Ptr_To_tblLeser()->_Requery();
            ev->_Requery();
            tr->_Requery();
        }
    }

    void deleteAllAnsweredNo()
    {
        ScriptedPrompt prompt;
        prompt.NextAnswer(false);
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::DeleteAllReaders(store(), &tree), 0);
        QCOMPARE(prompt.Texts(), QStringList{text(64)});
        QCOMPARE(StoredReaderNames(store()).size(), 8);
        QVERIFY(tree.calls.isEmpty());
    }

    void rename_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::newRow("new name") << "Door north";
        QTest::newRow("same name") << "Leser_5";
    }
    void rename()
    {
        QFETCH(QString, newName);
        // Make the row differ from the cache, so that storing the same name is visible.
        EditRecordById(store().Get_Ptr_To_tblLeser(), m_ids[5], [](structLeser& r) { r.Name = "stale"; });
        RecordingTree tree;
        QCOMPARE(ReaderDeletion::RenameReader(store(), 5, newName, &tree), 1);
        QCOMPARE(store().Get_Ptr_To_tblLeser()->Get_Leser(5).Name, newName);
        QCOMPARE(StoredReaderNames(store()).at(5), newName);
        QCOMPARE(tree.calls, QStringList{QStringLiteral("rename Leser_5 -> ") + newName});
    }
};

QTEST_GUILESS_MAIN(TestReaderDeletion)
#include "tst_ReaderDeletion.moc"
