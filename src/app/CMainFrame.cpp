#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CChooseCOMDlg.h"
#include "app/DatabaseCommands.h"
#include "base/Paths.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "exchange/CsvCommands.h"
#include "link/CSerialLink.h"
#include "readers/CDataProgressDlg.h"
#include "texts/CLanguageHandler.h"
#include "tree/CLeftTreeView.h"
#include "views/CGridBaseDlg.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {

// Literals the program holds itself come in German/English pairs, chosen by the setting.
QString Pick(const char* german, const char* english)
{
    return Settings::ReadLanguage() == 1 ? QString::fromUtf8(english) : QString::fromUtf8(german);
}

// How often the status bar and the check marks follow the link state.
constexpr int kIdleUpdateMs = 200;

} // namespace

CMainFrame::CMainFrame(CLanguageHandler* lang, CStoreDB_Handler* store, CDialogSetup* layout, QWidget* parent)
    : QMainWindow(parent), m_lang(lang), m_store(store), m_layout(layout)
{
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    resize(1212, 874);

    CreateActions();
    DatabaseCommands::Install(*this);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateClientArea();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // A scaled or small screen may not hold the whole window: it gets what is there.
        QRect frame(QPoint(0, 0), size().boundedTo(screen->availableGeometry().size()));
        resize(frame.size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    SetMenuTexts();
    setWindowTitle(QStringLiteral("  ") + Text(74));
    m_actions.value(QStringLiteral("actionOnline"))->setChecked(false);
    m_actions.value(QStringLiteral("actionOffline"))->setChecked(false);

    // Stands in for the idle update: the marks and panes follow the link within one cycle.
    m_idleTimer = new QTimer(this);
    m_idleTimer->setInterval(kIdleUpdateMs);
    connect(m_idleTimer, &QTimer::timeout, this, &CMainFrame::UpdateStatus);
    m_idleTimer->start();

    m_tree->InitialUpdate();
    UpdateStatus();
}

CMainFrame::~CMainFrame()
{
    if (m_waitFlag)
        QApplication::restoreOverrideCursor();
}

QString CMainFrame::Text(uint32_t number) const
{
    return m_lang ? m_lang->GetLangItem(number) : QString();
}

// ---------------------------------------------------------------- creation

QAction* CMainFrame::MakeAction(const char* objectName, const QKeySequence& key)
{
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(objectName));
    if (!key.isEmpty())
        action->setShortcut(key);
    m_actions.insert(action->objectName(), action);
    return action;
}

