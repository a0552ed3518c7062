#include "app/CVendrikApp.h"
#include "app/GuiPrompt.h"
#include "base/Prompt.h"
#include "layout/CDialogSetup.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"

#include <QApplication>
#include <QMenuBar>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendrik Manager AIO"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));

    // VM_STARTUP_CHECK=1: start without splash and port question, say on standard output where
    // the texts and the layout file were found and the first menu's title, and shut down again.
    // Checks an installation (a package, a portable copy) without anybody at the screen.
    const bool startupCheck = qEnvironmentVariableIntValue("VM_STARTUP_CHECK") == 1;
    if (startupCheck) {
        CVendrikApp::SetSplashEnabled(false);
        CLeftTreeView::SetAskPortAtStart(false);
    }

    // VM_CONNECT_AT_START=1 (scripts/run.sh --demo): the port question at start is answered
    // with "connect now" to the port in the settings, without being shown.
    if (!startupCheck && qEnvironmentVariableIntValue("VM_CONNECT_AT_START") == 1)
        CLeftTreeView::SetPortQuestion([](CLeftTreeView*) { return 1; });

    GuiPrompt prompt;
    CVendrikApp app;
    SetCaptionProvider([&app] { return app.ProgramTitle(); });

    if (!app.InitInstance()) {
        app.ExitInstance();
        SetCaptionProvider(nullptr);
        return 1;
    }
    if (startupCheck) {
        const QList<QAction*> menus = app.MainFrame()->menuBar()->actions();
        std::printf("texts: %s\nlayout: %s\nmenu: %s\n", qPrintable(app.LanguageHandler()->LoadedFrom()),
                    qPrintable(app.DialogSetup()->Path()), qPrintable(menus.isEmpty() ? QString() : menus[0]->text()));
        std::fflush(stdout);
        app.ExitInstance();
        SetCaptionProvider(nullptr);
        return 0;
    }
    const int status = qtApp.exec();
    app.ExitInstance();
    SetCaptionProvider(nullptr);
    return status;
}
