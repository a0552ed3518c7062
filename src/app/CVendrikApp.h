#pragma once
// The application object: it creates the three long-lived objects every window uses (the
// grid layout file, the language handler, the record store handler), shows the splash
// screen and builds the main window; at exit it releases them again, in the same order.
#include "app/CMainFrame.h"

#include <QPointer>
#include <QString>

class CDialogSetup;
class CLanguageHandler;
class CStoreDB_Handler;

class CVendrikApp {
public:
    CVendrikApp();                 // becomes the running application object (App())
    ~CVendrikApp();                // releases whatever ExitInstance has not released yet

    CVendrikApp(const CVendrikApp&) = delete;
    CVendrikApp& operator=(const CVendrikApp&) = delete;

    // Start-up: true when the main window is built and shown. On false every failure has
    // already been shown to the user and the program is to end with a non-zero status.
    bool InitInstance();
    // Shutdown: saves the grid layout file and releases the three objects. Returns the
    // exit status (0). Safe to call after a failed start-up and more than once.
    int ExitInstance();

    // The current directory at start, with a trailing "/".
    QString GetWorkingDirectory() const { return m_workingDirectory; }

    // The record store handler is dropped and made again around a database restore.
    void ReleaseStoreHandler();
    void EnsureStoreHandler();

    CDialogSetup* DialogSetup() const { return m_dialogSetup; }
    CLanguageHandler* LanguageHandler() const { return m_lang; }
    CStoreDB_Handler* StoreHandler() const { return m_store; }
    CMainFrame* MainFrame() const { return m_mainFrame; }

    // The splash screen costs two seconds; tests of the start-up sequence may switch it off.
    static void SetSplashEnabled(bool enabled);

    // The program title (text 74); before the texts are loaded the German title.
    QString ProgramTitle() const;

private:
    // Fields in the order they come to life.
    CDialogSetup* m_dialogSetup = nullptr;
    CLanguageHandler* m_lang = nullptr;
    QString m_workingDirectory;
    CStoreDB_Handler* m_store = nullptr;
    QPointer<CMainFrame> m_mainFrame;
};

// The running application object; nullptr when there is none.
CVendrikApp* App();
