#pragma once
// The main window: a splitter with the reader tree on the left and one table view on the
// right, a toolbar whose only content is the tag display, a status bar with the port and the
// connected device, and the menus. It switches the language at run time, starts and stops the
// link, and opens help and the About dialog.
#include <QMainWindow>
#include <QHash>
#include <functional>

class CDialogSetup;
class CGridBaseDlg;
class CLanguageHandler;
class CLeftTreeView;
class CStoreDB_Handler;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;

// What the status bar shows of the link; read from the tree view's link state.
struct LinkSnapshot {
    int portOpen = 0;
    int portInUse = -1;
    int interfaceType = -1;
    QString statusText = QStringLiteral("---");   // name of the connected bus reader
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The three long-lived objects of the application; the frame keeps plain pointers.
    explicit CMainFrame(CLanguageHandler* lang = nullptr, CStoreDB_Handler* store = nullptr,
                        CDialogSetup* layout = nullptr, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CLeftTreeView* Tree() const { return m_tree; }
    QWidget* RightPane() const;           // the table view in the right-hand pane, if any
    QSplitter* Splitter() const { return m_splitter; }
    QLabel* TagDisplay() const { return m_tagDisplay; }
    CLanguageHandler* Language() const { return m_lang; }
    CStoreDB_Handler* StoreHandler() const { return m_store; }

    // After a database restore the application makes a new store handler; the frame hands it
    // to the tree and the table on the right (then call Tree()->RebuildTreeChildren()).
    void SetStoreHandler(CStoreDB_Handler* store);

    // While set, the wait cursor stays whatever the mouse does (long file operations).
    void SetWaitFlag(int on);
    int WaitFlag() const { return m_waitFlag; }

    // The commands whose work is done elsewhere (the database commands install theirs with the
    // frame); import and export run the CSV exchange unless a handler is installed.
    enum class Command { Import, Export, Backup, Restore, DeleteAll };
    using CommandHandler = std::function<void(CMainFrame&)>;
    void SetCommandHandler(Command command, CommandHandler handler);

    // The menu texts, tree texts, table titles and title again in the current language.
    void SetLanguage(uint32_t language);
    void SetMenuTexts();

    // The texts of the two status panes for a link state.
    static QString PortPaneText(CLanguageHandler* lang, const LinkSnapshot& link);
    static QString DevicePaneText(CLanguageHandler* lang, const LinkSnapshot& link);

    // Name of the help file in the language, and where it was found (empty when nowhere).
    static QString HelpFileName(uint32_t language);
    static QString FindHelpFile(const QString& name);

public slots:
    void SetTagDisplayText(const QString& text);
    void UpdateStatus();                  // status panes, Online/Offline and language marks

private slots:
    void OnOnline();
    void OnOffline();
    void OnChooseInterface();
    void OnHelp();
    void OnAbout();
    void OnSplit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateClientArea();
    QAction* MakeAction(const char* objectName, const QKeySequence& key = {});
    void RunCommand(Command command);
    void RunCsvCommand(bool import);   // CSV import or export with the frame's view, cursor and progress
    QString Text(uint32_t number) const;
    LinkSnapshot Link() const;

    CLanguageHandler* m_lang;
    CStoreDB_Handler* m_store;
    CDialogSetup* m_layout;
    CLeftTreeView* m_tree = nullptr;
    int m_waitFlag = 0;
    QSplitter* m_splitter = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_tagDisplay = nullptr;
    QLabel* m_portPane = nullptr;
    QLabel* m_devicePane = nullptr;
    QTimer* m_idleTimer = nullptr;
    bool m_splitTracking = false;

    QMenu* m_fileMenu = nullptr;
    QMenu* m_optionsMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QHash<QString, QAction*> m_actions;
    QHash<int, CommandHandler> m_handlers;
};
