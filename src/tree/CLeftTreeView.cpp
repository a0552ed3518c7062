#include "tree/CLeftTreeView.h"

#include "records/ChangeNotice.h"

#include "base/Settings.h"
#include "link/CLinkController.h"
#include "link/CSerialLink.h"
#include "readers/CDataProgressDlg.h"
#include "readers/PendingWrites.h"
#include "records/CStoreDB_Handler.h"
#include "records/ScheduleOps.h"
#include "texts/CLanguageHandler.h"
#include "tree/CPendingMarkDelegate.h"
#include "views/CGridBaseDlg.h"
#include "views/CZeitschemaDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <atomic>

namespace {

CLeftTreeView::PortQuestion& PortQuestionHook()
{
    static CLeftTreeView::PortQuestion hook;
    return hook;
}

std::atomic<bool> g_askPortAtStart{true};

constexpr int kImageRole = Qt::UserRole + 1;

} // namespace

CLeftTreeView::CLeftTreeView(CLanguageHandler* lang, CStoreDB_Handler* store, CDialogSetup* layout, QWidget* parent)
    : QTreeWidget(parent), m_lang(lang), m_store(store), m_layout(layout), m_factory(&CLeftTreeView::CreateDefaultView)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    setMinimumWidth(120);

    m_controller = new CLinkController(m_lang, this);
    WireController();
    // Readers with changes not yet written, under each of the three reader groups.
    setItemDelegate(new CPendingMarkDelegate([this](const QModelIndex& index) {
        const QTreeWidgetItem* item = itemFromIndex(index);
        const QTreeWidgetItem* group = item ? item->parent() : nullptr;
        return m_store && group && (group == m_transponders || group == m_persons || group == m_events)
            && PendingWrites::IsPending(*m_store, item->text(0));
    }, [this] { return Text(349); }, this));
    m_notice = new CChangeNotice(m_store, this);
    m_notice->SetHold([this] {
        const CGridBaseDlg* view = RightView();
        return view && view->HoldsNotices();
    });
    connect(m_notice, &CChangeNotice::AboutToReload, this, [this] {
        if (CGridBaseDlg* view = RightView())
            view->KeepPlace();
    });
    connect(m_notice, &CChangeNotice::TablesReloaded, this, &CLeftTreeView::OnTablesReloaded);

    connect(this, &QTreeWidget::itemSelectionChanged, this, &CLeftTreeView::OnSelectionChanged);
    // F5 in the tree reads the store again, as F5 in the table view does.
    auto* refresh = new QAction(this);
    refresh->setObjectName(QStringLiteral("actionRefreshTree"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    refresh->setShortcutContext(Qt::WidgetShortcut);
    connect(refresh, &QAction::triggered, this, [this] {
        if (CGridBaseDlg* view = RightView())
            view->RefreshFromStore();
    });
    addAction(refresh);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { OnItemExpandedOrCollapsed(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { OnItemExpandedOrCollapsed(item, false); });
}

CLeftTreeView::~CLeftTreeView()
{
    // The workers leave their loops on the stop request; they are not waited for.
    if (CSerialLink* link = Link())
        link->m_nStopRequest = 1;
    if (m_progress)
        m_progress->Destroy();
}

void CLeftTreeView::closeEvent(QCloseEvent* event)
{
    if (CSerialLink* link = Link())
        link->m_nStopRequest = 1;
    QTreeWidget::closeEvent(event);
}

QString CLeftTreeView::Text(uint32_t number) const
{
    return m_lang ? m_lang->GetLangItem(number) : QString();
}

void CLeftTreeView::SetPaneHost(QSplitter* splitter) { m_splitter = splitter; }
void CLeftTreeView::SetStoreHandler(CStoreDB_Handler* store)
{
    m_store = store;
    m_notice->SetStore(store);
    // The table on the right reads the new store from now on, too.
    if (CGridBaseDlg* view = RightView())
        view->SetStoreHandler(store);
}
void CLeftTreeView::SetViewFactory(ViewFactory factory) { m_factory = std::move(factory); }

ViewContext CLeftTreeView::MakeViewContext()
{
    ViewContext ctx;
    ctx.lang = m_lang;
    ctx.store = m_store;
    ctx.layout = m_layout;
    ctx.tree = this;
    return ctx;
}

// ---------------------------------------------------------------- images

QIcon CLeftTreeView::ImageIcon(int image) const
{
    QStyle* s = style();
    switch (image) {
    case ImgNode: return s->standardIcon(QStyle::SP_DirClosedIcon);
    case ImgNodeOpen: return s->standardIcon(QStyle::SP_DirOpenIcon);
    case ImgSchedule: return s->standardIcon(QStyle::SP_FileDialogDetailedView);
    case ImgScheduleSelected: return s->standardIcon(QStyle::SP_FileDialogInfoView);
    case ImgReaders: return s->standardIcon(QStyle::SP_DriveNetIcon);
    case ImgTransponders: return s->standardIcon(QStyle::SP_DriveHDIcon);
    case ImgPersons: return s->standardIcon(QStyle::SP_DirHomeIcon);
    case ImgSchedules: return s->standardIcon(QStyle::SP_FileDialogListView);
    default: return {};
    }
}

QTreeWidgetItem* CLeftTreeView::AddNode(QTreeWidgetItem* parent, const QString& text, int image, int selectedImage)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    QIcon icon = ImageIcon(image);
    if (selectedImage >= 0) {
        // The selected look of a schedule node is an icon of its own.
        QIcon both;
        for (const QSize& size : icon.availableSizes())
            both.addPixmap(icon.pixmap(size), QIcon::Normal);
        const QIcon selected = ImageIcon(selectedImage);
        for (const QSize& size : selected.availableSizes())
            both.addPixmap(selected.pixmap(size), QIcon::Selected);
        icon = both.isNull() ? icon : both;
    }
    item->setIcon(0, icon);
    item->setData(0, kImageRole, image);
    return item;
}

void CLeftTreeView::OnItemExpandedOrCollapsed(QTreeWidgetItem* item, bool expanded)
{
    int image = expanded ? ImgNodeOpen : ImgNode;
    if (item == m_readers)
        image = ImgReaders;
    else if (item == m_transponders)
        image = ImgTransponders;
    else if (item == m_persons)
        image = ImgPersons;
    else if (item == m_schedules)
        image = ImgSchedules;
    item->setIcon(0, ImageIcon(image));
    item->setData(0, kImageRole, image);
}

// ---------------------------------------------------------------- filling

QStringList CLeftTreeView::ReaderNames() const
{
    QStringList names;
    if (!m_store)
        return names;
    CtblLeser* tbl = m_store->Get_Ptr_To_tblLeser();
    for (int i = 0; i < tbl->GetAnz_Leser(); ++i) {
        const structLeser& reader = tbl->Get_Leser(i);
        // Alder desk readers hold no transponder list, persons or events of their own.
        if (!reader.Model.contains(QStringLiteral("Alder")))
            names << reader.Name;
    }
    return names;
}

QStringList CLeftTreeView::ScheduleNodeNames(bool skipBuiltIn) const
{
    QStringList names;
    if (!m_store)
        return names;
    const bool english = Settings::ReadLanguage() == 1;
    CtblZeitschema* tbl = m_store->Get_Ptr_To_tblZeitschema();
    QString previous;
    for (int i = 0; i < tbl->GetAnz_Zeitschema(); ++i) {
        const QString name = tbl->Get_Zeitschema(i).Name;
        // A schedule is several records of one name in a row: one node for them.
        const bool same = i > 0 && name == previous;
        previous = name;
        if (same || (skipBuiltIn && IsFullAccessName(name)))
            continue;
        names << (english && IsFullAccessName(name) ? Text(81) : name);
    }
    return names;
}

void CLeftTreeView::AddScheduleNodes(bool skipBuiltIn)
{
    for (const QString& name : ScheduleNodeNames(skipBuiltIn))
        AddNode(m_schedules, name, ImgSchedule, ImgScheduleSelected);
}

void CLeftTreeView::OnTablesReloaded(const QStringList& tables)
{
    if (CGridBaseDlg* view = RightView())
        view->FollowReload(tables);
    if (!m_root || !(tables.contains(QLatin1String("tblLeser")) || tables.contains(QLatin1String("tblZeitschema"))))
        return;
    const auto children = [](const QTreeWidgetItem* group) {
        QStringList texts;
        for (int i = 0; group && i < group->childCount(); ++i)
            texts << group->child(i)->text(0);
        return texts;
    };
    if (children(m_transponders) != ReaderNames() || children(m_schedules) != ScheduleNodeNames(false))
        ListsReloaded();
}

void CLeftTreeView::InitialUpdate()
{
    CSerialLink* link = Link();
    link->m_nCapture = 0;
    link->m_nConfiguredPort = Settings::ReadAktCom();   // an out-of-range value is put right there

    const QStringList readers = ReaderNames();

    clear();
    m_root = AddNode(nullptr, Text(13), ImgNode);
    m_readers = AddNode(m_root, Text(14), ImgReaders);
    m_transponders = AddNode(m_root, Text(15), ImgTransponders);
    m_persons = AddNode(m_root, Text(16), ImgPersons);
    m_schedules = AddNode(m_root, Text(18), ImgSchedules);
    AddScheduleNodes(false);
    m_events = AddNode(m_root, Text(17), ImgNode);
    for (const QString& name : readers)
        AddReaderNodes(name);

    for (QTreeWidgetItem* item : {m_root, m_events, m_transponders, m_persons, m_schedules})
        item->setExpanded(true);
    setCurrentItem(m_readers);
    m_filled = true;

    link->m_nStopRequest = 0;
    // The port question comes once the window is up and the first pane is shown.
    QMetaObject::invokeMethod(this, &CLeftTreeView::OnPortQuestion, Qt::QueuedConnection);
    verticalScrollBar()->setValue(0);
}

void CLeftTreeView::RefreshCategoryTexts()
{
    if (!m_root)
        return;
    m_root->setText(0, Text(13));
    m_readers->setText(0, Text(14));
    m_transponders->setText(0, Text(15));
    m_persons->setText(0, Text(16));
    m_events->setText(0, Text(17));
    m_schedules->setText(0, Text(18));
    // The built-in schedule always comes first.
    if (m_schedules->childCount() > 0)
        m_schedules->child(0)->setText(0, Text(81));
    if (currentItem()) {
        m_selectedText = currentItem()->text(0);
        m_parentText = currentItem()->parent() ? currentItem()->parent()->text(0) : QString();
    }
    viewport()->update();
}

void CLeftTreeView::SwapBuiltInScheduleName()
{
    if (CGridBaseDlg* view = RightView())
        view->RefreshColumnTitles();
    if (m_store) {
        const bool english = (m_lang ? m_lang->GetAktivLanguage() : Settings::ReadLanguage()) == 1;
        ScheduleOps::CacheFullAccessName(m_store->Get_Ptr_To_tblZeitschema(), english);
    }
    if (m_paneCategory == Transponders)
        if (CGridBaseDlg* view = RightView())
            view->Load(0);
}

void CLeftTreeView::RebuildTreeChildren()
{
    if (!m_root)
        return;
    for (QTreeWidgetItem* group : {m_transponders, m_persons, m_events})
        qDeleteAll(group->takeChildren());
    const QString builtIn = Text(81);
    for (int i = m_schedules->childCount() - 1; i >= 0; --i)
        if (m_schedules->child(i)->text(0) != builtIn)
            delete m_schedules->takeChild(i);

    const QStringList readers = ReaderNames();
    AddScheduleNodes(true);
    for (const QString& name : readers)
        AddReaderNodes(name);
}

void CLeftTreeView::ListsReloaded()
{
    if (!m_root)
        return;
    const QString selected = m_selectedText, parent = m_parentText;
    QTreeWidgetItem* group = nullptr;
    for (QTreeWidgetItem* item : {m_root, m_readers, m_transponders, m_persons, m_events, m_schedules})
        if (item && item->text(0) == parent)
            group = item;
    {
        // The pane shows the refreshed table already; the rebuild must not replace it.
        const QSignalBlocker quiet(this);
        RebuildTreeChildren();
        if (!group)
            return;   // the root was selected; it stays
        for (int i = 0; i < group->childCount(); ++i) {
            if (group->child(i)->text(0) == selected) {
                setCurrentItem(group->child(i));
                return;
            }
        }
        clearSelection();
    }
    setCurrentItem(group);   // the node shown is gone: its group's table instead
}

// ---------------------------------------------------------------- schedule nodes

void CLeftTreeView::AddScheduleNode(const QString& name)
{
    if (m_schedules)
        AddNode(m_schedules, name, ImgSchedule, ImgScheduleSelected);
}

void CLeftTreeView::RenameScheduleNode(const QString& oldName, const QString& newName)
{
    if (!m_schedules)
        return;
    for (int i = 0; i < m_schedules->childCount(); ++i) {
        QTreeWidgetItem* item = m_schedules->child(i);
        if (item->text(0) != oldName)
            continue;
        item->setText(0, newName);
        if (item == currentItem())
            m_selectedText = newName;
        return;
    }
}

void CLeftTreeView::RemoveScheduleNodes(const QStringList& names)
{
    if (!m_schedules)
        return;
    for (int i = m_schedules->childCount() - 1; i >= 0; --i)
        if (names.contains(m_schedules->child(i)->text(0)))
            delete m_schedules->takeChild(i);
}

void CLeftTreeView::RemoveAllScheduleNodes()
{
    if (!m_schedules)
        return;
    // The built-in schedule's node comes first and stays.
    for (int i = m_schedules->childCount() - 1; i >= 1; --i)
        delete m_schedules->takeChild(i);
}

void CLeftTreeView::FollowScheduleView(CZeitschemaDlg* view)
{
    connect(view, &CZeitschemaDlg::ScheduleAdded, this, &CLeftTreeView::AddScheduleNode);
    connect(view, &CZeitschemaDlg::ScheduleRenamed, this, &CLeftTreeView::RenameScheduleNode);
    // Removing a node may move the selection and so replace the view: not while it is busy.
    connect(view, &CZeitschemaDlg::SchedulesRemoved, this, &CLeftTreeView::RemoveScheduleNodes, Qt::QueuedConnection);
    connect(view, &CZeitschemaDlg::AllSchedulesRemoved, this, &CLeftTreeView::RemoveAllScheduleNodes,
            Qt::QueuedConnection);
}

// ---------------------------------------------------------------- reader nodes

void CLeftTreeView::AddReaderNodes(const QString& name)
{
    if (!m_root)
        return;
    for (QTreeWidgetItem* group : {m_transponders, m_persons, m_events}) {
        AddNode(group, name, ImgReaders);
        group->setExpanded(true);
    }
}

void CLeftTreeView::RenameReaderNodes(const QString& oldName, const QString& newName)
{
    if (!m_root)
        return;
    for (QTreeWidgetItem* group : {m_transponders, m_persons, m_events}) {
        for (int i = 0; i < group->childCount(); ++i) {
            if (group->child(i)->text(0) == oldName) {
                group->child(i)->setText(0, newName);
                break;
            }
        }
    }
}

void CLeftTreeView::RemoveReaderNodes(const QString& name)
{
    if (!m_root)
        return;
    for (QTreeWidgetItem* group : {m_transponders, m_persons, m_events})
        for (int i = group->childCount() - 1; i >= 0; --i)
            if (group->child(i)->text(0) == name)
                delete group->takeChild(i);
}

void CLeftTreeView::RemoveAllReaderNodes()
{
    if (!m_root)
        return;
    for (QTreeWidgetItem* group : {m_transponders, m_persons, m_events})
        qDeleteAll(group->takeChildren());
}

QTreeWidgetItem* CLeftTreeView::CategoryItem(Category category) const
{
    switch (category) {
    case Readers: return m_readers;
    case Transponders: return m_transponders;
    case Persons: return m_persons;
    case Events: return m_events;
    case Schedules: return m_schedules;
    default: return nullptr;
    }
}

// ---------------------------------------------------------------- the right-hand pane

void CLeftTreeView::OnSelectionChanged()
{
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected())
        return;
    m_selectedText = item->text(0);
    m_parentText = item->parent() ? item->parent()->text(0) : QString();
    // The pane changes after the selection notification has returned.
    QMetaObject::invokeMethod(this, &CLeftTreeView::ShowRightPane, Qt::QueuedConnection);
}

