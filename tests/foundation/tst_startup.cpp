// Start-up and shutdown of the application object, in-process: which failure stops the
// program with which messages, and that a good start saves the layout file at exit.
#include "app/CMainFrame.h"
#include "app/CVendrikApp.h"
#include "base/Prompt.h"
#include "layout/CDialogSetup.h"
#include "records/CStoreDB_Handler.h"
#include "support/FoundationFixture.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QSettings>

using namespace VmTest;

class TestStartup : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_data;   // per-user data folder (database)

private slots:
    void initTestCase() { IsolateHome(); }
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_data->path().toLocal8Bit());
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brimlow"),
                  QStringLiteral("Vendrik Manager AIO")).clear();
        CVendrikApp::SetSplashEnabled(false);
    }

    // Without a writable SysFiles beside the program the layout file is the user's own; when
    // that cannot be made either (a file stands where the config folder should be; root may
    // write into any folder) the program stops.
    void noLayoutFolderStopsStartup()
    {
        ProgramFolder program(false);
        const QString blocker = IsolateHome() + QStringLiteral("/not-a-folder");
        WriteFile(blocker, "x");
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", blocker.toLocal8Bit());
        ScriptedPrompt prompt;
        CVendrikApp app;
        const bool started = app.InitInstance();
        qputenv("XDG_CONFIG_HOME", config);
        QVERIFY(!started);
        QCOMPARE(prompt.Texts(), (QStringList{QStringLiteral("CDialogSetup::OpenFile: Fehler beim Anlegen des XML-Files_1"),
                                              QStringLiteral("Can not load Dialog - Handler!")}));
        QCOMPARE(prompt.Log()[1].icon, PromptIcon::Error);
        QVERIFY(!app.LanguageHandler() && !app.StoreHandler() && !app.MainFrame());
        app.ExitInstance();
    }

    void unreadableDatabaseStopsStartup()
    {
        ProgramFolder program(true);
        WriteFile(program.SysFiles() + "/texts_de.txt", "74\tVelmora Manager\n");
        QVERIFY(QDir().mkpath(Paths::DataDir()));
        const QString dbPath = QDir(Paths::DataDir()).filePath(QStringLiteral("VendrikManagerAIO.mdb"));
        const QByteArray garbage(4096, 'x');
        WriteFile(dbPath, garbage);
        ScriptedPrompt prompt;
        {
            CVendrikApp app;
            QVERIFY(!app.InitInstance());
            QVERIFY(!app.StoreHandler()->IsDatabaseOpen());
            QCOMPARE(prompt.Texts(), QStringList{app.StoreHandler()->DatabaseError()});
            QVERIFY(!prompt.Texts()[0].isEmpty());
            QVERIFY(!app.MainFrame());
            QCOMPARE(app.ExitInstance(), 0);
        }
        QCOMPARE(ReadFile(dbPath), garbage);
    }

    // Without its text files the program still starts, and says (in words of its own, German
    // and English) where it looked for them.
    void missingTextsAreReported()
    {
        ProgramFolder program(true);
        ScriptedPrompt prompt;
        CVendrikApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(app.MainFrame());
        QVERIFY(!app.LanguageHandler()->IsLoaded());
        QCOMPARE(prompt.Log().size(), size_t(1));
        const QString text = prompt.Texts().first();
        QCOMPARE(prompt.Log()[0].icon, PromptIcon::Warning);
        QVERIFY(text.contains("Sprachdateien") && text.contains("language text files"));
        QVERIFY(text.contains(QDir::cleanPath(program.SysFiles() + "/texts_de.txt")));
        QVERIFY(text.contains(QDir::cleanPath(QDir::currentPath() + "/SysFiles/texts_de.txt")));
        app.ExitInstance();
    }

    void startupAndShutdown()
    {
        ProgramFolder program(true);
        WriteFile(program.SysFiles() + "/texts_de.txt", "74\tVelmora Manager\n");
        ScriptedPrompt prompt;
        CVendrikApp app;
        QVERIFY(app.InitInstance());
        QVERIFY(prompt.Log().empty());
        QVERIFY(app.StoreHandler()->IsDatabaseOpen());
        QVERIFY(app.MainFrame() && app.MainFrame()->isVisible());
        QCOMPARE(app.DialogSetup()->Path(), program.Layout());
        // What the grids changed during the run is written at exit.
        app.DialogSetup()->StoreColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2, 99);
        QCOMPARE(app.ExitInstance(), 0);
        QVERIFY(!app.DialogSetup() && !app.LanguageHandler() && !app.StoreHandler() && !app.MainFrame());
        CDialogSetup reread;
        QCOMPARE(reread.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        QCOMPARE(reread.ReadColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2), 99);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
