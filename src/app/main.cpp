#include "app/CVendrikApp.h"
#include "app/GuiPrompt.h"
#include "base/Prompt.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vendrik Manager AIO"));
    QApplication::setOrganizationName(QStringLiteral("Brimlow"));

    GuiPrompt prompt;
    CVendrikApp app;
    SetCaptionProvider([&app] { return app.ProgramTitle(); });

    if (!app.InitInstance()) {
        app.ExitInstance();
        SetCaptionProvider(nullptr);
        return 1;
    }
    const int status = qtApp.exec();
    app.ExitInstance();
    SetCaptionProvider(nullptr);
    return status;
}
