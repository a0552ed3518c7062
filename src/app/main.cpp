#include "app/CMainFrame.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CMainFrame frame;
    frame.show();
    return app.exec();
}