void CMainFrame::CreateActions()
{
    connect(MakeAction("actionImport", QKeySequence(Qt::CTRL | Qt::Key_I)), &QAction::triggered, this,
            [this] { RunCommand(Command::Import); });
    connect(MakeAction("actionExport", QKeySequence(Qt::CTRL | Qt::Key_R)), &QAction::triggered, this,
            [this] { RunCommand(Command::Export); });
    connect(MakeAction("actionBackup", QKeySequence(Qt::CTRL | Qt::Key_B)), &QAction::triggered, this,
            [this] { RunCommand(Command::Backup); });
    connect(MakeAction("actionRestore", QKeySequence(Qt::CTRL | Qt::Key_K)), &QAction::triggered, this,
            [this] { RunCommand(Command::Restore); });
    connect(MakeAction("actionDeleteAll", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)), &QAction::triggered, this,
            [this] { RunCommand(Command::DeleteAll); });
    connect(MakeAction("actionExit"), &QAction::triggered, this, &QWidget::close);

    auto* languages = new QActionGroup(this);
    languages->setExclusive(true);
    QAction* german = MakeAction("actionGerman");
    QAction* english = MakeAction("actionEnglish");
    for (QAction* a : {german, english}) {
        a->setCheckable(true);
        languages->addAction(a);
    }
    connect(german, &QAction::triggered, this, [this] { SetLanguage(0); });
    connect(english, &QAction::triggered, this, [this] { SetLanguage(1); });

    connect(MakeAction("actionChooseInterface"), &QAction::triggered, this, &CMainFrame::OnChooseInterface);
    QAction* online = MakeAction("actionOnline");
    QAction* offline = MakeAction("actionOffline");
    online->setCheckable(true);
    offline->setCheckable(true);
    connect(online, &QAction::triggered, this, &CMainFrame::OnOnline);
    connect(offline, &QAction::triggered, this, &CMainFrame::OnOffline);

    QAction* toolbar = MakeAction("actionToolbar");
    QAction* statusbar = MakeAction("actionStatusBar");
    toolbar->setCheckable(true);
    statusbar->setCheckable(true);
    toolbar->setChecked(true);
    statusbar->setChecked(true);
    connect(toolbar, &QAction::toggled, this, [this](bool on) { if (m_toolBar) m_toolBar->setVisible(on); });
    connect(statusbar, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    connect(MakeAction("actionSplit"), &QAction::triggered, this, &CMainFrame::OnSplit);

    connect(MakeAction("actionHelp", QKeySequence(Qt::Key_F1)), &QAction::triggered, this, &CMainFrame::OnHelp);

    // F6 and Shift+F6 move the keyboard focus between the tree and the table.
    for (const char* name : {"actionNextPane", "actionPrevPane"}) {
        QAction* pane = MakeAction(name, QKeySequence(name[6] == 'N' ? QKeyCombination(Qt::Key_F6)
                                                                      : QKeyCombination(Qt::SHIFT | Qt::Key_F6)));
        addAction(pane);
        connect(pane, &QAction::triggered, this, [this] {
            QWidget* right = RightPane();
            const bool inTree = m_tree && m_tree->hasFocus();
            if (inTree && right)
                right->setFocus(Qt::ShortcutFocusReason);
            else if (m_tree)
                m_tree->setFocus(Qt::ShortcutFocusReason);
        });
    }
    connect(MakeAction("actionAbout"), &QAction::triggered, this, &CMainFrame::OnAbout);
}

void CMainFrame::CreateMenus()
{
    auto a = [this](const char* name) { return m_actions.value(QString::fromLatin1(name)); };

    m_fileMenu = menuBar()->addMenu(QString());
    m_fileMenu->setObjectName(QStringLiteral("menuFile"));
    m_fileMenu->addAction(a("actionImport"));
    m_fileMenu->addAction(a("actionExport"));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(a("actionBackup"));
    m_fileMenu->addAction(a("actionRestore"));
    m_fileMenu->addAction(a("actionDeleteAll"));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(a("actionExit"));

    m_optionsMenu = menuBar()->addMenu(QString());
    m_optionsMenu->setObjectName(QStringLiteral("menuOptions"));
    m_languageMenu = m_optionsMenu->addMenu(QString());
    m_languageMenu->setObjectName(QStringLiteral("menuLanguages"));
    m_languageMenu->addAction(a("actionGerman"));
    m_languageMenu->addAction(a("actionEnglish"));
    m_optionsMenu->addAction(a("actionChooseInterface"));
    m_optionsMenu->addSeparator();
    m_optionsMenu->addAction(a("actionOnline"));
    m_optionsMenu->addAction(a("actionOffline"));

    m_viewMenu = menuBar()->addMenu(QString());
    m_viewMenu->setObjectName(QStringLiteral("menuView"));
    m_viewMenu->addAction(a("actionToolbar"));
    m_viewMenu->addAction(a("actionStatusBar"));
    m_viewMenu->addAction(a("actionSplit"));

    m_helpMenu = menuBar()->addMenu(QStringLiteral("?"));
    m_helpMenu->setObjectName(QStringLiteral("menuHelp"));
    m_helpMenu->addAction(a("actionHelp"));
    m_helpMenu->addSeparator();
    m_helpMenu->addAction(a("actionAbout"));
}

