#include "grid/CGridHeader.h"

#include "grid/CGridCtrl.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int kEdgeGrip = 4;        // pixels above the bottom edge that start a height drag
constexpr int kMinHeaderHeight = 8;
const QColor kLineColour(160, 160, 160);
} // namespace

CGridHeader::CGridHeader(Qt::Orientation orientation, CGridCtrl* grid)
    : QHeaderView(orientation, grid)
    , m_grid(grid)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setMouseTracking(true);
    setMinimumSectionSize(0);
}

void CGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    painter->save();
    const bool horizontal = orientation() == Qt::Horizontal;
    const QColor fill = horizontal ? m_grid->HeaderBackground(logicalIndex + 1)
                                   : m_grid->FixedCellColour();
    painter->fillRect(rect, fill);
    painter->setPen(kLineColour);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    const QString text = model() ? model()->headerData(logicalIndex, orientation()).toString()
                                 : QString();
    if (!text.isEmpty()) {
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->setFont(font());
        // A title that does not fit even wrapped ends in "…" rather than losing both ends.
        const QRect room = rect.adjusted(2, 1, -2, -1);
        const QFontMetrics fm(font());
        const QRect need = fm.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, text);
        if (need.width() <= room.width() && need.height() <= room.height())
            painter->drawText(room, Qt::AlignCenter | Qt::TextWordWrap, text);
        else
            painter->drawText(room, Qt::AlignCenter | Qt::TextSingleLine,
                              fm.elidedText(text, Qt::ElideRight, room.width()));
    }
    painter->restore();
}

bool CGridHeader::OnBottomEdge(const QPoint& pos) const
{
    return orientation() == Qt::Horizontal && pos.y() >= height() - kEdgeGrip;
}

void CGridHeader::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && OnBottomEdge(pos)) {
        m_dragging = true;
        m_dragStartY = event->globalPosition().toPoint().y();
        m_dragStartHeight = height();
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void CGridHeader::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        const int h = qMax(kMinHeaderHeight,
                           m_dragStartHeight + event->globalPosition().toPoint().y() - m_dragStartY);
        emit HeightDragged(h);
        event->accept();
        return;
    }
    if (event->buttons() == Qt::NoButton && OnBottomEdge(event->position().toPoint())) {
        viewport()->setCursor(Qt::SplitVCursor);
        return;
    }
    if (viewport()->cursor().shape() == Qt::SplitVCursor)
        viewport()->unsetCursor();
    QHeaderView::mouseMoveEvent(event);
}

void CGridHeader::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging) {
        m_dragging = false;
        emit HeightDragFinished(height());
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void CGridHeader::contextMenuEvent(QContextMenuEvent* event)
{
    emit RightClicked(logicalIndexAt(event->pos()), event->globalPos());
    event->accept();
}

bool CGridHeader::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip && orientation() == Qt::Horizontal) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int section = logicalIndexAt(help->pos());
        const QString tip = section < 0 ? QString() : m_grid->CellToolTip(0, section + 1);
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QHeaderView::viewportEvent(event);
}
