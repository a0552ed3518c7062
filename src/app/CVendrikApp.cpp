#include "app/CVendrikApp.h"

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "base/Prompt.h"
#include "base/ReaderRuns.h"
#include "base/Settings.h"
#include "layout/CDialogSetup.h"
#include "records/CStoreDB_Handler.h"
#include "texts/CLanguageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

namespace {
std::atomic<CVendrikApp*> g_app{nullptr};
std::atomic<bool> g_splash{true};
} // namespace

CVendrikApp* App() { return g_app.load(); }

CVendrikApp::CVendrikApp()
{
    g_app.store(this);
}

CVendrikApp::~CVendrikApp()
{
    ExitInstance();
    CVendrikApp* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

void CVendrikApp::SetSplashEnabled(bool enabled) { g_splash.store(enabled); }

QString CVendrikApp::ProgramTitle() const
{
    const QString title = m_lang ? m_lang->GetLangItem(74) : QString();
    return title.isEmpty() ? QStringLiteral("Velmora Manager") : title;
}

bool CVendrikApp::InitInstance()
{
    // The grid layout file comes first: every table view asks it for its sizes.
    try {
        m_dialogSetup = new CDialogSetup;
    } catch (const std::bad_alloc&) {
        m_dialogSetup = nullptr;
    }
    if (!m_dialogSetup) {
        ShowError(QStringLiteral("Can not load XML - Handler!"));
        return false;
    }
    if (!m_dialogSetup->OpenFile(QStringLiteral("DialogSetup.xml"))) {
        ShowError(QStringLiteral("Can not load Dialog - Handler!"));
        return false;
    }

    // The texts are looked for below the directory the program was started from first, while
    // the layout file sits beside the program or in the user's config folder.
    m_workingDirectory = QDir::currentPath();
    if (!m_workingDirectory.endsWith(u'/'))
        m_workingDirectory += u'/';

    const uint32_t language = Settings::ReadLanguage();
    m_lang = new CLanguageHandler(language, m_workingDirectory + QStringLiteral("SysFiles/"));
    if (!m_lang->IsLoaded()) {
        // Without its texts every menu and message is blank; the program still runs, so
        // the user is told in both languages, in words of its own, where it looked.
        const QString where = m_lang->SearchedFiles().join(QLatin1Char('\n'));
        ShowWarning(QStringLiteral("Die Sprachdateien wurden nicht gefunden. Gesucht wurde:\n") + where +
                    QStringLiteral("\nMenüs und Meldungen bleiben ohne Text.\n\n"
                                   "The language text files were not found. Looked for:\n") +
                    where + QStringLiteral("\nMenus and messages stay without text."));
    }

    m_store = new CStoreDB_Handler(m_lang);
    if (!m_store->IsDatabaseOpen()) {
        // Never start on a database that could not be opened: the file stays as it is.
        ShowError(m_store->DatabaseError());
        return false;
    }

    if (g_splash.load()) {
        CAboutDlg splash(m_lang, true);
        splash.exec();
    }

    m_mainFrame = new CMainFrame(m_lang, m_store, m_dialogSetup);
    m_mainFrame->show();
    return true;
}

int CVendrikApp::ExitInstance()
{
    // The main window goes first: its views hold plain pointers to the objects below.
    delete m_mainFrame.data();

    if (m_dialogSetup) {
        m_dialogSetup->SaveFile();
        delete m_dialogSetup;
        m_dialogSetup = nullptr;
    }
    // A reader run's worker may outlive its window by one exchange with the reader (up to
    // 2 s); it uses the texts and the store until its end. One still running after that keeps
    // them: the process ends anyway, and nothing is deleted under the worker.
    for (int waited = 0; ReaderRuns::Active() > 0 && waited < 3000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ReaderRuns::Active() == 0) {
        delete m_lang;
        delete m_store;
    }
    m_lang = nullptr;
    m_store = nullptr;
    return 0;
}

void CVendrikApp::ReleaseStoreHandler()
{
    // The frame forgets the handler first, so no view reaches for it while it goes.
    if (m_mainFrame)
        m_mainFrame->SetStoreHandler(nullptr);
    delete m_store;
    m_store = nullptr;
}

void CVendrikApp::EnsureStoreHandler()
{
    if (m_store)
        return;
    m_store = new CStoreDB_Handler(m_lang);
    if (m_mainFrame)
        m_mainFrame->SetStoreHandler(m_store);
}
