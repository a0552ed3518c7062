#pragma once
// The header row (horizontal) and the fixed column 0 (vertical) of the grid. Paints each
// section in its own colour — the sort colours of the header row come from the grid — with the
// title centred and wrapped. The header row's height can be dragged at its bottom edge, since
// a QHeaderView has no handle for its own thickness.
#include <QHeaderView>

class CGridCtrl;

class CGridHeader : public QHeaderView {
    Q_OBJECT
public:
    CGridHeader(Qt::Orientation orientation, CGridCtrl* grid);

signals:
    void HeightDragged(int height);          // while dragging the bottom edge
    void HeightDragFinished(int height);     // when the drag ends
    void RightClicked(int section, const QPoint& globalPos);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    bool OnBottomEdge(const QPoint& pos) const;

    CGridCtrl* m_grid;
    bool m_dragging = false;
    int m_dragStartY = 0;
    int m_dragStartHeight = 0;
};
