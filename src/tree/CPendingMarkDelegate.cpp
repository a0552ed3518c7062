#include "tree/CPendingMarkDelegate.h"

#include "views/PendingColour.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QTimer>
#include <QToolTip>

CPendingMarkDelegate::CPendingMarkDelegate(IsPendingFn isPending, TipFn tip, QAbstractItemView* view)
    : QStyledItemDelegate(view), m_isPending(std::move(isPending)), m_tip(std::move(tip))
{
    setObjectName(QStringLiteral("pendingMarks"));
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, view->viewport(), [view] { view->viewport()->update(); });
    timer->start(1000);
}

void CPendingMarkDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!m_isPending(index))
        return;
    option->font.setBold(true);
    option->backgroundBrush = PendingColour();
}

bool CPendingMarkDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                     const QModelIndex& index)
{
    if (event->type() == QEvent::ToolTip && m_isPending(index)) {
        QToolTip::showText(event->globalPos(), m_tip(), view);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
