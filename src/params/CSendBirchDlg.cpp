#include "params/CSendBirchDlg.h"

#include "records/ChangeNotice.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
// Windows colour values 0x00BBGGRR of the lists.
const QColor kSourceColour(0xFF, 0xE0, 0xD2);   // 0xD2E0FF
const QColor kTargetColour(0xE0, 0xFF, 0xE0);   // 0xE0FFE0
constexpr int kColumnWidth = 160;
} // namespace

CSendBirchDlg::CSendBirchDlg(const ParamSupport::Context& ctx, int mode, int32_t readerId, QWidget* parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_core(ctx, readerId)
    , m_mode(mode)
{
    setObjectName(QStringLiteral("CSendBirchDlg"));
    const uint32_t title = mode == SendMode ? 177 : 178;
    setWindowTitle(T(title).remove(QLatin1Char('&')));

    m_dbList = MakeList("1074", 174, kSourceColour);
    m_readerList = MakeList("1073", 176, kSourceColour);
    m_target = MakeList("1075", 175, kTargetColour);

    auto* toTarget = new QPushButton(this);
    toTarget->setObjectName(QStringLiteral("1080"));
    toTarget->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    toTarget->setAutoDefault(false);
    auto* fromReader = new QPushButton(this);
    fromReader->setObjectName(QStringLiteral("1081"));
    fromReader->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    fromReader->setAutoDefault(false);
    m_remove = new QPushButton(T(183), this);
    m_remove->setObjectName(QStringLiteral("1083"));
    m_remove->setAutoDefault(false);
    m_send = new QPushButton(T(title), this);
    m_send->setObjectName(QStringLiteral("1079"));
    m_send->setAutoDefault(false);
    auto* cancel = new QPushButton(T(144), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);
    connect(toTarget, &QPushButton::clicked, this, [this] { CopySelected(m_dbList); });
    connect(fromReader, &QPushButton::clicked, this, [this] { CopySelected(m_readerList); });
    connect(m_remove, &QPushButton::clicked, this, &CSendBirchDlg::RemoveSelected);
    connect(m_send, &QPushButton::clicked, this, &CSendBirchDlg::OnSend);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("1034"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("1032"));

    // database list, "->", target list with "remove" under it, "<-", reader list
    auto* lists = new QGridLayout;
    lists->addWidget(m_dbList, 0, 0, 2, 1);
    lists->addWidget(toTarget, 0, 1, Qt::AlignVCenter);
    lists->addWidget(m_target, 0, 2);
    lists->addWidget(m_remove, 1, 2);
    lists->addWidget(fromReader, 0, 3, Qt::AlignVCenter);
    lists->addWidget(m_readerList, 0, 4, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_send);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    EnableTargetButtons(false);
    FillDatabaseList();
    QTimer::singleShot(kReadDelayMs, this, [this] {
        QMetaObject::invokeMethod(this, &CSendBirchDlg::ReadReader, Qt::QueuedConnection);
    });
}

QString CSendBirchDlg::T(uint32_t n) const
{
    return ParamSupport::Text(m_ctx, n);
}

QTreeWidget* CSendBirchDlg::MakeList(const char* id, uint32_t header, const QColor& background)
{
    auto* list = new QTreeWidget(this);
    list->setObjectName(QString::fromLatin1(id));
    list->setColumnCount(1);
    list->setHeaderLabels({T(header)});
    list->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    list->setColumnWidth(0, kColumnWidth);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The one column fills the list, and the list is wide enough for its header.
    const int headerWidth = list->fontMetrics().horizontalAdvance(T(header)) + 24;
    list->setMinimumWidth(std::max(kColumnWidth, headerWidth) + 8);
    list->setMinimumHeight(260);
    QPalette pal = list->palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Text, Qt::black);
    list->setPalette(pal);
    return list;
}

QStringList CSendBirchDlg::Entries(const QTreeWidget* list)
{
    QStringList entries;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        entries << list->topLevelItem(i)->text(0);
    return entries;
}

namespace {
void AddEntry(QTreeWidget* list, const QString& text)
{
    auto* item = new QTreeWidgetItem(list, {text});
    item->setTextAlignment(0, Qt::AlignCenter);
}
} // namespace

void CSendBirchDlg::FillDatabaseList()
{
    CChangeNotice::CatchUp(m_ctx.store);   // the transponders as the database holds them now
    m_dbList->clear();
    for (const QString& e : m_core.DatabaseEntries())
        AddEntry(m_dbList, e);
}

void CSendBirchDlg::EnableTargetButtons(bool on)
{
    m_send->setEnabled(on);
    m_remove->setEnabled(on);
}

ParamSupport::Feedback CSendBirchDlg::MakeFeedback()
{
    ParamSupport::Feedback f;
    f.range = [this](int lower, int upper) { m_progress->setRange(lower, std::max(upper, lower + 1)); };
    f.position = [this](int p) {
        m_progress->setValue(p);
        // The exchanges hold this thread; let the bar paint.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    f.status = [this](uint32_t n) { m_status->setText(T(n)); };
    f.busy = [this](bool on) {
        if (on == m_waitCursor)
            return;
        m_waitCursor = on;
        if (on)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    };
    return f;
}

void CSendBirchDlg::ReadReader()
{
    QStringList read;
    m_core.ReadReader(read, MakeFeedback());
    m_readerList->clear();
    for (const QString& e : read)
        AddEntry(m_readerList, e);
    m_readDone = true;
}

void CSendBirchDlg::CopySelected(QTreeWidget* from)
{
    QStringList present = Entries(m_target);
    bool added = false;
    for (int i = 0; i < from->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = from->topLevelItem(i);
        if (!item->isSelected() || present.contains(item->text(0)))
            continue;
        AddEntry(m_target, item->text(0));
        present << item->text(0);
        added = true;
    }
    if (added)
        EnableTargetButtons(true);
}

void CSendBirchDlg::RemoveSelected()
{
    const QList<QTreeWidgetItem*> selected = m_target->selectedItems();
    if (selected.isEmpty())
        return;
    if (selected.size() >= m_target->topLevelItemCount())
        EnableTargetButtons(false);   // the last entry is about to go
    qDeleteAll(selected);
    // One entry alone is not worth a transfer; it is put back with the arrows.
    if (m_target->topLevelItemCount() < 2)
        EnableTargetButtons(false);
}

void CSendBirchDlg::OnSend()
{
    const QStringList entries = Entries(m_target);
    // The reader's settings and the lists as the database holds them right now.
    CChangeNotice::CatchUp(m_ctx.store);
    BirchSlots::Outcome o;
    if (m_mode == SendMode)
        o = m_core.Send(entries, MakeFeedback());
    else
        o = m_core.TakeOver(entries);
    if (o == BirchSlots::Outcome::Done) {
        m_status->setText(T(173));
        FillDatabaseList();
    }
}
