// Start-up and shutdown of the application object, in-process: which failure stops the
// program with which messages, where the texts and the layout file are looked for, and that
// shutdown saves the layout file and releases everything.
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CVendrikApp.h"
#include "app/Paths.h"
#include "app/Prompt.h"
#include "app/Settings.h"
#include "layout/CDialogSetup.h"
#include "records/CStoreDB_Handler.h"
#include "support/TestEnv.h"
#include "texts/CLanguageHandler.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
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

class TestStartup : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_program;   // folder of the "program file"
    std::unique_ptr<QTemporaryDir> m_data;      // per-user data folder (database)
    QString m_realProgramDir;
    QString m_startDir;

    QString SysFiles() const { return m_program->path() + QStringLiteral("/SysFiles"); }

private slots:
    void initTestCase()
    {
        VmTest::IsolateHome();
        m_realProgramDir = Paths::ProgramDir();
        m_startDir = QDir::currentPath();
    }
    void init()
    {
        m_program = std::make_unique<QTemporaryDir>();
        m_data = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", m_data->path().toLocal8Bit());
        Paths::SetProgramDir(m_program->path());
        QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Brimlow"),
                  QStringLiteral("Vendrik Manager AIO")).clear();
        CVendrikApp::SetSplashEnabled(false);
    }
    void cleanup()
    {
        Paths::SetProgramDir(QString());
        QDir::setCurrent(m_startDir);
        CVendrikApp::SetSplashEnabled(true);
    }

    void layoutFailureStopsStartup_data()
    {
        QTest::addColumn<bool>("withFolder");
        QTest::addColumn<QByteArray>("layoutFile");
        QTest::addColumn<QString>("firstMessage");
        QTest::newRow("no SysFiles beside the program")
            << false << QByteArray() << "CDialogSetup::OpenFile: Fehler beim Anlegen des XML-Files_1";
        QTest::newRow("layout file with a syntax error")
            << true << QByteArray("<dialogsetup>\n<dialog id=\"01\">\n<grid id=0/>\n</dialog>\n</dialogsetup>")
            << "Fehler beim Parsen von: ";
    }
    void layoutFailureStopsStartup()
    {
        QFETCH(bool, withFolder);
        QFETCH(QByteArray, layoutFile);
        QFETCH(QString, firstMessage);
        if (withFolder) {
            QVERIFY(QDir().mkpath(SysFiles()));
            WriteFile(SysFiles() + QStringLiteral("/DialogSetup.xml"), layoutFile);
        }
        ScriptedPrompt prompt;
        CVendrikApp app;
        QCOMPARE(App(), &app);
        QVERIFY(!app.InitInstance());
        const QStringList texts = prompt.Texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY2(texts[0].startsWith(firstMessage), qPrintable(texts[0]));
        QCOMPARE(texts[1], QStringLiteral("Can not load Dialog - Handler!"));
        QCOMPARE(prompt.Log()[1].icon, PromptIcon::Error);
        // Nothing after the layout file was made: no texts, no database, no window.
        QVERIFY(!app.LanguageHandler());
        QVERIFY(!app.StoreHandler());
        QVERIFY(!app.MainFrame());
        QVERIFY(!QFile::exists(QDir(m_data->path()).filePath(QStringLiteral("Brimlow"))));
        app.ExitInstance();
        if (withFolder)   // the broken file is left for the user to mend
            QCOMPARE(ReadFile(SysFiles() + QStringLiteral("/DialogSetup.xml")), layoutFile);
    }

    void unreadableDatabaseStopsStartup()
    {
        QVERIFY(QDir().mkpath(SysFiles()));
        QVERIFY(QDir().mkpath(Paths::DataDir()));
        const QString dbPath = QDir(Paths::DataDir()).filePath(QStringLiteral("VendrikManagerAIO.mdb"));
        const QByteArray garbage(4096, 'x');
        WriteFile(dbPath, garbage);
        ScriptedPrompt prompt;
        {
            CVendrikApp app;
            QVERIFY(!app.InitInstance());
            QVERIFY(app.StoreHandler());
            QVERIFY(!app.StoreHandler()->IsDatabaseOpen());
            QCOMPARE(prompt.Log().size(), size_t(1));
            QCOMPARE(prompt.Log()[0].icon, PromptIcon::Error);
            QCOMPARE(prompt.Log()[0].text, app.StoreHandler()->DatabaseError());
            QVERIFY(!prompt.Log()[0].text.isEmpty());
            QVERIFY(!app.MainFrame());
            QCOMPARE(app.ExitInstance(), 0);
        }
        QCOMPARE(ReadFile(dbPath), garbage);
    }

    void startupAndShutdown()
    {
        // Texts in the working directory win over those beside the program; the layout file
        // is made beside the program, not in the working directory.
        QVERIFY(QDir().mkpath(SysFiles()));
        QTemporaryDir work;
        QVERIFY(QDir().mkpath(work.path() + QStringLiteral("/SysFiles")));
        WriteFile(work.path() + QStringLiteral("/SysFiles/texts_en.txt"), "74\tWork title\n115\tWait\n");
        QVERIFY(QDir::setCurrent(work.path()));
        Settings::WriteLanguage(1);

        CVendrikApp::SetSplashEnabled(true);
        bool splashSeen = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget()))
                splashSeen = about->IsSplash() && about->isVisible();
        });
        watch.start(50);

        ScriptedPrompt prompt;
        CVendrikApp app;
        QVERIFY(app.InitInstance());
        watch.stop();
        QVERIFY(splashSeen);   // it closed itself, or InitInstance would not have returned
        QVERIFY(prompt.Log().empty());

        QCOMPARE(app.GetWorkingDirectory(), QDir::currentPath() + QLatin1Char('/'));
        QCOMPARE(app.LanguageHandler()->GetAktivLanguage(), 1u);
        QCOMPARE(app.LanguageHandler()->GetLangItem(74), QStringLiteral("Work title"));
        QCOMPARE(app.ProgramTitle(), QStringLiteral("Work title"));
        QVERIFY(app.StoreHandler() && app.StoreHandler()->IsDatabaseOpen());
        QVERIFY(app.MainFrame() && app.MainFrame()->isVisible());
        const QString layoutPath = SysFiles() + QStringLiteral("/DialogSetup.xml");
        QCOMPARE(app.DialogSetup()->Path(), layoutPath);
        QCOMPARE(ReadFile(layoutPath), QByteArray("<dialogsetup></dialogsetup>"));
        QVERIFY(!QFile::exists(work.path() + QStringLiteral("/SysFiles/DialogSetup.xml")));

        // What the grids changed during the run is written at exit.
        app.DialogSetup()->StoreColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2, 99);
        QCOMPARE(app.ExitInstance(), 0);
        QVERIFY(!app.DialogSetup() && !app.LanguageHandler() && !app.StoreHandler() && !app.MainFrame());
        CDialogSetup reread;
        QCOMPARE(reread.OpenFile(QStringLiteral("DialogSetup.xml")), 1);
        QCOMPARE(reread.ReadColumnWidth(QStringLiteral("03"), QStringLiteral("0"), 2), 99);
        QCOMPARE(app.ExitInstance(), 0);   // a second shutdown finds nothing to do
    }

    void storeHandlerIsReplaceable()
    {
        QVERIFY(QDir().mkpath(SysFiles()));
        ScriptedPrompt prompt;
        {
            CVendrikApp app;
            QVERIFY(app.InitInstance());
            QVERIFY(app.StoreHandler());
            app.ReleaseStoreHandler();
            QVERIFY(!app.StoreHandler());
            app.ReleaseStoreHandler();   // twice is harmless
            app.EnsureStoreHandler();
            CStoreDB_Handler* again = app.StoreHandler();
            QVERIFY(again && again->IsDatabaseOpen());
            app.EnsureStoreHandler();
            QCOMPARE(app.StoreHandler(), again);
        }   // the destructor shuts down what is left
        QCOMPARE(App(), nullptr);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