CLeftTreeView::Category CLeftTreeView::CategoryOf(const QString& text) const
{
    for (Category c : {Readers, Transponders, Persons, Events, Schedules})
        if (text == Text(c))
            return c;
    if (text == Text(81))
        return Schedules;
    return NoCategory;
}

int CLeftTreeView::ReaderIdByName(const QString& name) const
{
    if (!m_store)
        return 0;
    CtblLeser* tbl = m_store->Get_Ptr_To_tblLeser();
    for (int i = 0; i < tbl->GetAnz_Leser(); ++i)
        if (tbl->Get_Leser(i).Name == name)
            return tbl->Get_Leser(i).ID;
    return 0;
}

int CLeftTreeView::ScheduleNumberByName(const QString& name) const
{
    if (!m_store)
        return 0;
    CtblZeitschema* tbl = m_store->Get_Ptr_To_tblZeitschema();
    const int count = tbl->GetAnz_Zeitschema();
    // The built-in schedule's node may carry text 81 instead of the stored name; it is first.
    if (name == Text(81))
        return count > 0 ? tbl->Get_Zeitschema(0).Position : 0;
    for (int i = 0; i < count; ++i)
        if (tbl->Get_Zeitschema(i).Name == name)
            return tbl->Get_Zeitschema(i).Position;
    return 0;
}

