// The grid layout file: parse failures and the round trip through saving, in the user's
// config folder for an installed program.
#include "base/Prompt.h"
#include "layout/CDialogSetup.h"
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"

using namespace VmTest;

namespace {
// Dialogs nested depth deep inside <dialogsetup>, one a line, around a grid of row height 21.
QByteArray Nested(int depth)
{
    QByteArray xml = "<dialogsetup>";
    for (int i = 0; i < depth; ++i)
        xml += "\n<dialog id=\"03\">";
    xml += "\n<grid id=\"0\" rowheight=\"21\"/>";
    for (int i = 0; i < depth; ++i)
        xml += "</dialog>";
    return xml + "</dialogsetup>";
}
} // namespace

class TestDialogSetup : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_program;
    const QString kFile = QStringLiteral("DialogSetup.xml");
    const QString kGrid = QStringLiteral("0");

private slots:
    void initTestCase() { IsolateHome(); }
    void init() { m_program = std::make_unique<ProgramFolder>(true); }
    void cleanup() { m_program.reset(); }

    // A file that does not parse, or that would not parse again once saved at exit, is refused
    // with one message naming its line. Nesting is bounded: a layout as deep as the bound is
    // read, one level more is refused, and so is one nested a hundred thousand deep (it used to
    // overflow the stack).
    void refused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("line");   // 0: read, no message
        QTest::newRow("syntax error") << QByteArray("<dialogsetup>\n<dialog id=\"01\">\n<grid id=\"0\" rowheight=18/>\n"
                                                    "</dialog>\n</dialogsetup>\n") << 3;
        // NULs in a processing instruction parse, but would no longer once written back.
        QTest::newRow("control character") << QByteArray("<dialogsetup>\n<?x\0\0?>\n</dialogsetup>", 36) << 2;
        QTest::newRow("instruction without data") << QByteArray("<?@?>\n<dialogsetup></dialogsetup>") << 1;
        QTest::newRow("256 levels with the grid") << Nested(254) << 0;
        QTest::newRow("257 levels with the grid") << Nested(255) << 257;
        QTest::newRow("a hundred thousand") << Nested(100000) << 257;
    }
    void refused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, line);
        WriteFile(m_program->Layout(), xml);
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(kFile), line ? 0 : 1);
        QCOMPARE(prompt.Log().size(), size_t(line ? 1 : 0));
        if (!line) {
            QCOMPARE(setup.ReadGridHeight(QStringLiteral("03"), kGrid, 0), 21);
            return;
        }
        const QString text = prompt.Log().front().text;
        QVERIFY2(text.startsWith(QStringLiteral("Fehler beim Parsen von: ")), qPrintable(text));
        const QString where = QStringLiteral("DialogSetup.xml in Zeile: %1. Begründung: ").arg(line);
        QVERIFY2(text.contains(where), qPrintable(text));
    }

    // An installed program (no SysFiles beside it) keeps the layout in the user's config
    // folder, starting from the copy in the share folder, which stays untouched. Saving keeps
    // what the program does not know, the dialogs it did not touch, and the last size stored.
    void roundTripOfAnInstalledProgram()
    {
        QTemporaryDir prefix;
        const QString shared = prefix.path() + QStringLiteral("/share/vendrik-manager/SysFiles/DialogSetup.xml");
        QVERIFY(QDir().mkpath(QFileInfo(shared).path()) && QDir().mkpath(prefix.path() + QStringLiteral("/bin")));
        const QByteArray defaults = "<dialogsetup><keep me=\"1\"/><dialog id=\"01\"><grid id=\"0\" rowheight=\"18\"/>"
                                    "</dialog><dialog id=\"03\"><grid id=\"0\"><column id=\"2\" width=\"77\"/></grid>"
                                    "</dialog></dialogsetup>";
        WriteFile(shared, defaults);
        Paths::SetProgramDir(prefix.path() + QStringLiteral("/bin"));
        const QString own = Paths::ConfigDir() + QStringLiteral("/DialogSetup.xml");
        const QString dialog = QStringLiteral("04");   // not in the file yet
        {
            CDialogSetup setup;
            QCOMPARE(setup.OpenFile(kFile), 1);
            QCOMPARE(setup.Path(), own);
            QCOMPARE(setup.ReadColumnWidth(QStringLiteral("03"), kGrid, 2), 77);
            setup.StoreColumnWidth(QStringLiteral("03"), kGrid, 2, 99);
            setup.StoreColumnWidth(dialog, kGrid, 2, 140);
            setup.StoreGridHeight(dialog, kGrid, 1, 33);
            setup.StoreGridHeight(dialog, kGrid, 0, 22);
            setup.StoreColumnWidth(dialog, kGrid, 2, 150);   // changed again
            setup.SaveFile();
        }
        QCOMPARE(ReadFile(shared), defaults);
        CDialogSetup again;
        QCOMPARE(again.OpenFile(kFile), 1);
        QCOMPARE(again.ReadColumnWidth(QStringLiteral("03"), kGrid, 2), 99);
        QCOMPARE(again.ReadColumnWidth(dialog, kGrid, 2), 150);
        QCOMPARE(again.ReadGridHeight(dialog, kGrid, 1), 33);
        QCOMPARE(again.ReadGridHeight(dialog, kGrid, 0), 22);
        QCOMPARE(again.ReadGridHeight(QStringLiteral("01"), kGrid, 0), 18);
        QVERIFY(ReadFile(own).contains("<keep me=\"1\"/>"));
    }
};

QTEST_GUILESS_MAIN(TestDialogSetup)
#include "tst_dialogsetup.moc"
