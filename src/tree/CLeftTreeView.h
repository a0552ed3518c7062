#pragma once
// The reader tree in the left pane: the program's navigation. A root with five categories
// (readers, transponders, persons, time schedules, events); the readers repeated under
// transponders, persons and events, the time schedules under theirs. Selecting a node
// replaces the right-hand pane by the category's table view and loads it with the reader or
// schedule chosen.
//
// The tree also carries the serial link for the whole run (through its link controller) and
// passes the link's news on: the tag display text to the main frame, a reader coming online
// and a transponder seen to the right-hand view, the connection progress to a progress window.
#include "views/IReaderTree.h"

#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <memory>

class CDataProgressDlg;
class CDialogSetup;
class CGridBaseDlg;
class CLanguageHandler;
class CChangeNotice;
class CLinkController;
class CSerialLink;
class CStoreDB_Handler;
class CZeitschemaDlg;
class QSplitter;
struct ViewContext;

class CLeftTreeView : public QTreeWidget, public IReaderTree {
    Q_OBJECT
public:
    // The categories, by the number of their text.
    enum Category { NoCategory = 0, Readers = 14, Transponders = 15, Persons = 16, Events = 17, Schedules = 18 };

    // Image indexes of the nodes.
    enum Image { ImgNode = 0, ImgNodeOpen = 1, ImgSchedule = 2, ImgScheduleSelected = 3,
                 ImgReaders = 4, ImgTransponders = 5, ImgPersons = 6, ImgSchedules = 7 };

    CLeftTreeView(CLanguageHandler* lang, CStoreDB_Handler* store, CDialogSetup* layout,
                  QWidget* parent = nullptr);
    ~CLeftTreeView() override;

    // The right-hand pane is widget 1 of this splitter (the tree is widget 0).
    void SetPaneHost(QSplitter* splitter);
    // After a database restore: the tree and the table on the right use the new store.
    void SetStoreHandler(CStoreDB_Handler* store);

    // First fill from the store; at its end the port question is posted.
    void InitialUpdate();

    // ---- operations of the language change and the database restore ----
    void RefreshCategoryTexts();
    void SwapBuiltInScheduleName();
    void RebuildTreeChildren();

    // ---- IReaderTree: what the reader operations change in the tree ----
    void AddReaderNodes(const QString& name) override;
    void RenameReaderNodes(const QString& oldName, const QString& newName) override;
    void RemoveReaderNodes(const QString& name) override;
    void RemoveAllReaderNodes() override;
    // Rebuilds the children and keeps the selected node; when another station deleted it, its
    // group is selected instead.
    void ListsReloaded() override;

    // What tells the tree and the view on the right about other connections' changes.
    CChangeNotice* Notice() const { return m_notice; }

    // ---- schedule nodes, kept in step with the time schedule table ----
    void AddScheduleNode(const QString& name);
    // The first node with the old name gets the new one.
    void RenameScheduleNode(const QString& oldName, const QString& newName);
    void RemoveScheduleNodes(const QStringList& names);
    void RemoveAllScheduleNodes();     // all but the built-in schedule's node
    // Connects a time schedule table's signals to the four above.
    void FollowScheduleView(CZeitschemaDlg* view);

    // ---- nodes ----
    QTreeWidgetItem* RootItem() const { return m_root; }
    QTreeWidgetItem* CategoryItem(Category category) const;
    QString SelectedText() const { return m_selectedText; }
    QString ParentText() const { return m_parentText; }

    // ---- the right-hand pane ----
    // Shows the pane for the selected node (posted after every selection change).
    void ShowRightPane();
    CGridBaseDlg* RightView() const;
    QWidget* RightPane() const;
    Category CurrentCategory() const { return m_paneCategory; }

    // Makes the table view of a category; null when that view does not exist (yet). The
    // default knows every view the program has; tests may install their own.
    using ViewFactory = std::function<CGridBaseDlg*(Category, const ViewContext&, QWidget* parent)>;
    void SetViewFactory(ViewFactory factory);
    static CGridBaseDlg* CreateDefaultView(Category category, const ViewContext& ctx, QWidget* parent);
    ViewContext MakeViewContext();

    // ---- the link ----
    CSerialLink* Link() const override;
    CLinkController* Controller() const { return m_controller; }
    // Starts a connection attempt (nothing when the port is open already).
    int StartConnectWorker() override;
    int CloseComPort() override;
    void SetRegisterOnConnect(int on) override;
    int RegisterOnConnect() const override;
    QString StatusText() const;          // name of the connected bus reader, or "---"

    // The port question: the port choice dialog, then the connection when the user chose
    // connect-now. Returns the connect-now flag. Tests answer it through the hook
    // (which returns the connect-now flag and stands for the whole dialog).
    int AskForPort();
    using PortQuestion = std::function<int(CLeftTreeView*)>;
    static void SetPortQuestion(PortQuestion question);   // empty: the port dialog below
    // The port choice dialog itself; the main frame, which owns that dialog, sets it.
    void SetPortDialog(PortQuestion dialog);
    // Whether the first fill asks for the port at all (on by default).
    static void SetAskPortAtStart(bool ask);

signals:
    void TagDisplayChanged(const QString& text);
    void RightPaneChanged(QWidget* pane);
    void ConnectRequested();             // StartConnectWorker was called with the port closed

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnSelectionChanged();
    void OnItemExpandedOrCollapsed(QTreeWidgetItem* item, bool expanded);
    void OnPortQuestion();
    void OnProgressShow(const QString& text, int maximum, int position);
    void OnProgressHide();
    void WireController();
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, int image, int selectedImage = -1);
    QStringList ReaderNames() const;     // every reader except Alder desk readers
    void AddScheduleNodes(bool skipBuiltIn);
    QStringList ScheduleNodeNames(bool skipBuiltIn) const;
    // Another connection changed these tables: the view on the right follows, and the tree
    // when the readers or schedules it shows are no longer those of the lists.
    void OnTablesReloaded(const QStringList& tables);
    void ReplacePane(QWidget* pane);
    int ReaderIdByName(const QString& name) const;
    int ScheduleNumberByName(const QString& name) const;
    Category CategoryOf(const QString& text) const;
    QString Text(uint32_t number) const;
    QIcon ImageIcon(int image) const;

    CLanguageHandler* m_lang;
    CStoreDB_Handler* m_store;
    CDialogSetup* m_layout;
    QSplitter* m_splitter = nullptr;
    ViewFactory m_factory;
    QString m_selectedText;
    QString m_parentText;
    QTreeWidgetItem* m_root = nullptr;
    QTreeWidgetItem* m_readers = nullptr;
    QTreeWidgetItem* m_transponders = nullptr;
    QTreeWidgetItem* m_persons = nullptr;
    QTreeWidgetItem* m_events = nullptr;
    QTreeWidgetItem* m_schedules = nullptr;
    Category m_paneCategory = NoCategory;
    bool m_filled = false;

    PortQuestion m_portDialog;
    CLinkController* m_controller = nullptr;   // child object, lives as long as the tree
    CChangeNotice* m_notice = nullptr;         // child object
    QPointer<CDataProgressDlg> m_progress;
};