void CLeftTreeView::ShowRightPane()
{
    if (!m_splitter)
        return;
    // The selected node names the category itself, or it sits under one.
    Category category = NoCategory;
    if (m_selectedText == Text(14)) category = Readers;
    else if (m_selectedText == Text(15)) category = Transponders;
    else if (m_selectedText == Text(16)) category = Persons;
    else if (m_selectedText == Text(17)) category = Events;
    else if (m_selectedText == Text(18) || m_selectedText == Text(81)) category = Schedules;
    else category = CategoryOf(m_parentText);
    if (category == NoCategory)
        return;   // the root: the pane stays as it is

    // Made without a parent: the splitter takes it in place of the old pane.
    CGridBaseDlg* view = m_factory ? m_factory(category, MakeViewContext(), nullptr) : nullptr;
    ReplacePane(view ? static_cast<QWidget*>(view) : new QWidget);
    m_paneCategory = category;
    if (!view)
        return;

    const bool wholeCategory = m_parentText == Text(13);
    switch (category) {
    case Readers:
        view->Load(0);
        break;
    case Transponders:
    case Persons:
    case Events:
        if (wholeCategory)
            view->Load(0);
        else if (const int id = ReaderIdByName(m_selectedText))
            view->Load(id);
        break;
    case Schedules:
        if (wholeCategory)
            view->Load(0);
        else if (const int number = ScheduleNumberByName(m_selectedText))
            view->Load(number);
        break;
    default:
        break;
    }
    emit RightPaneChanged(view);
}

