// The grid layout file: parse failures, reading rules and the round trip through saving.
#include "base/Prompt.h"
#include "layout/CDialogSetup.h"
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"

using namespace VmTest;

class TestDialogSetup : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_program;
    const QString kFile = QStringLiteral("DialogSetup.xml");
    const QString kGrid = QStringLiteral("0");

private slots:
    void initTestCase() { IsolateHome(); }
    void init() { m_program = std::make_unique<ProgramFolder>(true); }
    void cleanup() { m_program.reset(); }

    void syntaxErrorNamesTheLine()
    {
        WriteFile(m_program->Layout(), "<dialogsetup>\n<dialog id=\"01\">\n<grid id=\"0\" rowheight=18/>\n</dialog>\n</dialogsetup>\n");
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), 0);
        QCOMPARE(prompt.Log().size(), size_t(1));
        const QString text = prompt.Log().front().text;
        QVERIFY2(text.startsWith(QStringLiteral("Fehler beim Parsen von: ")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("DialogSetup.xml in Zeile: 3. Begründung: ")), qPrintable(text));
    }

    // Nesting is bounded: a layout as deep as the bound is read, one level more is refused
    // like a syntax error, naming the line, and so is a file nested a hundred thousand deep
    // (it used to overflow the stack).
    void nestingDepth_data()
    {
        QTest::addColumn<int>("depth");   // dialogs nested inside <dialogsetup>, one a line
        QTest::addColumn<int>("opened");
        QTest::newRow("256 levels with the grid") << 254 << 1;
        QTest::newRow("257 levels with the grid") << 255 << 0;
        QTest::newRow("a hundred thousand") << 100000 << 0;
    }
    void nestingDepth()
    {
        QFETCH(int, depth);
        QFETCH(int, opened);
        QByteArray xml = "<dialogsetup>";
        for (int i = 0; i < depth; ++i)
            xml += "\n<dialog id=\"03\">";
        xml += "\n<grid id=\"0\" rowheight=\"21\"/>";
        for (int i = 0; i < depth; ++i)
            xml += "</dialog>";
        xml += "</dialogsetup>";
        WriteFile(m_program->Layout(), xml);
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), opened);
        if (opened) {
            QCOMPARE(setup.ReadGridHeight(QStringLiteral("03"), kGrid, 0), 21);
            QCOMPARE(prompt.Log().size(), size_t(0));
        } else {
            QCOMPARE(prompt.Log().size(), size_t(1));
            // The element one level too deep stands in line 257.
            QVERIFY2(prompt.Log().front().text.contains(QStringLiteral("in Zeile: 257. Begründung: ")),
                     qPrintable(prompt.Log().front().text));
        }
    }

    // A control character XML does not allow is refused with its line, even where the parser
    // would let it through (a processing instruction full of NULs read, but once saved it no
    // longer read back, and the program would not have started again).
    void controlCharacterIsRefused()
    {
        WriteFile(m_program->Layout(), QByteArray("<dialogsetup>\n<?x\0\0?>\n</dialogsetup>", 36));
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), 0);
        QCOMPARE(prompt.Log().size(), size_t(1));
        QVERIFY2(prompt.Log().front().text.contains(QStringLiteral("in Zeile: 2. Begründung: ")),
                 qPrintable(prompt.Log().front().text));
    }

    // The parser takes a processing instruction without data that it refuses once written
    // back; the layout is saved at exit, so such a file is refused at once.
    void fileThatWouldNotReadBackIsRefused()
    {
        WriteFile(m_program->Layout(), "<?@?>\n<dialogsetup></dialogsetup>");
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), 0);
        QCOMPARE(prompt.Log().size(), size_t(1));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("which");     // 1 header, 0 row, 100 + n: width of column n (dialog "03")
        QTest::addColumn<int>("expected");
        const QByteArray full = "<dialogsetup><dialog id=\"03\"><grid id=\"0\" headerheight=\"30\" rowheight=\"18\">"
                                "<column id=\"2\" width=\"120\"/><column id=\"4\" width=\"12px\"/>"
                                "<column id=\"5\" width=\"wide\"/></grid></dialog></dialogsetup>";
        QTest::newRow("leading digits only") << full << 104 << 12;
        QTest::newRow("no digits give 0") << full << 105 << 0;
        QTest::newRow("grid directly under dialogsetup is ignored")
            << QByteArray("<dialogsetup><grid id=\"0\" headerheight=\"25\" rowheight=\"20\"/></dialogsetup>") << 1 << -1;
        QTest::newRow("column directly under dialog is ignored")
            << QByteArray("<dialogsetup><dialog id=\"03\"><column id=\"1\" width=\"70\"/><grid id=\"0\"/></dialog></dialogsetup>")
            << 101 << -1;
    }
    void reading()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, which);
        QFETCH(int, expected);
        WriteFile(m_program->Layout(), xml);
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), 1);
        const QString dialog = QStringLiteral("03");
        QCOMPARE(which >= 100 ? setup.ReadColumnWidth(dialog, kGrid, which - 100) : setup.ReadGridHeight(dialog, kGrid, which),
                 expected);
    }

    void roundTripKeepsForeignContent()
    {
        WriteFile(m_program->Layout(), "<dialogsetup><keep me=\"1\"/><dialog id=\"01\"><grid id=\"0\" rowheight=\"18\"/>"
                                       "</dialog></dialogsetup>");
        const QString dialog = QStringLiteral("03");
        {
            CDialogSetup setup;
            QCOMPARE(setup.OpenFile(kFile), 1);
            setup.StoreColumnWidth(dialog, kGrid, 2, 140);
            setup.StoreGridHeight(dialog, kGrid, 1, 33);
            setup.StoreGridHeight(dialog, kGrid, 0, 22);
            setup.StoreColumnWidth(dialog, kGrid, 2, 150);   // changed again
            setup.SaveFile();
        }
        CDialogSetup again;
        QCOMPARE(again.OpenFile(kFile), 1);
        QCOMPARE(again.ReadColumnWidth(dialog, kGrid, 2), 150);
        QCOMPARE(again.ReadGridHeight(dialog, kGrid, 1), 33);
        QCOMPARE(again.ReadGridHeight(dialog, kGrid, 0), 22);
        QCOMPARE(again.ReadGridHeight(QStringLiteral("01"), kGrid, 0), 18);
        QVERIFY(ReadFile(m_program->Layout()).contains("<keep me=\"1\"/>"));
    }
};

QTEST_GUILESS_MAIN(TestDialogSetup)
#include "tst_dialogsetup.moc"