void CMainFrame::SetMenuTexts()
{
    struct Item { const char* action; uint32_t text; };
    static const Item items[] = {
        {"actionImport", 2}, {"actionExport", 3}, {"actionBackup", 208}, {"actionRestore", 219},
        {"actionDeleteAll", 220}, {"actionExit", 4}, {"actionChooseInterface", 117},
        {"actionToolbar", 8}, {"actionStatusBar", 9}, {"actionSplit", 10},
        {"actionHelp", 11}, {"actionAbout", 12},
    };
    for (const Item& item : items)
        m_actions.value(QString::fromLatin1(item.action))->setText(Text(item.text));
    // The items without a text number keep their own wording in both languages.
    m_actions.value(QStringLiteral("actionGerman"))->setText(QStringLiteral("Deutsch"));
    m_actions.value(QStringLiteral("actionEnglish"))->setText(QStringLiteral("English"));
    m_actions.value(QStringLiteral("actionOnline"))->setText(QStringLiteral("&Online"));
    m_actions.value(QStringLiteral("actionOffline"))->setText(QStringLiteral("O&ffline"));

    m_fileMenu->setTitle(Text(1));
    m_optionsMenu->setTitle(Text(5));
    m_languageMenu->setTitle(Text(6));
    m_viewMenu->setTitle(Text(7));
    m_helpMenu->setTitle(QStringLiteral("?"));
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = addToolBar(QStringLiteral("toolbar"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);

    // The tag display: the last transponder number seen, dark blue on pale yellow.
    m_tagDisplay = new QLabel(m_toolBar);
    m_tagDisplay->setObjectName(QStringLiteral("tagDisplay"));
    m_tagDisplay->setAlignment(Qt::AlignCenter);
    m_tagDisplay->setFixedWidth(790);
    m_tagDisplay->setMinimumHeight(34);
    m_tagDisplay->setAutoFillBackground(true);
    m_tagDisplay->setFrameShape(QFrame::StyledPanel);
    QPalette pal = m_tagDisplay->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 212));
    pal.setColor(QPalette::WindowText, QColor(50, 50, 255));
    m_tagDisplay->setPalette(pal);
    QFont font = m_tagDisplay->font();
    font.setBold(true);
    font.setPixelSize(20);
    m_tagDisplay->setFont(font);
    m_tagDisplay->setText(Text(201));
    m_toolBar->addWidget(m_tagDisplay);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    auto pane = [bar](const QString& name, int width) {
        auto* label = new QLabel(bar);
        label->setObjectName(name);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        if (width > 0)
            label->setFixedWidth(width);
        bar->addPermanentWidget(label);
        return label;
    };
    m_portPane = pane(QStringLiteral("129"), 150);
    m_devicePane = pane(QStringLiteral("130"), 320);
    // The keyboard lock indicators of the desktop's status bar convention.
    for (const char* lock : {"CAP", "NUM", "SCRL"}) {
        QLabel* l = pane(QString::fromLatin1(lock), 0);
        l->setText(QString::fromLatin1(lock));
        l->setEnabled(false);
    }
}

void CMainFrame::CreateClientArea()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    m_tree = new CLeftTreeView(m_lang, m_store, m_layout, m_splitter);
    m_tree->SetPortDialog([this](CLeftTreeView* tree) {
        std::vector<uint32_t> ports;
        CSerialLink::EnumerateComPorts(ports);
        CChooseCOMDlg dlg(m_lang, ports, tree->window());
        dlg.exec();
        return dlg.ConnectNow();
    });
    m_tree->setObjectName(QStringLiteral("leftTreeView"));
    m_splitter->addWidget(m_tree);

    // An empty pane until the tree's first selection puts the reader table in its place: the
    // tree alone makes the table views.
    m_splitter->addWidget(new QWidget);
    m_tree->SetPaneHost(m_splitter);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({220, 1212 - 220});
    setCentralWidget(m_splitter);

    connect(m_tree, &CLeftTreeView::TagDisplayChanged, this, &CMainFrame::SetTagDisplayText);
}

QWidget* CMainFrame::RightPane() const
{
    return m_tree ? m_tree->RightPane() : nullptr;
}

void CMainFrame::SetStoreHandler(CStoreDB_Handler* store)
{
    m_store = store;
    if (m_tree)
        m_tree->SetStoreHandler(store);
}

void CMainFrame::SetTagDisplayText(const QString& text)
{
    m_tagDisplay->setText(text);
}

// ---------------------------------------------------------------- wait cursor