void CLeftTreeView::ReplacePane(QWidget* pane)
{
    // A splitter takes in every child widget at once, so a pane that already has the splitter as
    // parent is a sibling of the old one: replaceWidget would refuse it ("Trying to replace a
    // widget with one of its siblings") and leave it as a third widget beside the old pane.
    if (pane->parentWidget() == m_splitter)
        pane->setParent(nullptr);
    QWidget* old = m_splitter->count() > 1 ? m_splitter->widget(1) : nullptr;
    const QList<int> sizes = m_splitter->sizes();
    if (old) {
        m_splitter->replaceWidget(1, pane);
        old->hide();
        old->deleteLater();
    } else {
        m_splitter->addWidget(pane);
    }
    if (sizes.size() == 2)
        m_splitter->setSizes(sizes);
    pane->show();
    pane->update();
}

QWidget* CLeftTreeView::RightPane() const
{
    return m_splitter && m_splitter->count() > 1 ? m_splitter->widget(1) : nullptr;
}

CGridBaseDlg* CLeftTreeView::RightView() const
{
    return qobject_cast<CGridBaseDlg*>(RightPane());
}

// ---------------------------------------------------------------- the link

CSerialLink* CLeftTreeView::Link() const
{
    return &m_controller->Link();
}

int CLeftTreeView::StartConnectWorker()
{
    if (Link()->m_nPortOpen.load() != 1)
        emit ConnectRequested();
    return m_controller->StartConnectWorker();
}

