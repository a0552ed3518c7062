#pragma once
#include <QMainWindow>

// The main window. (A plain frame for now; menus, splitter, tree and panes come with it.)
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
};