void CMainFrame::SetWaitFlag(int on)
{
    const int flag = on ? 1 : 0;
    if (flag == m_waitFlag)
        return;
    m_waitFlag = flag;
    // An override cursor stays whatever the mouse does, until it is taken back.
    if (flag)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------- status bar

LinkSnapshot CMainFrame::Link() const
{
    LinkSnapshot s;
    if (!m_tree)
        return s;
    if (CSerialLink* link = m_tree->Link()) {
        s.portOpen = link->m_nPortOpen.load();
        s.portInUse = link->m_nPortInUse.load();
        s.interfaceType = link->m_nInterfaceType.load();
    }
    s.statusText = m_tree->StatusText();
    return s;
}

QString CMainFrame::PortPaneText(CLanguageHandler* lang, const LinkSnapshot& link)
{
    const QString prefix = lang ? lang->GetLangItem(109) : QString();
    if (link.portOpen == 1 && link.portInUse > 0)
        return prefix + QStringLiteral("COM%1").arg(link.portInUse);
    return prefix + QStringLiteral("Offline");
}

QString CMainFrame::DevicePaneText(CLanguageHandler* lang, const LinkSnapshot& link)
{
    auto t = [lang](uint32_t n) { return lang ? lang->GetLangItem(n) : QString(); };
    const QString none = QStringLiteral("---");
    switch (link.interfaceType) {
    case 0:
        return t(110) + t(111) + t(216) + none;
    case 3:
        return t(110) + t(225) + t(216) + none;
    case 1:
        return t(110) + t(112) + t(216) + link.statusText;
    case 2:
        return t(110) + t(113) + t(216) + link.statusText;
    case 4:
        return t(110) + t(237) + t(216) + link.statusText;
    default:
        return t(110) + none;
    }
}

void CMainFrame::UpdateStatus()
{
    const LinkSnapshot link = Link();
    m_portPane->setText(PortPaneText(m_lang, link));
    m_devicePane->setText(DevicePaneText(m_lang, link));

    const bool online = link.portOpen == 1 && link.portInUse > 0;
    m_actions.value(QStringLiteral("actionOnline"))->setChecked(online);
    m_actions.value(QStringLiteral("actionOffline"))->setChecked(!online);

    const uint32_t language = m_lang ? m_lang->GetAktivLanguage() : 0;
    m_actions.value(QStringLiteral("actionGerman"))->setChecked(language == 0);
    m_actions.value(QStringLiteral("actionEnglish"))->setChecked(language == 1);

}

// ---------------------------------------------------------------- language

void CMainFrame::SetLanguage(uint32_t language)
{
    Settings::WriteLanguage(language);
    if (m_lang) {
        m_lang->SetAktLanguage(language);
        m_lang->GetAllItems();
    }
    SetMenuTexts();
    if (m_tree) {
        m_tree->RefreshCategoryTexts();
        // Also refreshes the right-hand table's titles and reloads the transponder table.
        m_tree->SwapBuiltInScheduleName();
        setWindowTitle(QStringLiteral("  ") + Text(74));
    }
    m_tagDisplay->setText(Text(201));
    UpdateStatus();
}

// ---------------------------------------------------------------- commands

void CMainFrame::SetCommandHandler(Command command, CommandHandler handler)
{
    m_handlers.insert(int(command), std::move(handler));
}

void CMainFrame::RunCommand(Command command)
{
    const CommandHandler handler = m_handlers.value(int(command));
    if (handler) {
        handler(*this);
        return;
    }
    if (command == Command::Import || command == Command::Export)
        RunCsvCommand(command == Command::Import);
}

void CMainFrame::RunCsvCommand(bool import)
{
    CsvCommandContext ctx;
    ctx.lang = m_lang;
    ctx.store = m_store;
    ctx.parent = this;
    ctx.view = m_tree ? m_tree->RightView() : nullptr;
    if (m_tree) {
        const auto category = m_tree->CurrentCategory();
        ctx.viewKind = category == CLeftTreeView::Transponders ? CsvViewKind::Transponders
                       : category == CLeftTreeView::Persons    ? CsvViewKind::Persons
                       : category == CLeftTreeView::Events     ? CsvViewKind::Events
                                                               : CsvViewKind::Other;
    }
    ctx.busy = [this](bool on) { SetWaitFlag(on ? 1 : 0); };
    QPointer<CDataProgressDlg> progress;
    ctx.progressOpen = [&progress, this](const QString& text) {
        progress = new CDataProgressDlg(m_lang);
        progress->SetText(text);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    ctx.progressStep = [&progress](int done, int total) {
        if (!progress)
            return;
        progress->SetRange(0, total);
        progress->SetPos(done);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    ctx.progressClose = [&progress] {
        if (progress)
            progress->Destroy();
    };
    ctx.refresh = [this] {
        if (!m_tree)
            return;
        m_tree->RebuildTreeChildren();
        if (CGridBaseDlg* view = m_tree->RightView())
            view->Load(view->Filter());
    };
    if (import)
        RunCsvImportCommand(ctx);
    else
        RunCsvExportCommand(ctx);
}

void CMainFrame::OnOnline()
{
    m_tree->SetRegisterOnConnect(1);
    m_tree->StartConnectWorker();
    UpdateStatus();
}

void CMainFrame::OnOffline()
{
    m_tree->CloseComPort();
    UpdateStatus();
}

void CMainFrame::OnChooseInterface()
{
    // The tree asks and, on connect-now, starts the connection itself.
    m_tree->AskForPort();
    UpdateStatus();
}

QString CMainFrame::HelpFileName(uint32_t language)
{
    return language == 1 ? QStringLiteral("Velmora ManagerENG.chm") : QStringLiteral("Velmora ManagerDEU.chm");
}

QString CMainFrame::FindHelpFile(const QString& name)
{
    for (const QString& dir : {Paths::ProgramDir(), QDir::currentPath()}) {
        const QFileInfo info(QDir(dir).filePath(name));
        if (info.isFile())
            return info.absoluteFilePath();
    }
    return {};
}

void CMainFrame::OnHelp()
{
    const uint32_t language = m_lang ? m_lang->GetAktivLanguage() : Settings::ReadLanguage();
    const QString name = HelpFileName(language);
    const QString path = FindHelpFile(name);
    if (path.isEmpty()) {
        ShowInfo(Pick("Die Hilfedatei \"%1\" wurde weder neben dem Programm noch im Arbeitsverzeichnis gefunden.",
                      "The help file \"%1\" was found neither beside the program nor in the working directory.")
                     .arg(name));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        ShowInfo(Pick("Die Hilfedatei \"%1\" konnte nicht geöffnet werden: kein Programm zum Anzeigen gefunden.",
                      "The help file \"%1\" could not be opened: no program to show it was found.")
                     .arg(path));
}

void CMainFrame::OnAbout()
{
    CAboutDlg dlg(m_lang, false, this);
    dlg.exec();
}

// ---------------------------------------------------------------- moving the splitter bar

void CMainFrame::OnSplit()
{
    // The bar follows the mouse until a click sets it; Escape leaves it where it was.
    if (m_splitTracking)
        return;
    m_splitTracking = true;
    setProperty("splitSizes", QVariant::fromValue(m_splitter->sizes()));
    installEventFilter(this);
    grabMouse(Qt::SplitHCursor);
    grabKeyboard();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this || !m_splitTracking)
        return QMainWindow::eventFilter(watched, event);
    auto finish = [this](bool keep) {
        m_splitTracking = false;
        releaseMouse();
        releaseKeyboard();
        removeEventFilter(this);
        if (!keep)
            m_splitter->setSizes(property("splitSizes").value<QList<int>>());
    };
    switch (event->type()) {
    case QEvent::MouseMove: {
        const int x = m_splitter->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint()).x();
        const int total = m_splitter->width() - m_splitter->handleWidth();
        const int left = qBound(40, x, qMax(40, total - 40));
        m_splitter->setSizes({left, total - left});
        return true;
    }
    case QEvent::MouseButtonPress:
        finish(true);
        return true;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            finish(false);
        else if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return)
            finish(true);
        return true;
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}