int CLeftTreeView::CloseComPort()
{
    return Link()->CloseComPort();
}

void CLeftTreeView::SetRegisterOnConnect(int on)
{
    m_controller->m_bRegisterOnConnect = on ? 1 : 0;
}

int CLeftTreeView::RegisterOnConnect() const
{
    return m_controller->m_bRegisterOnConnect.load();
}

QString CLeftTreeView::StatusText() const
{
    // A connected bus reader is named by its record, found by the device ID it reported; the
    // text stays "---" until such a record exists (a reader not registered yet).
    const int type = m_controller->Link().m_nInterfaceType.load();
    if (m_store && (type == 1 || type == 2 || type == 4)) {
        const QString deviceId = QString::fromLatin1(m_controller->DeviceId());
        CtblLeser* readers = m_store->Get_Ptr_To_tblLeser();
        for (int i = 0; i < readers->GetAnz_Leser(); ++i) {
            const structLeser& reader = readers->Get_Leser(i);
            if (reader.Identity == deviceId) {
                m_controller->SetStatusText(reader.Name);
                break;
            }
        }
    }
    return m_controller->StatusText();
}

void CLeftTreeView::SetPortQuestion(PortQuestion question) { PortQuestionHook() = std::move(question); }
void CLeftTreeView::SetPortDialog(PortQuestion dialog) { m_portDialog = std::move(dialog); }
void CLeftTreeView::SetAskPortAtStart(bool ask) { g_askPortAtStart.store(ask); }

