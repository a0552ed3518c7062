// The grid layout file: creation, parse failures, reading rules and the round trip through
// saving, with the program folder pointed at a temporary folder.
#include "app/Paths.h"
#include "app/Prompt.h"
#include "layout/CDialogSetup.h"
#include "support/TestEnv.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDialogSetup : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString LayoutPath() const { return m_dir->path() + QStringLiteral("/SysFiles/DialogSetup.xml"); }

private slots:
    void initTestCase() { VmTest::IsolateHome(); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("SysFiles")));
        Paths::SetProgramDir(m_dir->path());
    }
    void cleanup() { Paths::SetProgramDir(QString()); }

    void missingFileIsCreated()
    {
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        QCOMPARE(ReadFile(LayoutPath()), QByteArray("<dialogsetup></dialogsetup>"));
        QCOMPARE(ReadFile(LayoutPath()).size(), 27);
        QCOMPARE(setup.Path(), LayoutPath());
        QVERIFY(prompt.Log().empty());
        QCOMPARE(setup.ReadGridHeight(QStringLiteral("03"), QStringLiteral("0"), 1), -1);
    }

    void missingFolderFails()
    {
        QVERIFY(QDir(m_dir->path() + QStringLiteral("/SysFiles")).removeRecursively());
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 0);
        QCOMPARE(prompt.Texts(),
                 QStringList{QStringLiteral("CDialogSetup::OpenFile: Fehler beim Anlegen des XML-Files_1")});
        QCOMPARE(prompt.Log().front().icon, PromptIcon::Error);
    }

    void syntaxErrorNamesTheLine()
    {
        WriteFile(LayoutPath(), "<dialogsetup>\n<dialog id=\"01\">\n<grid id=\"0\" rowheight=18/>\n</dialog>\n</dialogsetup>\n");
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 0);
        QCOMPARE(prompt.Log().size(), size_t(1));
        const auto shown = prompt.Log().front();
        QCOMPARE(shown.icon, PromptIcon::Warning);
        QVERIFY2(shown.text.startsWith(QStringLiteral("Fehler beim Parsen von: ")), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(QStringLiteral("DialogSetup.xml in Zeile: 3. Begründung: ")), qPrintable(shown.text));
        QVERIFY(setup.Path().isEmpty());
        setup.SaveFile();   // nothing open: the broken file stays as it is
        QVERIFY(ReadFile(LayoutPath()).contains("rowheight=18/>"));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<int>("which");     // 1 header, 0 row, 100 + n: width of column n
        QTest::addColumn<int>("expected");
        const QByteArray full = "<dialogsetup><dialog id=\"03\"><grid id=\"0\" headerheight=\"30\" rowheight=\"18\">"
                                "<column id=\"2\" width=\"120\"/><column id=\"4\" width=\"12px\"/>"
                                "<column id=\"5\" width=\"wide\"/></grid></dialog></dialogsetup>";
        QTest::newRow("header height") << full << "03" << 1 << 30;
        QTest::newRow("row height") << full << "03" << 0 << 18;
        QTest::newRow("column width") << full << "03" << 102 << 120;
        QTest::newRow("leading digits only") << full << "03" << 104 << 12;
        QTest::newRow("no digits give 0") << full << "03" << 105 << 0;
        QTest::newRow("unknown column") << full << "03" << 103 << -1;
        QTest::newRow("unknown dialog") << full << "04" << 1 << -1;
        QTest::newRow("missing rowheight")
            << QByteArray("<dialogsetup><dialog id=\"01\"><grid id=\"0\" headerheight=\"25\"/></dialog></dialogsetup>")
            << "01" << 0 << -1;
        QTest::newRow("grid directly under dialogsetup is ignored")
            << QByteArray("<dialogsetup><grid id=\"0\" headerheight=\"25\" rowheight=\"20\"/></dialogsetup>")
            << "01" << 1 << -1;
        QTest::newRow("column directly under dialog is ignored")
            << QByteArray("<dialogsetup><dialog id=\"01\"><column id=\"1\" width=\"70\"/><grid id=\"0\"/></dialog></dialogsetup>")
            << "01" << 101 << -1;
        QTest::newRow("unknown elements are skipped")
            << QByteArray("<?xml version=\"1.0\"?>\n<dialogsetup>\n  <note/>\n  <dialog id=\"02\" x=\"y\">\n"
                          "    <grid id=\"0\" rowheight=\"21\"><extra/></grid>\n  </dialog>\n</dialogsetup>\n")
            << "02" << 0 << 21;
    }
    void reading()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, dialog);
        QFETCH(int, which);
        QFETCH(int, expected);
        WriteFile(LayoutPath(), xml);
        ScriptedPrompt prompt;
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        const QString grid = QStringLiteral("0");
        const int got = which >= 100 ? setup.ReadColumnWidth(dialog, grid, which - 100)
                                     : setup.ReadGridHeight(dialog, grid, which);
        QCOMPARE(got, expected);
        QVERIFY(prompt.Log().empty());
    }

    void roundTripKeepsForeignContent()
    {
        WriteFile(LayoutPath(), "<dialogsetup><keep me=\"1\"/><dialog id=\"01\" note=\"x\"><grid id=\"0\" rowheight=\"18\"/>"
                                "</dialog></dialogsetup>");
        {
            CDialogSetup setup;
            QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
            setup.StoreColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2, 140);
            setup.StoreGridHeight(QStringLiteral("03"), QStringLiteral("0"), 1, 33);
            setup.StoreGridHeight(QStringLiteral("03"), QStringLiteral("0"), 0, 22);
            setup.StoreColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2, 150);   // changed again
            // Read back at once, before saving.
            QCOMPARE(setup.ReadColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2), 150);
            setup.SaveFile();
            QVERIFY(setup.Path().isEmpty());
        }
        CDialogSetup again;
        QCOMPARE(again.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        QCOMPARE(again.ReadColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2), 150);
        QCOMPARE(again.ReadGridHeight(QStringLiteral("03"), QStringLiteral("0"), 1), 33);
        QCOMPARE(again.ReadGridHeight(QStringLiteral("03"), QStringLiteral("0"), 0), 22);
        QCOMPARE(again.ReadGridHeight(QStringLiteral("01"), QStringLiteral("0"), 0), 18);

        QDomDocument doc;
        QVERIFY(doc.setContent(ReadFile(LayoutPath())));
        const QDomElement root = doc.documentElement();
        QCOMPARE(root.tagName(), QStringLiteral("dialogsetup"));
        QCOMPARE(root.firstChildElement(QStringLiteral("keep")).attribute(QStringLiteral("me")), QStringLiteral("1"));
        QCOMPARE(root.firstChildElement(QStringLiteral("dialog")).attribute(QStringLiteral("note")), QStringLiteral("x"));
        // The new dialog is appended last, with one grid and one column element.
        const QDomElement dialog = root.lastChildElement(QStringLiteral("dialog"));
        QCOMPARE(dialog.attribute(QStringLiteral("id")), QStringLiteral("03"));
        const QDomElement grid = dialog.firstChildElement(QStringLiteral("grid"));
        QCOMPARE(grid.attribute(QStringLiteral("id")), QStringLiteral("0"));
        QCOMPARE(grid.nextSiblingElement(QStringLiteral("grid")).isNull(), true);
        const QDomElement column = grid.firstChildElement(QStringLiteral("column"));
        QCOMPARE(column.attribute(QStringLiteral("id")), QStringLiteral("2"));
        QCOMPARE(column.attribute(QStringLiteral("width")), QStringLiteral("150"));
        QVERIFY(column.nextSiblingElement().isNull());
    }

    void saveWritesOnlyOnce()
    {
        CDialogSetup setup;
        QCOMPARE(setup.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        setup.StoreGridHeight(QStringLiteral("05"), QStringLiteral("0"), 0, 19);
        setup.SaveFile();
        WriteFile(LayoutPath(), "<dialogsetup/>");
        setup.StoreGridHeight(QStringLiteral("05"), QStringLiteral("0"), 0, 25);
        setup.SaveFile();   // the path was forgotten: the file is not touched again
        QCOMPARE(ReadFile(LayoutPath()), QByteArray("<dialogsetup/>"));
    }
};

QTEST_GUILESS_MAIN(TestDialogSetup)
#include "tst_dialogsetup.moc"