int CLeftTreeView::AskForPort()
{
    int connectNow = 0;
    if (const PortQuestion& hook = PortQuestionHook())
        connectNow = hook(this);
    else if (m_portDialog)
        connectNow = m_portDialog(this);
    if (connectNow == 1) {
        SetRegisterOnConnect(1);
        StartConnectWorker();
    }
    return connectNow;
}

void CLeftTreeView::OnPortQuestion()
{
    if (g_askPortAtStart.load())
        AskForPort();
}

void CLeftTreeView::OnProgressShow(const QString& text, int maximum, int position)
{
    if (!m_progress)
        m_progress = new CDataProgressDlg(m_lang);
    m_progress->SetRange(0, maximum);
    m_progress->SetText(text);
    m_progress->SetPos(position);
}

void CLeftTreeView::OnProgressHide()
{
    if (m_progress)
        m_progress->Destroy();
    m_progress = nullptr;
}

void CLeftTreeView::WireController()
{
    connect(m_controller, &CLinkController::TagDisplayChanged, this, &CLeftTreeView::TagDisplayChanged);
    connect(m_controller, &CLinkController::ConnectProgressShow, this, &CLeftTreeView::OnProgressShow);
    connect(m_controller, &CLinkController::ConnectProgressHide, this, &CLeftTreeView::OnProgressHide);
    // The right-hand pane registers the reader once the connection handling has returned.
    connect(m_controller, &CLinkController::ReaderOnline, this, [this] {
        if (CGridBaseDlg* view = RightView())
            view->OnReaderOnline();
    }, Qt::QueuedConnection);
    connect(m_controller, &CLinkController::TransponderSeen, this, [this](const QByteArray& number) {
        if (CGridBaseDlg* view = RightView())
            view->OnTransponderSeen(QString::fromLatin1(number));
    });
    // A lost connection needs nothing more here: the controller has closed the port and told
    // the user, and the status bar follows the link state.
}
